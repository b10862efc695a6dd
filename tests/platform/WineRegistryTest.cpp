// The accounting program's registry value read from crafted Wine user.reg files, and the
// mapping of its Windows path onto the prefix's drives.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/WineRegistry.h"
#include "tests/support/TestSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

const char* const kKey = "Software\\Marrowby\\Tallyvine\\Database";

std::string UserReg(const std::string& values) {
    return "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n\n"
           "[Software\\\\Marrowby\\\\Other] 1700000000\n\"DefaultDatabase\"=\"wrong key\"\n\n"
           "[sOFTWARE\\\\marrowby\\\\TALLYVINE\\\\database] 1700000001\n#time=1d9a7b3c4d5e6f7\n" +
           values + "\n[Software\\\\Marrowby\\\\Tallyvine\\\\Database\\\\Sub] 1700000002\n\"Deeper\"=\"x\"\n";
}

struct TextCase {
    const char* name;
    const char* line;      // the value line as Wine writes it
    const char* expected;  // UTF-8
};

class RegistryTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(RegistryTextTest, DecodesTheValue) {
    TempDir prefix;
    WriteFile(prefix / "user.reg",
              UserReg(std::string("\"Before\"=dword:00000002\n") + GetParam().line + "\n\"After\"=hex:01,02\n"));
    EXPECT_EQ(ReadUserRegistryString(prefix.Path(), kKey, "DefaultDatabase"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryTextTest,
    ::testing::Values(
        TextCase{"Plain", R"("DefaultDatabase"="C:\\Acc\\Data\\")", "C:\\Acc\\Data\\"},
        TextCase{"Expandable", R"("DefaultDatabase"=str(2):"%USERPROFILE%\\Data")", "%USERPROFILE%\\Data"},
        TextCase{"NameCase", R"("defaultdatabase"="D:\\x")", "D:\\x"},
        TextCase{"QuoteAndControls", R"("DefaultDatabase"="a\"b\tc\nd")", "a\"b\tc\nd"},
        TextCase{"HangulEscapes", R"("DefaultDatabase"="C:\\\xac00\xc628\\\xc790\xb8cc")", "C:\\가온\\자료"},
        TextCase{"ShortHexEscape", R"("DefaultDatabase"="\xe9t\xe9")", "été"},
        TextCase{"SurrogatePair", R"("DefaultDatabase"="\xd83d\xde00")", "\xF0\x9F\x98\x80"},
        TextCase{"Empty", R"("DefaultDatabase"="")", ""}, TextCase{"Missing", R"("Elsewhere"="C:\\")", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WineRegistry, OtherTypesRaiseInvalidDataType) {
    for (const char* data : {"dword:00000001", "hex:41,00", "hex(2):43,00,3a,00", "str(7):\"multi\"", "hex(7):00"}) {
        TempDir prefix;
        WriteFile(prefix / "user.reg", UserReg(std::string("\"DefaultDatabase\"=") + data + "\n"));
        try {
            ReadUserRegistryString(prefix.Path(), kKey, "DefaultDatabase");
            ADD_FAILURE() << data << " read as text";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.Message(), "Invalid data type for 'DefaultDatabase'");
        }
    }
}

TEST(WineRegistry, MissingFileOrKeyReadsEmpty) {
    TempDir prefix;
    EXPECT_EQ(ReadUserRegistryString(prefix.Path(), kKey, "DefaultDatabase"), "");
    WriteFile(prefix / "user.reg",
              "WINE REGISTRY Version 2\n[Software\\\\Marrowby] 1\n\"DefaultDatabase\"=\"C:\\\\\"\n");
    EXPECT_EQ(ReadUserRegistryString(prefix.Path(), kKey, "DefaultDatabase"), "");
}

class PathMappingTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(prefix / "drive_c/Program Files/Tallyvine/Data");
        fs::create_directories(prefix / "dosdevices");
        fs::create_symlink("../drive_c", prefix / "dosdevices/c:");
    }
    TempDir prefix;
};

TEST_F(PathMappingTest, MatchesComponentsWithoutRegardToCase) {
    std::string c = prefix / "dosdevices/c:";
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "C:\\program files\\TALLYVINE\\data\\"),
              c + "/Program Files/Tallyvine/Data/");
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "c:\\Program Files\\Tallyvine\\Data"), c + "/Program Files/Tallyvine/Data");
    // Components that do not exist are kept as written, and so is everything after them.
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "C:\\PROGRAM FILES\\New\\data"), c + "/Program Files/New/data");
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "C:\\"), c + "/");
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "D:\\Acc"), prefix / "dosdevices/d:/Acc");
}

TEST_F(PathMappingTest, LinuxPathsStayAndOthersCannotBeMapped) {
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "/home/kim/acc/"), "/home/kim/acc/");
    EXPECT_EQ(MapWindowsPath(prefix.Path(), ""), "");
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "Acc\\Data"), "");
    EXPECT_EQ(MapWindowsPath(prefix.Path(), "\\\\server\\share\\acc"), "");
}

}  // namespace
}  // namespace nb::test
