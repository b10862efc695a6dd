// The settings file: private-profile reads and writes on real files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/Exception.h"
#include "platform/IniFile.h"
#include "tests/support/TestSupport.h"

namespace nb::test {
namespace {

TEST(IniFile, AbsentFileOrKeyGivesTheDefault) {
    TempDir dir;
    TIniFile ini(dir / "none.ini");
    EXPECT_EQ(ini.ReadString("Server", "HOSTID", "HOSTID"), "HOSTID");
    WriteFile(dir / "a.ini", "[Other]\nHOSTID=elsewhere\n[Server]\nHOSTPASS=x\n");
    EXPECT_EQ(TIniFile(dir / "a.ini").ReadString("Server", "HOSTID", "dflt"), "dflt");
}

TEST(IniFile, ReadsAsTheProfileFunctionsDo) {
    TempDir dir;
    WriteFile(dir / "a.ini", "; comment\r\n[ server ]\r\n  hostid =  kim  \r\nQ=\"quoted value\"\r\nE=\r\n");
    TIniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.ReadString("Server", "HOSTID", ""), "kim");
    EXPECT_EQ(ini.ReadString("SERVER", "q", ""), "quoted value");
    EXPECT_EQ(ini.ReadString("Server", "E", "dflt"), "") << "an empty value is a value";
}

// Notepad and others save UTF-8 with a byte-order mark; the first section is still a section,
// and a write leaves the mark where it was.
TEST(IniFile, ByteOrderMarkIsNoPartOfTheFirstSection) {
    TempDir dir;
    const std::string path = dir / "FtpHost.ini";
    WriteFile(path, "\xEF\xBB\xBF[Service]\r\nFtpHost=127.0.0.1\r\n[Server]\r\nHOSTID=kim\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Service", "FtpHost", "compiled"), "127.0.0.1");
    EXPECT_EQ(ini.ReadString("Server", "HOSTID", ""), "kim");
    ini.WriteString("Service", "FtpPort", "2121");
    EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF[Service]\nFtpHost=127.0.0.1\nFtpPort=2121\n[Server]\nHOSTID=kim\n");
}

TEST(IniFile, ReadReturnsAtMost2047Characters) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[S]\nK=" + std::string(5000, 'x') + "\n");
    EXPECT_EQ(TIniFile(dir / "a.ini").ReadString("S", "K", "").size(), 2047u);
}

TEST(IniFile, WritesCreateFolderFileAndSectionAndReplaceOnlyTheirKey) {
    TempDir dir;
    std::string path = dir / "deep/nestbridge/FtpHost.ini";
    TIniFile ini(path);
    ini.WriteString("Server", "FTPHOST", "ftp.example");
    ini.WriteString("Server", "HOSTID", "kim");
    ini.WriteString("Service", "FtpPort", "2121");
    ini.WriteString("server", "hostid", "lee");
    EXPECT_EQ(ReadFile(path), "[Server]\nFTPHOST=ftp.example\nhostid=lee\n[Service]\nFtpPort=2121\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds a password";

    // A key missing from an existing section goes into that section, not at the end.
    ini.WriteString("Server", "HOSTPASS", "pw");
    EXPECT_EQ(ReadFile(path), "[Server]\nFTPHOST=ftp.example\nhostid=lee\nHOSTPASS=pw\n[Service]\nFtpPort=2121\n");
}

TEST(IniFile, RefusedWriteRaisesUnableToWriteWithThePath) {
    TempDir dir;
    WriteFile(dir / "blocker", "a file where a folder should be");
    std::string path = dir / "blocker/FtpHost.ini";
    try {
        TIniFile(path).WriteString("Server", "HOSTID", "kim");
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + path);
    }
}

TEST(IniFile, DefaultPlaceFollowsXdgConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    std::string keep = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(DefaultSettingsFile(), "/cfg/nestbridge/FtpHost.ini");
    unsetenv("XDG_CONFIG_HOME");
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    EXPECT_EQ(DefaultSettingsFile(), home + "/.config/nestbridge/FtpHost.ini");
    if (saved) setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
}

}  // namespace
}  // namespace nb::test
