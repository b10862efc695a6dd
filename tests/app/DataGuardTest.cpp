// The ordinary mistakes that lose the books, end to end with two computers ("office" and
// "home") sharing one account on a real pyftpdlib: empty folders, stale copies, changed work.
// Nothing goes without a question naming it, and what a yes replaces can be brought back.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "app/PressRecord.h"
#include "app/Unit1.h"
#include "backup/backup.h"
#include "platform/FileSystem.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/FolderSnapshot.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

const std::string kCompleted = "message:모든 작업을 정상적으로 완료하였습니다.";
const std::string kCancelled = "status:작업을 취소했습니다.";

enum class Action { Upload, Download, Generation1, Generation2, Undo };

// One computer: its own data folder, settings file (and so its own record) and registry.
class Computer {
public:
    Computer(const TempDir& root, const std::string& name, int port)
        : data_(root / (name + "/data")), registry_(root / (name + "/wine"), TestRegistry::Scope::Own) {
        const char* bin = std::getenv("NB_BINARY_DIR");
        environment_.ZipcodeArchive = LocalPath(std::string(bin ? bin : ".") + "/data/zipcode.bck");
        environment_.SettingsFile = root / (name + "/config/FtpHost.ini");
        environment_.RegistryLocation = registry_.Location();
        environment_.DataFolderOverride = data_;
        fs::create_directories(FsPath(data_));
        WriteServiceSettings(environment_.SettingsFile, port, 2000);
    }

    const std::string& Data() const { return data_; }
    std::string Table(const std::string& name) const { return data_ + Separator() + name; }
    const TForm1Environment& Environment() const { return environment_; }
    void Fill(const FolderContents& tables) { BuildFolder(data_, tables); }

    // One press answered yes or no; the window's events as they came.
    std::vector<std::string> Press(Action action, bool answerYes = true) {
        RecordingWindow window;
        window.answerYes = answerYes;
        TForm1 form(window, environment_);
        form.FormCreate();
        window.userID = "user";
        window.password = "secret";
        window.events.clear();
        switch (action) {
            case Action::Upload: form.PressBackup(); break;
            case Action::Download: form.PressRestore(); break;
            case Action::Generation1: form.PressRestoreGeneration(1); break;
            case Action::Generation2: form.PressRestoreGeneration(2); break;
            case Action::Undo: form.PressUndoDownload(); break;
        }
        completed = form.LastPressCompleted();
        return window.events;
    }
    // The data files (Backup excluded), as a snapshot; names as restored files carry them.
    std::map<std::string, std::string> Tables() const {
        std::map<std::string, std::string> tables;
        for (const auto& [name, state] : Snapshot(data_))
            if (name.rfind("Backup", 0) != 0) tables[ArchiveCase(name)] = state;
        return tables;
    }

    bool completed = false;

private:
    std::string data_;
    TestRegistry registry_;
    TForm1Environment environment_;
};

std::vector<std::string> Questions(const std::vector<std::string>& events) {
    std::vector<std::string> asked;
    for (const auto& e : events)
        if (e.rfind("ask:", 0) == 0) asked.push_back(e);
    return asked;
}

bool Has(const std::vector<std::string>& events, const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

// A file system that keeps modification times in whole seconds (or coarser) would not see a
// rewrite of the same size within the second: each change moves the clock on.
void Touch(const std::string& path, const std::string& bytes) {
    const auto before = fs::exists(FsPath(path)) ? fs::last_write_time(FsPath(path)) : fs::file_time_type{};
    WriteFile(path, bytes);
    if (fs::last_write_time(FsPath(path)) == before) fs::last_write_time(FsPath(path), before + std::chrono::seconds(2));
}

class DataGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.Running()) GTEST_SKIP() << server.Error();
        if (!PathExists(office.Environment().ZipcodeArchive)) GTEST_SKIP() << "zipcode.bck was not built";
        office.Fill({{"Sale.DB", RandomBytes(40000, 1)}, {"Item.DB", "office items"}, {"Note.MB", "office notes"}});
    }
    std::string ServerFile(const std::string& name) const { return ReadFile(server.Home() + "/" + name); }

    TempDir root;
    PyFtpServer server;
    Computer office{root, "office", server.Port()};
    Computer home{root, "home", server.Port()};
};

TEST_F(DataGuardTest, AnEmptyFolderIsNeverUploadedAndItsEmptyArchiveNeverRestored) {
    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty());
    ASSERT_TRUE(office.completed);
    const std::string serverCopy = ServerFile("user.bck");
    const auto officeBefore = Snapshot(office.Data());

    // Home: a fresh computer, the data folder empty.
    const auto events = home.Press(Action::Upload);
    EXPECT_EQ(events, (std::vector<std::string>{"info:올릴 자료가 없습니다. 데이터 폴더(" + home.Data() +
                                                ")에 가온장부 자료 파일이 없습니다.|자료백업/복원"}));
    EXPECT_FALSE(home.completed);
    EXPECT_EQ(ServerFile("user.bck"), serverCopy);
    EXPECT_FALSE(PathExists(home.Data() + "/Backup"));

    // An archive of no tables put on the server by hand is refused before anything is touched.
    const std::string source = root / "notables";
    fs::create_directories(FsPath(source));
    WriteFile(source + "/readme.txt", "not a table");
    TBackupFile writer;
    ASSERT_TRUE(writer.Backup({source + Separator() + "*.*"}, server.Home() + "/user.bck"));
    const auto refused = office.Press(Action::Download);
    EXPECT_TRUE(Has(refused, "info:서버의 백업파일에 가온장부 자료가 없어 복원하지 않았습니다.|자료백업/복원"))
        << ::testing::PrintToString(refused);
    EXPECT_FALSE(Has(refused, kCompleted));
    EXPECT_FALSE(Has(refused, "status:복원을 완료했습니다."));
    EXPECT_FALSE(office.completed);
    EXPECT_EQ(Snapshot(office.Data()), officeBefore) << "tables and local archive byte for byte";
}

TEST_F(DataGuardTest, DownloadOverChangedWorkAsksAndKeepsWhatItReplaces) {
    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty());
    // A download right after the upload replaces nothing unrecorded: no question.
    EXPECT_TRUE(Questions(office.Press(Action::Download)).empty());
    EXPECT_TRUE(office.completed);

    // The day's work, not uploaded.
    Touch(office.Table("Sale.DB"), RandomBytes(40000, 3));
    WriteFile(office.Table("Bankbook.DB"), "a new table");
    const auto worked = office.Tables();

    auto no = office.Press(Action::Download, false);
    ASSERT_EQ(Questions(no).size(), 1u);
    EXPECT_NE(no[0].find("변경되었습니다(바뀐 자료: " + ArchiveCase("Sale.DB") + ", 새 자료: Bankbook.DB)"),
              std::string::npos)
        << no[0];
    EXPECT_NE(no[0].find("보관되고"), std::string::npos) << "it says that the work is kept";
    EXPECT_EQ(no.back(), kCancelled);
    EXPECT_EQ(no.size(), 2u) << "nothing else runs";
    EXPECT_FALSE(office.completed);
    EXPECT_EQ(office.Tables(), worked);

    auto yes = office.Press(Action::Download, true);
    EXPECT_EQ(yes.back(), kCompleted);
    EXPECT_NE(office.Tables(), worked);
    EXPECT_EQ(ReadFile(office.Table("Sale.DB")), RandomBytes(40000, 1));

    // The way back: exactly the tables the download replaced.
    auto undo = office.Press(Action::Undo, true);
    ASSERT_EQ(Questions(undo).size(), 1u);
    EXPECT_TRUE(office.completed);
    EXPECT_EQ(office.Tables(), worked);
    // And the undo kept what it replaced: a second one goes forward again.
    office.Press(Action::Undo, true);
    EXPECT_EQ(ReadFile(office.Table("Sale.DB")), RandomBytes(40000, 1));
    EXPECT_FALSE(PathExists(office.Table("Bankbook.DB")));
}

TEST_F(DataGuardTest, UndoAnsweredNoOrWithNothingKeptChangesNothing) {
    const auto before = office.Tables();
    auto nothing = office.Press(Action::Undo);
    ASSERT_EQ(nothing.size(), 1u);
    EXPECT_EQ(nothing[0].rfind("info:되돌릴 자료가 없습니다.", 0), 0u) << nothing[0];
    EXPECT_FALSE(office.completed);

    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty());
    WriteFile(office.Table("Sale.DB"), "changed");
    office.Press(Action::Download, true);
    const auto downloaded = office.Tables();
    EXPECT_EQ(office.Press(Action::Undo, false).back(), kCancelled);
    EXPECT_EQ(office.Tables(), downloaded);
}

TEST_F(DataGuardTest, FirstDownloadOverTablesAsksAndIntoAnEmptyFolderDoesNot) {
    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty());
    // Home never pressed anything: its empty folder has nothing to lose.
    EXPECT_TRUE(Questions(home.Press(Action::Download)).empty());
    EXPECT_TRUE(home.completed);

    Computer third(root, "third", server.Port());
    third.Fill({{"Sale.DB", "a third computer's own sales"}});
    auto asked = third.Press(Action::Download, false);
    ASSERT_EQ(Questions(asked).size(), 1u);
    EXPECT_NE(asked[0].find("기록이 없습니다"), std::string::npos) << asked[0];
    EXPECT_EQ(ReadFile(third.Table("Sale.DB")), "a third computer's own sales");
}

TEST_F(DataGuardTest, StaleUploadOverAnotherComputersNewerCopyAsks) {
    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty());
    ASSERT_TRUE(Questions(home.Press(Action::Download)).empty());
    // The office works on and uploads; home has not downloaded since. (The server tells copies
    // apart by size and time to the second; copies made by hand within one second differ in size.)
    Touch(office.Table("Sale.DB"), RandomBytes(41000, 2));
    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty()) << "the office's own copy: no question";
    const std::string newer = ServerFile("user.bck");

    auto no = home.Press(Action::Upload, false);
    ASSERT_EQ(Questions(no).size(), 1u);
    EXPECT_NE(no[2].find("이 컴퓨터에서 마지막으로 올리거나 내려받은 자료가 아닙니다"), std::string::npos) << no[2];
    EXPECT_NE(no[2].find("에 올림)"), std::string::npos) << "it says when the server copy was made: " << no[2];
    EXPECT_EQ(ServerFile("user.bck"), newer);
    EXPECT_FALSE(home.completed);

    auto yes = home.Press(Action::Upload, true);
    EXPECT_EQ(yes.back(), "status:서버 단절");
    EXPECT_TRUE(home.completed);
    EXPECT_EQ(ServerFile("user.bck.1"), newer) << "the replaced copy is kept on the server";
}

TEST_F(DataGuardTest, UploadThatLosesTablesAsks) {
    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty());
    const std::string uploaded = ServerFile("user.bck");

    fs::remove(FsPath(office.Table("Item.DB")));
    auto missing = office.Press(Action::Upload, false);
    ASSERT_EQ(Questions(missing).size(), 1u);
    EXPECT_NE(missing[0].find("없어진 자료가 있습니다: Item.DB."), std::string::npos) << missing[0];
    EXPECT_EQ(missing.size(), 2u) << "asked before the probe";

    WriteFile(office.Table("Item.DB"), "office items");
    WriteFile(office.Table("Sale.DB"), "shrunk");
    auto shrunk = office.Press(Action::Upload, false);
    ASSERT_EQ(Questions(shrunk).size(), 1u);
    EXPECT_NE(shrunk[0].find("절반보다 작아졌습니다"), std::string::npos) << shrunk[0];
    EXPECT_EQ(ServerFile("user.bck"), uploaded);
}

TEST_F(DataGuardTest, ThreeUploadsKeepTheTwoPreviousArchivesAndEachCanBeDownloaded) {
    std::vector<std::string> archives;
    for (int i = 0; i < 3; ++i) {
        Touch(office.Table("Sale.DB"), "sales of day " + std::to_string(i));
        ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty());
        ASSERT_TRUE(office.completed);
        archives.push_back(ServerFile("user.bck"));
    }
    EXPECT_EQ(ServerFile("user.bck.1"), archives[1]);
    EXPECT_EQ(ServerFile("user.bck.2"), archives[0]);
    EXPECT_FALSE(PathExists(server.Home() + "/user.bck.3"));

    home.Press(Action::Generation1);
    EXPECT_TRUE(home.completed);
    EXPECT_EQ(ReadFile(home.Table("Sale.DB")), "sales of day 1");
    home.Press(Action::Generation2, true);
    EXPECT_EQ(ReadFile(home.Table("Sale.DB")), "sales of day 0");
    EXPECT_EQ(ServerFile("user.bck"), archives[2]) << "a download never changes the server";

    fs::remove(FsPath(server.Home() + "/user.bck.2"));
    auto none = home.Press(Action::Generation2, true);
    EXPECT_TRUE(Has(none, "message:서버에 2번째 이전 자료가 없습니다.")) << ::testing::PrintToString(none);
    EXPECT_FALSE(home.completed);
    EXPECT_EQ(ReadFile(home.Table("Sale.DB")), "sales of day 0");
}

TEST_F(DataGuardTest, NoGenerationsKeepsOnlyTheArchive) {
    WriteFile(office.Environment().SettingsFile, ReadFile(office.Environment().SettingsFile) + "Generations=0\n");
    for (int i = 0; i < 2; ++i) {
        Touch(office.Table("Sale.DB"), "sales " + std::to_string(i));
        office.Press(Action::Upload);
        ASSERT_TRUE(office.completed);
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FsPath(server.Home()))) names.push_back(PathText(e.path().filename()));
    EXPECT_EQ(names, (std::vector<std::string>{"user.bck"}));
}

// A rotation cut short (a kill between its renames) is repaired by the next upload.
TEST_F(DataGuardTest, TheNextUploadClosesTheGapsACutRotationLeft) {
    WriteFile(server.Home() + "/user.bck.1", "the copy before");
    WriteFile(server.Home() + "/user.bck.2", "the copy before that");
    WriteFile(server.Home() + "/user.bck.part", "a complete new archive the rename never placed");
    // Killed after the archive moved to .1 and .1 to .2: the archive's own name is empty.
    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty()) << "no copy under the archive's name";
    EXPECT_EQ(ServerFile("user.bck.1"), "the copy before");
    EXPECT_EQ(ServerFile("user.bck.2"), "the copy before that");
    EXPECT_FALSE(PathExists(server.Home() + "/user.bck.part"));
}

TEST_F(DataGuardTest, AMissingDataFolderIsNamedAndNeverCreated) {
    fs::remove_all(FsPath(home.Data()));
    for (Action action : {Action::Upload, Action::Download}) {
        auto events = home.Press(action);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].rfind("message:가온장부의 자료 폴더(" + home.Data() + ")가 없습니다.", 0), 0u) << events[0];
    }
    EXPECT_FALSE(fs::exists(FsPath(home.Data())));
}

TEST_F(DataGuardTest, AMissingOrDamagedZipcodeIsNamedBeforeAnythingRuns) {
    ASSERT_TRUE(Questions(office.Press(Action::Upload)).empty());
    const auto before = Snapshot(office.Data());
    const std::string damaged = root / "zipcode-damaged.bck";
    std::string bytes = ReadFile(office.Environment().ZipcodeArchive);
    bytes.resize(bytes.size() - 7);
    WriteFile(damaged, bytes);
    for (const std::string& zipcode : {root / "no-zipcode.bck", damaged}) {
        TForm1Environment environment = office.Environment();
        environment.ZipcodeArchive = zipcode;
        RecordingWindow window;
        TForm1 form(window, environment);
        form.FormCreate();
        window.userID = "user";
        window.password = "secret";
        window.events.clear();
        form.PressRestore();
        ASSERT_EQ(window.events.size(), 1u);
        EXPECT_NE(window.events[0].find("우편번호 자료 파일(" + zipcode + ")"), std::string::npos) << window.events[0];
        EXPECT_FALSE(form.LastPressCompleted());
    }
    EXPECT_EQ(Snapshot(office.Data()), before);
}

TEST_F(DataGuardTest, AnArchiveEntryNamedLikeTheWorkAreaIsRefusedWithoutBlamingTheUser) {
    const std::string source = root / "hostile";
    fs::create_directories(FsPath(source));
    WriteFile(source + "/Sale.DB", "sales");
    WriteFile(source + "/.nestbridge-swap", "a file named like the program's work area");
    TBackupFile writer;
    ASSERT_TRUE(writer.Backup({source + Separator() + "*.*"}, server.Home() + "/user.bck"));
    const auto before = home.Tables();
    auto events = home.Press(Action::Download);
    EXPECT_TRUE(Has(events, "info:복원에 실패하였습니다.|자료백업/복원")) << ::testing::PrintToString(events);
    for (const auto& e : events) EXPECT_EQ(e.find(".nestbridge-swap"), std::string::npos) << e;
    EXPECT_EQ(home.Tables(), before);
}

}  // namespace
}  // namespace nb::test
