// Up- and downloads against a real FTP server (pyftpdlib), in active and in passive mode.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "net/ftp/IdFTP.h"
#include "platform/Stream.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

class FtpRealServer : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!server_.Running()) GTEST_SKIP() << "pyftpdlib: " << server_.Error();
        ftp_.Host = "127.0.0.1";
        ftp_.Port = server_.Port();
        ftp_.Username = server_.User();
        ftp_.Password = server_.Password();
        ftp_.Passive = GetParam();
        ftp_.RecvBufferSize = 8192;
        ftp_.SendBufferSize = 1024;
        ftp_.OnWorkBegin = [this](TIdComponent&, TWorkMode, int32_t max) {
            ++begins_;
            lastMax_ = max;
        };
        ftp_.OnWorkEnd = [this](TIdComponent&, TWorkMode) { ++ends_; };
        ftp_.Connect(true, -1);
    }
    void TearDown() override {
        if (server_.Running()) ftp_.Quit();
    }
    std::string Remote(const std::string& name) { return server_.Home() + "/" + name; }

    test::PyFtpServer server_;
    test::TempDir local_;
    TIdFTP ftp_;
    int begins_ = 0, ends_ = 0;
    int32_t lastMax_ = -1;
};

TEST_P(FtpRealServer, RoundTripsByteForByte) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{1000}, size_t{3} * 1024 * 1024 + 17}) {
        SCOPED_TRACE(size);
        const std::string bytes = test::RandomBytes(size, static_cast<uint32_t>(size) + 1);
        const std::string up = local_ / "up.bck", down = local_ / "down.bck";
        test::WriteFile(up, bytes);
        ftp_.Put(up, "u.bck");
        EXPECT_EQ(lastMax_, static_cast<int32_t>(size));
        ASSERT_EQ(test::ReadFile(Remote("u.bck")), bytes);
        EXPECT_EQ(ftp_.Size("u.bck"), static_cast<int32_t>(size));
        ftp_.Get("u.bck", down, true, false);
        EXPECT_EQ(lastMax_, 0);
        ASSERT_EQ(test::ReadFile(down), bytes);
    }
    EXPECT_EQ(begins_, 8);
    EXPECT_EQ(ends_, 8);
    EXPECT_EQ(ftp_.DataConnection(), nullptr);
}

TEST_P(FtpRealServer, OverwritesLocalAndRemoteFiles) {
    test::WriteFile(Remote("a.bck"), "new");
    const std::string local = local_ / "a.bck";
    test::WriteFile(local, std::string(100000, 'o'));
    ftp_.Get("a.bck", local, true, false);
    EXPECT_EQ(test::ReadFile(local), "new");
    test::WriteFile(local, "newer");
    ftp_.Put(local, "a.bck");
    EXPECT_EQ(test::ReadFile(Remote("a.bck")), "newer");
}

TEST_P(FtpRealServer, MissingRemoteFile) {
    EXPECT_EQ(ftp_.Size("none.bck"), -1);
    const std::string local = local_ / "none.bck";
    try {
        ftp_.Get("none.bck", local, true, false);
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 550);
    }
    EXPECT_EQ(test::ReadFile(local), "");
    EXPECT_TRUE(ftp_.IsConnected());
    // The control connection is still in step.
    EXPECT_EQ(ftp_.Size("none.bck"), -1);
    test::WriteFile(Remote("some.bck"), "12345");
    EXPECT_EQ(ftp_.Size("some.bck"), 5);
}

TEST_P(FtpRealServer, ResumeProbeAndResumedDownload) {
    EXPECT_TRUE(ftp_.ResumeSupported());
    const std::string bytes = test::RandomBytes(100000, 5);
    test::WriteFile(Remote("r.bck"), bytes);
    const std::string local = local_ / "r.bck";
    test::WriteFile(local, bytes.substr(0, 40000));
    ftp_.Get("r.bck", local, false, true);
    EXPECT_EQ(test::ReadFile(local), bytes);
}

TEST_P(FtpRealServer, WrongPasswordIsRefused) {
    TIdFTP other;
    other.Host = "127.0.0.1";
    other.Port = server_.Port();
    other.Username = server_.User();
    other.Password = "wrong";
    other.Passive = GetParam();
    try {
        other.Connect(true, -1);
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 530);
    }
    EXPECT_FALSE(other.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpRealServer, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

// Rename and Delete against both real servers: a rename onto an existing name replaces it, as
// the upload relies on; a missing source or file is a reply error naming the server's code.
class FtpFileCommandsOnRealServers : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const bool vsftpd = std::string(GetParam()) == "vsftpd";
        if (vsftpd) {
            vsftpd_ = std::make_unique<test::VsftpdServer>();
            if (!vsftpd_->Running()) GTEST_SKIP() << "vsftpd: " << vsftpd_->Error();
            home_ = vsftpd_->Root();
            ftp_.Port = vsftpd_->Port();
            ftp_.Username = "anonymous";
        } else {
            pyftpd_ = std::make_unique<test::PyFtpServer>();
            if (!pyftpd_->Running()) GTEST_SKIP() << "pyftpdlib: " << pyftpd_->Error();
            home_ = pyftpd_->Home();
            ftp_.Port = pyftpd_->Port();
            ftp_.Username = pyftpd_->User();
            ftp_.Password = pyftpd_->Password();
        }
        ftp_.Host = "127.0.0.1";
        ftp_.Connect(true, -1);
    }
    void Upload(const std::string& name, const std::string& bytes) {
        test::WriteFile(local_ / "up", bytes);
        ftp_.Put(local_ / "up", name);
    }
    int32_t ReplyCodeOf(const std::function<void()>& command) {
        try {
            command();
        } catch (const EIdFTPRenameTargetRefused&) {
            ADD_FAILURE() << "refused as a target";
        } catch (const EIdProtocolReplyError& e) {
            return e.ReplyCode;
        }
        return 0;
    }

    std::unique_ptr<test::PyFtpServer> pyftpd_;
    std::unique_ptr<test::VsftpdServer> vsftpd_;
    std::string home_;
    test::TempDir local_;
    TIdFTP ftp_;
};

TEST_P(FtpFileCommandsOnRealServers, RenameReplacesAnExistingFileAndDeleteRemoves) {
    Upload("u.bck", "the previous archive");
    Upload("u.bck.part", "the new archive");
    ftp_.Rename("u.bck.part", "u.bck");
    EXPECT_EQ(test::ReadFile(home_ + "/u.bck"), "the new archive");
    EXPECT_FALSE(test::PathExists(home_ + "/u.bck.part"));

    EXPECT_EQ(ReplyCodeOf([&] { ftp_.Rename("u.bck.part", "u.bck"); }), 550);
    EXPECT_EQ(test::ReadFile(home_ + "/u.bck"), "the new archive");
    ftp_.Delete("u.bck");
    EXPECT_FALSE(test::PathExists(home_ + "/u.bck"));
    EXPECT_EQ(ReplyCodeOf([&] { ftp_.Delete("u.bck"); }), 550);
    EXPECT_TRUE(ftp_.IsConnected());
    ftp_.Quit();
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpFileCommandsOnRealServers, ::testing::Values("pyftpdlib", "vsftpd"));

}  // namespace
}  // namespace nb
