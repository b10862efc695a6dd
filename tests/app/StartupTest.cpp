// What the window holds after creation: the remembered user ID and the data folder from the
// accounting program's registry value; and the error box rule.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Unit1.h"
#include "tests/app/AppTestSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

const char* const kKey = "Software\\Marrowby\\Tallyvine\\Database";

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        environment.SettingsFile = dir / "config/FtpHost.ini";
        environment.RegistryLocation = registry.Location();
    }

    TempDir dir;
    TestRegistry registry{dir / "wine", TestRegistry::Scope::Own};
    TForm1Environment environment;
    RecordingWindow window;
};

// On Linux the registry is a Wine prefix's user.reg, its values written as Wine writes them, and
// a drive letter is mapped through the prefix's drive links.
class WineStartupTest : public StartupTest {
protected:
    void SetUp() override {
        if (Separator() == '\\') GTEST_SKIP() << "Wine's user.reg and drive links are the Linux registry";
        StartupTest::SetUp();
        fs::create_directories(dir / "wine/drive_c/Acc/Data");
        fs::create_directories(dir / "wine/dosdevices");
        fs::create_symlink("../drive_c", dir / "wine/dosdevices/c:");
    }
    void WriteRegistryValue(const std::string& data) {
        WriteFile(dir / "wine/user.reg",
                  "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n\n"
                  "[Software\\\\Marrowby\\\\Tallyvine\\\\Database] 1700000000\n#time=1d9\n"
                  "\"DefaultDatabase\"=" +
                      data + "\n");
    }
};

TEST_F(StartupTest, FirstStartShowsTheKeyNameAndAnEmptyPassword) {
    window.password = "left over";
    TForm1 form(window, environment);
    form.FormCreate();
    EXPECT_EQ(window.userID, "HOSTID");
    EXPECT_EQ(window.password, "");
    EXPECT_EQ(form.DataFolder(), "");
    EXPECT_TRUE(window.events.empty());
}

TEST_F(WineStartupTest, RegistryValueIsMappedThroughTheDriveLink) {
    WriteRegistryValue("\"c:\\\\acc\\\\DATA\\\\\"");
    TForm1 form(window, environment);
    form.FormCreate();
    EXPECT_EQ(form.DataFolder(), dir / "wine/dosdevices/c:/Acc/Data");
    EXPECT_EQ(form.BackupFolder(), dir / "wine/dosdevices/c:/Acc/Data/Backup");
    EXPECT_TRUE(fs::equivalent(form.DataFolder(), dir / "wine/drive_c/Acc/Data"));
}

TEST_F(WineStartupTest, BareDriveLosesItsBackslash) {
    WriteRegistryValue("str(2):\"C:\\\\\"");
    TForm1 form(window, environment);
    form.FormCreate();
    EXPECT_EQ(form.DataFolder(), dir / "wine/dosdevices/c:");
    EXPECT_EQ(form.BackupFolder(), dir / "wine/dosdevices/c:/Backup");
}

TEST_F(StartupTest, WindowsTakesTheValueAsTheFolderItNames) {
    if (Separator() != '\\') GTEST_SKIP() << "Linux maps the value through a Wine prefix (WineStartupTest)";
    // Written by reg.exe as UTF-16; a Korean folder name survives the ANSI code page 949.
    ASSERT_TRUE(registry.SetText(kKey, "DefaultDatabase", "C:\\가온장부\\자료\\"));
    TForm1 form(window, environment);
    form.FormCreate();
    EXPECT_EQ(form.DataFolder(), "C:\\가온장부\\자료");
    EXPECT_EQ(form.BackupFolder(), "C:\\가온장부\\자료\\Backup");
    EXPECT_TRUE(window.events.empty());
}

TEST_F(StartupTest, NonTextValueShowsTheErrorBoxAndLeavesTheFoldersEmpty) {
    ASSERT_TRUE(registry.SetNumber(kKey, "DefaultDatabase", 1));
    TForm1 form(window, environment);
    form.FormCreate();
    // The message ends in "'", which sorts before ".": no full stop is added.
    EXPECT_EQ(window.events, (std::vector<std::string>{"error:Invalid data type for 'DefaultDatabase'"}));
    EXPECT_EQ(form.DataFolder(), "");
    EXPECT_EQ(form.BackupFolder(), "");
    EXPECT_EQ(window.userID, "HOSTID") << "the window still opens";
}

TEST_F(StartupTest, DataFolderGivenByTheCommandLineWins) {
    ASSERT_TRUE(registry.SetText(kKey, "DefaultDatabase", "C:\\Acc\\Data"));
    environment.DataFolderOverride = (dir / "acc") + Separator();
    TForm1 form(window, environment);
    form.FormCreate();
    EXPECT_EQ(form.DataFolder(), dir / "acc");
}

TEST(ApplicationErrorText, AddsAFullStopOnlyAfterCharactersSortingAfterIt) {
    EXPECT_EQ(ApplicationErrorText("Read Timeout"), "Read Timeout.");
    EXPECT_EQ(ApplicationErrorText("Not all bytes sent."), "Not all bytes sent.");
    EXPECT_EQ(ApplicationErrorText("Disconnected!"), "Disconnected!");
    EXPECT_EQ(ApplicationErrorText("파일"), "파일.");
    EXPECT_EQ(ApplicationErrorText(""), "");
}

TEST(UsableUserID, AcceptsNamesAndRefusesWhatCannotNameAFile) {
    for (const char* ok : {"user", "홍길동", "a.b", "..a", "name with space"}) EXPECT_TRUE(UsableUserID(ok)) << ok;
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "a\nb", "\x7f"}) EXPECT_FALSE(UsableUserID(bad)) << bad;
    // Room for the upload's temporary name, "<ID>.bck.part", in a 255-byte file name.
    EXPECT_TRUE(UsableUserID(std::string(246, 'a')));
    EXPECT_FALSE(UsableUserID(std::string(247, 'a')));
}

}  // namespace
}  // namespace nb::test
