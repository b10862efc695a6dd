// What Windows gives the platform layer that Linux cannot: native attributes, share modes,
// the registry, the ANSI code page 949 and profile files.
#include <windows.h>
#undef DeleteFile  // ours, not the wide call

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::TempDir;
using test::WriteFile;

std::wstring W(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

const std::string kKorean = "\xEB\xA7\xA4\xEC\xB6\x9C";  // "매출" (sales) in UTF-8

TEST(Win32Attributes, NativeBitsSteerSearchAndDeletion) {
    TempDir dir;
    WriteFile(dir / "plain.db", "p");
    WriteFile(dir / "hidden.db", "h");
    WriteFile(dir / "locked.db", "r");
    ASSERT_TRUE(SetFileAttributesW(W(dir / "hidden.db").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(W(dir / "locked.db").c_str(), FILE_ATTRIBUTE_READONLY));
    std::vector<std::string> plain;
    TFileSearch search(dir / "*.db", faReadOnly | faArchive);
    for (TSearchRec rec; search.Next(rec);) plain.push_back(rec.Name);
    EXPECT_EQ(plain, (std::vector<std::string>{"locked.db", "plain.db"}));
    EXPECT_NE(FileGetAttr(dir / "locked.db") & faReadOnly, 0);
    EXPECT_FALSE(DeleteFile(dir / "locked.db")) << "a read-only file is refused";
    EXPECT_TRUE(DeleteFile(dir / "plain.db"));
}

TEST(Win32Attributes, ArchiveBitClearedAndSetAgainByAWrite) {
    TempDir dir;
    WriteFile(dir / "a.db", "a");
    ASSERT_NE(FileGetAttr(dir / "a.db") & faArchive, 0);
    ASSERT_TRUE(ClearArchiveAttr(dir / "a.db"));
    bool underWine = test::UnderWine();
    if (underWine && (FileGetAttr(dir / "a.db") & faArchive) != 0)
        GTEST_SKIP() << "Wine reports every file with the archive bit and cannot keep it cleared";
    EXPECT_EQ(FileGetAttr(dir / "a.db") & faArchive, 0);
    {
        TFileStream f(dir / "a.db", fmOpenWrite | fmShareExclusive);
        f.Write("b", 1);
    }
    EXPECT_NE(FileGetAttr(dir / "a.db") & faArchive, 0);
}

TEST(Win32ShareModes, FileHeldWithoutDeleteSharingIsNamed) {
    TempDir dir;
    WriteFile(dir / "held.db", "h");
    WriteFile(dir / "free.db", "f");
    HANDLE held =
        CreateFileW(W(dir / "held.db").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FilesOpenElsewhere({dir / "held.db", dir / "free.db", dir / "missing.db"}),
              std::vector<std::string>{dir / "held.db"});
    EXPECT_FALSE(RenameNoReplace(dir / "held.db", dir / "moved.db")) << "Windows refuses to move it";
    CloseHandle(held);
    EXPECT_TRUE(FilesOpenElsewhere({dir / "held.db"}).empty());
}

TEST(Win32FolderLock, OneHolderAtATimeAndNothingLeftInTheFolder) {
    TempDir dir;
    {
        TFolderLock first(dir.Path());
        ASSERT_TRUE(first.Held());
        TFolderLock second(dir.Path() + "\\");
        EXPECT_FALSE(second.Held());
    }
    TFolderLock again(dir.Path());
    EXPECT_TRUE(again.Held());
    TFileSearch search(dir / "*", faAnyFile);
    TSearchRec rec;
    while (search.Next(rec)) EXPECT_TRUE(rec.Name == "." || rec.Name == "..") << rec.Name;
}

TEST(Win32Text, KoreanThroughCodePage949) {
    ASSERT_EQ(GetACP(), 949u) << "run with LANG=ko_KR.UTF-8";
    EXPECT_EQ(ToSystemCodePage(kKorean), "\xB8\xC5\xC3\xE2");
    EXPECT_EQ(FromSystemCodePage("\xB8\xC5\xC3\xE2"), kKorean);
    EXPECT_EQ(ToSystemCodePage("\xF0\x9F\x98\x80"), "?") << "a character the code page lacks";
}

TEST(Win32Text, KoreanFileNamesAndStamps) {
    TempDir dir;
    const std::string name = dir / (kKorean + ".db");
    WriteFile(name, "x");
    EXPECT_TRUE(FileExists(name));
    TFileSearch search(dir / "*.db", 0);
    TSearchRec rec;
    ASSERT_TRUE(search.Next(rec));
    EXPECT_EQ(rec.Name, kKorean + ".db");
    TFileStream f(name, fmOpenReadWrite);
    const int32_t stamp = static_cast<int32_t>((44u << 25) | (3u << 21) | (15u << 16) | (13u << 11) | (30u << 5) | 5u);
    ASSERT_TRUE(FileSetDate(f, stamp));
    EXPECT_EQ(FileGetDate(f), stamp);
}

class Win32Registry : public ::testing::Test {
protected:
    // A key of its own under HKEY_CURRENT_USER stands in for the user's root.
    const std::string location = "Software\\NestbridgeTest" + std::to_string(GetCurrentProcessId());
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, W(location).c_str()); }
    int Reg(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"reg.exe", "add", "HKCU\\" + location + "\\Tally"};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back("/f");
        return test::RunCommand(argv).ExitCode;
    }
};

TEST_F(Win32Registry, TextValuesAsStoredOthersRefused) {
    ASSERT_EQ(Reg({"/v", "DefaultDatabase", "/t", "REG_SZ", "/d", "C:\\" + kKorean + "\\Data\\"}), 0);
    EXPECT_EQ(ReadUserRegistryString(location, "Tally", "DefaultDatabase"), "C:\\" + kKorean + "\\Data\\");
    ASSERT_EQ(Reg({"/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%\\x"}), 0);
    EXPECT_EQ(ReadUserRegistryString(location, "Tally", "Expand"), "%TEMP%\\x") << "taken as stored";
    ASSERT_EQ(Reg({"/v", "Count", "/t", "REG_DWORD", "/d", "7"}), 0);
    try {
        ReadUserRegistryString(location, "Tally", "Count");
        FAIL() << "a REG_DWORD value must be refused";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Count'");
    }
    EXPECT_EQ(ReadUserRegistryString(location, "Missing\\Key", "DefaultDatabase"), "");
}

TEST(Win32Settings, ProfileFileKeepsKoreanInCodePage949) {
    TempDir dir;
    TIniFile ini(dir / "FtpHost.ini");
    ini.WriteString("Service", "FtpHost", kKorean);
    EXPECT_EQ(ini.ReadString("service", "ftphost", "none"), kKorean);
    EXPECT_EQ(ini.ReadString("Service", "Missing", "fallback"), "fallback");
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(dir / "FtpHost.ini", bytes));
    EXPECT_NE(bytes.find("\xB8\xC5\xC3\xE2"), std::string::npos) << bytes;
}

// Notepad saves UTF-8 with a byte-order mark, which the profile functions of Windows take for a
// first section name's bytes and the values for text in the code page. Such a file is read as
// saved, and left in the code page those functions read everywhere.
TEST(Win32Settings, ProfileFileSavedAsUtf8WithByteOrderMark) {
    TempDir dir;
    const std::string path = dir / "FtpHost.ini";
    WriteFile(path, "\xEF\xBB\xBF[Service]\r\nFtpHost=127.0.0.1\r\n[Server]\r\nHOSTID=" + kKorean + "\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Service", "FtpHost", "compiled"), "127.0.0.1");
    EXPECT_EQ(ini.ReadString("Server", "HOSTID", ""), kKorean);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, "[Service]\r\nFtpHost=127.0.0.1\r\n[Server]\r\nHOSTID=\xB8\xC5\xC3\xE2\r\n");

    // What the code page cannot hold is kept in UTF-16, which the profile functions also read.
    const std::string smile = "\xF0\x9F\x98\x80";
    WriteFile(path, "\xEF\xBB\xBF[Server]\r\nHOSTPASS=" + smile + kKorean + "\r\n");
    EXPECT_EQ(ini.ReadString("Server", "HOSTPASS", ""), smile + kKorean);
    ini.WriteString("Server", "HOSTID", kKorean);
    EXPECT_EQ(ini.ReadString("Server", "HOSTID", ""), kKorean);
    EXPECT_EQ(ini.ReadString("Server", "HOSTPASS", ""), smile + kKorean);
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
}

TEST(Win32Paths, BackslashesAndDriveRoots) {
    EXPECT_EQ(ExtractFilePath("C:\\a\\b.db"), "C:\\a\\");
    EXPECT_EQ(ExtractFileDir("C:\\b.db"), "C:\\");
    EXPECT_EQ(ExtractFileName("C:\\a/b.db"), "b.db");
    EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\a"), "C:\\a\\");
    EXPECT_EQ(ExpandFileName("C:\\a\\..\\b\\.\\c.db"), "C:\\b\\c.db");
}

}  // namespace
}  // namespace nb
