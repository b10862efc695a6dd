// Korean user IDs, passwords and file names on the control connection, against a real server
// (pyftpdlib) that decodes commands and encodes replies in the code page this system sends in:
// CP949 on a Korean Windows, UTF-8 on Linux.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "net/ftp/IdFTP.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

const std::string kUser = "\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99";                  // 홍길동
const std::string kPassword = "\xEB\xB9\x84\xEB\xB0\x80\xEB\xB2\x88\xED\x98\xB8";  // 비밀번호
const std::string kBook = "\xEA\xB0\x80\xEA\xB3\x84\xEB\xB6\x80";                  // 가계부
const std::string kLacking = "smile\xF0\x9F\x98\x80.bck";                          // no code page of Windows holds it

std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[3];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

class FtpCodePage : public ::testing::Test {
protected:
    void SetUp() override {
        // The code page this system sends in, named as Python names it.
        const std::string encoding = ToSystemCodePage(kUser) == kUser ? "utf8" : "cp949";
        server_ = std::make_unique<test::LocalServer>(
            test::PythonScript("tests/net/ftp/encoded_ftpd.py",
                               {Hex(kUser), Hex(kPassword), test::HostPath(home_.Path()), encoding}),
            "encoded_ftpd.py", "is python3-pyftpdlib installed?");
        if (!server_->Running()) GTEST_SKIP() << server_->Error();
        ftp_.Host = "127.0.0.1";
        ftp_.Port = server_->Port();
        ftp_.Username = kUser;
        ftp_.Password = kPassword;
        ftp_.Connect(true, -1);
    }
    void TearDown() override { ftp_.Quit(); }
    std::string Remote(const std::string& name) { return home_ / name; }

    test::TempDir home_, local_;
    std::unique_ptr<test::LocalServer> server_;
    TIdFTP ftp_;
};

// The login succeeding is the proof for the user ID and the password: the server compares the
// text it decoded with its own.
TEST_F(FtpCodePage, KoreanAccountStoresRenamesFetchesAndDeletesKoreanNames) {
    const std::string bytes = test::RandomBytes(70000, 11);
    const std::string up = local_ / "up.bck", down = local_ / "down.bck";
    test::WriteFile(up, bytes);
    const std::string archive = kUser + ".bck";
    ftp_.Put(up, archive + ".part");
    ftp_.Rename(archive + ".part", archive);
    EXPECT_EQ(test::ReadFile(Remote(archive)), bytes) << "the server read the names as the same text";
    EXPECT_FALSE(test::PathExists(Remote(archive + ".part")));
    EXPECT_EQ(ftp_.Size(archive), 70000);
    ftp_.Get(archive, down, true, false);
    EXPECT_EQ(test::ReadFile(down), bytes);
    ftp_.Delete(archive);
    EXPECT_FALSE(test::PathExists(Remote(archive)));
}

TEST_F(FtpCodePage, ReplyCarryingANameComesBackAsText) {
    std::filesystem::create_directory(test::FsPath(Remote(kBook)));
    EXPECT_EQ(ftp_.Size(kBook), -1);
    ASSERT_FALSE(ftp_.LastReply().Text().empty());
    EXPECT_NE(ftp_.LastReply().Text().front().find(kBook), std::string::npos) << ftp_.LastReply().Text().front();
}

// A substitute such as '?' could name another user's file: the command is refused before any
// byte of it goes out, and the conversation stays in step.
TEST_F(FtpCodePage, NameTheCodePageLacksIsNeverSent) {
    std::string sent;
    if (ToSystemCodePageExact(kLacking, sent)) GTEST_SKIP() << "this system's code page holds every character";
    const std::string up = local_ / "up.bck";
    test::WriteFile(up, "x");
    EXPECT_THROW(ftp_.Put(up, kLacking), EIdFTPTextNotSendable);
    EXPECT_EQ(ftp_.DataConnection(), nullptr);
    EXPECT_TRUE(std::filesystem::is_empty(test::FsPath(home_.Path())));
    ftp_.Put(up, "after.bck");
    EXPECT_EQ(test::ReadFile(Remote("after.bck")), "x");
}

}  // namespace
}  // namespace nb
