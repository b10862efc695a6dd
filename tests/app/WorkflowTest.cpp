// Both presses end to end against a real FTP server and the echo probe on 127.0.0.1, as the
// window sees them: the exact texts and boxes in order, and what lands on disk.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/SwapJournal.h"
#include "app/Unit1.h"
#include "backup/backup.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/IniFile.h"
#include "tests/app/AppTestSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

const std::string kCompleted = "message:모든 작업을 정상적으로 완료하였습니다.";
const std::string kRestoreFailed = "info:복원에 실패하였습니다.|자료백업/복원";
const std::string kDownloadFailed = "message:파일 받기에 실패하였습니다.";

std::map<std::string, std::string> WithoutBackupFolder(std::map<std::string, std::string> snap) {
    for (auto it = snap.begin(); it != snap.end();) it = it->first.rfind("Backup", 0) == 0 ? snap.erase(it) : ++it;
    return snap;
}

// Text-like bytes that compress: every block of them is a zlib stream the verification can check
// (a stored block, as random bytes give, carries no check at all in the archive format).
std::string Compressible(size_t size, uint32_t seed) {
    std::string bytes = RandomBytes(size, seed);
    for (auto& c : bytes) c = static_cast<char>('a' + (static_cast<unsigned char>(c) & 7));
    return bytes;
}

std::vector<std::string> PlainNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FsPath(folder)))
        if (e.is_regular_file() && PathText(e.path().filename())[0] != '.')
            names.push_back(PathText(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* bin = std::getenv("NB_BINARY_DIR");
        environment.ZipcodeArchive = LocalPath(std::string(bin ? bin : ".") + "/data/zipcode.bck");
        if (!PathExists(environment.ZipcodeArchive)) GTEST_SKIP() << "zipcode.bck was not built";
        environment.SettingsFile = root / "config/nestbridge/FtpHost.ini";
        environment.RegistryLocation = registry.Location();
        environment.DataFolderOverride = data;
        fs::create_directories(FsPath(data));
        WriteFile(data + "/Sale.DB", "old sales");
        WriteFile(data + "/Item.PX", "old item index");
        WriteFile(data + "/Other.bin", "not a table");
        WriteFile(data + "/.hidden", "hidden stays");
        MarkHidden(data + "/.hidden");
        fs::create_directories(data + "/Sub");
        WriteFile(data + "/Sub/inner.DB", "subfolders stay");
    }

    void UseServerPort(int port) { WriteServiceSettings(environment.SettingsFile, port, 2000); }

    // One press on a fresh window, as the user types the ID and password.
    std::vector<std::string> Press(bool upload, const std::string& user = "user",
                                   const std::string& password = "secret") {
        RecordingWindow window;
        TForm1 form(window, environment);
        form.FormCreate();
        window.userID = user;
        window.password = password;
        window.events.clear();
        if (upload)
            form.PressBackup();
        else
            form.PressRestore();
        completed = form.LastPressCompleted();
        EXPECT_FALSE(form.Busy());
        EXPECT_EQ(window.cursor, TScreenCursor::Default);
        return window.Folded();
    }

    // An archive of the given files, built by the archive component itself.
    std::string MakeArchive(const std::map<std::string, std::string>& files) {
        std::string source = root / ("source" + std::to_string(++archives));
        fs::create_directories(FsPath(source));
        for (const auto& [name, bytes] : files) WriteFile(source + "/" + name, bytes);
        std::string path = root / ("archive" + std::to_string(archives) + ".bck");
        TBackupFile backup;
        EXPECT_TRUE(backup.Backup({source + Separator() + "*.*"}, path));
        return ReadFile(path);
    }

    TempDir root;
    std::string data = root / "data";
    TestRegistry registry{root / "wine", TestRegistry::Scope::Own};  // holds no data folder
    TForm1Environment environment;
    bool completed = false;
    int archives = 0;
};

TEST_F(WorkflowTest, UploadPacksTheTablesStoresTheArchiveAndRemembersTheLogin) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());

    EXPECT_EQ(Press(true), (std::vector<std::string>{"status:인터넷 사용가능", "status:서버 접속 완료",
                                                     "status:백업을 완료했습니다.", "status:파일을 올리는 중...",
                                                     "status:Uploade speed *", "status:전송을 완료했습니다.",
                                                     kCompleted, "status:서버 단절"}));
    EXPECT_TRUE(completed);
    std::string local = ReadFile(data + "/Backup/user.bck");
    EXPECT_EQ(ReadFile(server.Home() + "/user.bck"), local);
    ArchiveListing listing = ListArchive(data + "/Backup/user.bck");
    std::vector<std::string> names;
    for (const auto& e : listing.Entries) names.push_back(ExtractFileName(e.Name));
    EXPECT_NE(std::find(names.begin(), names.end(), ArchiveCase("Sale.DB")), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), ArchiveCase("Item.PX")), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "Other.bin"), names.end()) << "only the 33 tables are packed";
    EXPECT_NE(listing.Title.find("에 만든 백업파일"), std::string::npos);

    TIniFile ini(environment.SettingsFile);
    EXPECT_EQ(ini.ReadString("Server", "FTPHOST", ""), "127.0.0.1");
    EXPECT_EQ(ini.ReadString("Server", "HOSTID", ""), "user");
    EXPECT_EQ(ini.ReadString("Server", "HOSTPASS", ""), "secret");
    if (Separator() == '/') {
        // Windows keeps it in the user's own folders, which the user's account protects.
        EXPECT_EQ(fs::status(FsPath(environment.SettingsFile)).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write);
    }

    // The next start shows the remembered ID and an empty password.
    RecordingWindow next;
    TForm1 form(next, environment);
    form.FormCreate();
    EXPECT_EQ(next.userID, "user");
    EXPECT_EQ(next.password, "");
}

TEST_F(WorkflowTest, DownloadReplacesThePlainFilesAndKeepsHiddenFilesAndSubfolders) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    WriteFile(server.Home() + "/user.bck",
              MakeArchive({{"Sale.DB", "new sales"}, {"Item.DB", Compressible(300000, 1)}}));

    // The folder holds tables and this computer has no record of a press: the press asks first.
    EXPECT_EQ(Press(false),
              (std::vector<std::string>{"ask", "status:인터넷 사용가능", "status:서버 접속 완료",
                                        "status:파일을 받는 중...", "status:Download speed *",
                                        "status:전송을 완료했습니다.", "status:복원을 완료했습니다.", "status:서버 단절",
                                        kCompleted}));
    EXPECT_TRUE(completed);
    EXPECT_EQ(PlainNames(data),
              (std::vector<std::string>{ArchiveCase("Item.DB"), ArchiveCase("Sale.DB"), ArchiveCase("ZipCode.txt")}));
    EXPECT_EQ(ReadFile(data + "/Item.DB"), Compressible(300000, 1));
    EXPECT_EQ(ReadFile(data + "/Sale.DB"), "new sales");
    EXPECT_EQ(ReadFile(data + "/.hidden"), "hidden stays");
    EXPECT_EQ(ReadFile(data + "/Sub/inner.DB"), "subfolders stay");
    EXPECT_EQ(ReadFile(data + "/Backup/user.bck"), ReadFile(server.Home() + "/user.bck"));
    // Nothing of the swap is left behind.
    for (const auto& e : fs::directory_iterator(FsPath(data)))
        EXPECT_EQ(PathText(e.path().filename()).find(".nestbridge"), std::string::npos) << e.path();
    std::vector<std::string> backup;
    for (const auto& e : fs::directory_iterator(data + "/Backup")) backup.push_back(PathText(e.path().filename()));
    std::sort(backup.begin(), backup.end());
    EXPECT_EQ(backup, (std::vector<std::string>{"user.bck", "user.bck.before-download"}));
}

// The copy of the replaced files is packed while the archive arrives; a table written meanwhile
// is kept as it stood when the swap replaced it, not as it was when packing began.
TEST_F(WorkflowTest, TheKeptCopyHoldsTheTablesAsTheDownloadReplacedThem) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    WriteFile(server.Home() + "/user.bck", MakeArchive({{"Sale.DB", "new sales"}, {"Item.DB", Compressible(300000, 4)}}));
    for (const bool writtenMeanwhile : {false, true}) {
        SCOPED_TRACE(writtenMeanwhile ? "a table written during the download" : "tables left alone");
        WriteFile(data + "/Sale.DB", "old sales");
        class WritingWindow : public RecordingWindow {
        public:
            std::string table;
            void SetStatusText(const std::string& text) override {
                RecordingWindow::SetStatusText(text);
                if (!table.empty() && text == "전송을 완료했습니다.") WriteFile(table, "sales the accounting program wrote");
            }
        } window;
        if (writtenMeanwhile) window.table = data + "/Sale.DB";
        TForm1 form(window, environment);
        form.FormCreate();
        window.userID = "user";
        window.password = "secret";
        form.PressRestore();
        ASSERT_TRUE(form.LastPressCompleted()) << ::testing::PrintToString(window.Folded());
        EXPECT_EQ(ReadFile(data + "/Sale.DB"), "new sales");
        const std::string kept = root / (writtenMeanwhile ? "kept-written" : "kept-alone");
        TBackupFile restore;
        ASSERT_TRUE(restore.Restore(data + "/Backup/user.bck.before-download", kept));
        EXPECT_EQ(ReadFile(kept + "/" + ArchiveCase("Sale.DB")),
                  writtenMeanwhile ? "sales the accounting program wrote" : "old sales");
        for (const auto& e : fs::directory_iterator(data + "/Backup"))
            EXPECT_EQ(PathText(e.path().filename()).find(".nestbridge"), std::string::npos) << e.path();
    }
}

TEST_F(WorkflowTest, DownloadIntoAFolderOfSubfoldersOnlyRestoresBothArchives) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    WriteFile(server.Home() + "/user.bck", MakeArchive({{"Sale.DB", "new sales"}}));
    for (const char* name : {"Sale.DB", "Item.PX", "Other.bin", ".hidden"}) fs::remove(data + "/" + name);

    Press(false);
    EXPECT_TRUE(completed);
    EXPECT_EQ(PlainNames(data), (std::vector<std::string>{ArchiveCase("Sale.DB"), ArchiveCase("ZipCode.txt")}));
}

TEST_F(WorkflowTest, ConnectFailureShowsItsMessageAndWritesNoSettings) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    for (bool upload : {true, false}) {
        std::vector<std::string> expected{"status:인터넷 사용가능", "message:서버 접속에 실패하였습니다."};
        if (!upload) expected.insert(expected.begin(), "ask");  // over tables no press recorded
        EXPECT_EQ(Press(upload, "user", "wrong"), expected);
        EXPECT_FALSE(completed);
    }
    EXPECT_EQ(TIniFile(environment.SettingsFile).ReadString("Server", "HOSTID", "none"), "none");
}

TEST_F(WorkflowTest, FailedArchiveRunUploadsNothing) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    WriteFile(data + "/Backup", "a file where the backup folder belongs");

    auto events = Press(true);
    ASSERT_EQ(events.size(), 6u) << ::testing::PrintToString(events);
    EXPECT_EQ(events[0], "status:인터넷 사용가능");
    EXPECT_EQ(events[1], "status:서버 접속 완료");
    EXPECT_EQ(events[2].rfind("error:" + BackupErrorText(beCannotWriteArchive), 0), 0u)
        << "the archive component's own report comes first";
    EXPECT_EQ(events[3], "status:백업에 실패하였습니다.") << "no success text after a failure";
    EXPECT_EQ(events[4], "info:백업에 실패하였습니다.|자료백업/복원");
    EXPECT_EQ(events[5], "status:서버 단절");
    EXPECT_FALSE(completed);
    EXPECT_FALSE(PathExists(server.Home() + "/user.bck"));
}

TEST_F(WorkflowTest, RefusedStoreIsAnUploadFailure) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    fs::create_directories(server.Home() + "/user.bck.part");  // the server cannot store over a folder
    WriteFile(server.Home() + "/user.bck", "the previous archive");

    // A server copy this computer never saw: the press asks before replacing it.
    EXPECT_EQ(Press(true), (std::vector<std::string>{"status:인터넷 사용가능", "status:서버 접속 완료", "ask",
                                                     "status:백업을 완료했습니다.", "status:파일을 올리는 중...",
                                                     "message:파일 올리기를 실패하였습니다.", "status:서버 단절"}));
    EXPECT_FALSE(completed);
    EXPECT_EQ(ReadFile(server.Home() + "/user.bck"), "the previous archive");
}

// The upload lands under a temporary name and is renamed onto the archive's, the previous copy
// kept beside it: on vsftpd, and after a dead upload's leftovers (pyftpdlib).
TEST_F(WorkflowTest, UploadRenamesOntoThePreviousCopyOnVsftpd) {
    VsftpdServer server;
    if (!server.Running()) GTEST_SKIP() << server.Error();
    UseServerPort(server.Port());
    WriteFile(server.Root() + "/anonymous.bck", "the previous archive");

    EXPECT_EQ(
        Press(true, "anonymous", ""),
        (std::vector<std::string>{"status:인터넷 사용가능", "status:서버 접속 완료", "ask", "status:백업을 완료했습니다.",
                                  "status:파일을 올리는 중...", "status:Uploade speed *", "status:전송을 완료했습니다.",
                                  kCompleted, "status:서버 단절"}));
    EXPECT_TRUE(completed);
    EXPECT_EQ(ReadFile(server.Root() + "/anonymous.bck"), ReadFile(data + "/Backup/anonymous.bck"));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FsPath(server.Root()))) names.push_back(PathText(e.path().filename()));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"anonymous.bck", "anonymous.bck.1"}));
    EXPECT_EQ(ReadFile(server.Root() + "/anonymous.bck.1"), "the previous archive");
}

// A server that cannot rename (pure-ftpd -G answers RNFR "550 Rename/move failure") gets the
// archive under its own name: once the archive exists, in one transfer; it keeps no copies.
TEST_F(WorkflowTest, ServerWithoutRenamesGetsTheArchiveOnceUnderItsName) {
    PureFtpdServer server("user", "secret", {"-G"});
    if (!server.Running()) GTEST_SKIP() << server.Error();
    UseServerPort(server.Port());
    auto transfers = [&] {
        return SplitLines(PathExists(server.TransferLog()) ? ReadFile(server.TransferLog()) : "").size();
    };
    for (int press = 0; press < 2; ++press) {
        WriteFile(data + "/Sale.DB", "sales of press " + std::to_string(press));
        const size_t before = transfers();
        auto events = Press(true);
        ASSERT_TRUE(completed) << ::testing::PrintToString(events);
        EXPECT_EQ(ReadFile(server.Home() + "/user.bck"), ReadFile(data + "/Backup/user.bck"));
        // The first upload learns it from its own temporary file; later ones before they send.
        EXPECT_EQ(transfers() - before, press == 0 ? 2u : 1u);
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FsPath(server.Home()))) names.push_back(PathText(e.path().filename()));
    EXPECT_EQ(names, std::vector<std::string>{"user.bck"});
}

// A slow archive run (here every block waits, as on a slow disk) outlasts the server's idle
// time-out. Where the server renames, the archive is sent while it is packed and the transfer
// keeps the connection busy; where it does not, the archive is sent once whole and NOOPs keep the
// one control connection alive meanwhile.
TEST_F(WorkflowTest, ALongArchiveRunKeepsTheConnectionAlive) {
    struct Case {
        const char* name;
        const char* config;
        bool sentWhilePacking;
    };
    for (const Case& c : {Case{"renames", "idle_session_timeout=2\n", true},
                          Case{"no renames", "idle_session_timeout=2\ncmds_denied=RNFR,RNTO\n", false}}) {
        SCOPED_TRACE(c.name);
        VsftpdServer server(c.config);
        if (!server.Running()) GTEST_SKIP() << server.Error();
        UseServerPort(server.Port());
        WriteFile(server.Root() + "/anonymous.bck", "the previous archive");
        WriteFile(environment.SettingsFile, ReadFile(environment.SettingsFile) + "KeepAlive=300\n");
        WriteFile(data + "/Sale.DB", Compressible(40 * 16384, 9));

        class SlowDisk : public RecordingWindow {
        public:
            void ProcessMessages() override {
                RecordingWindow::ProcessMessages();
                if (progressVisible) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        } window;
        TForm1 form(window, environment);
        form.FormCreate();
        window.userID = "anonymous";
        window.password = "";
        form.PressBackup();
        EXPECT_TRUE(form.LastPressCompleted()) << ::testing::PrintToString(window.Folded());
        EXPECT_EQ(ReadFile(server.Root() + "/anonymous.bck"), ReadFile(data + "/Backup/anonymous.bck"));
        const std::string log = ReadFile(server.LogFile());
        size_t logins = 0, noops = 0, stores = 0;
        for (const auto& line : SplitLines(log)) {
            logins += line.find("FTP command: Client \"127.0.0.1\", \"USER ") != std::string::npos;
            noops += line.find("\"NOOP\"") != std::string::npos;
            stores += line.find("\"STOR ") != std::string::npos;
        }
        EXPECT_EQ(logins, 1u) << "the server never dropped the connection:\n" << log;
        EXPECT_EQ(stores, 1u) << log;
        if (!c.sentWhilePacking) {
            EXPECT_GE(noops, 5u);
        }
    }
}

TEST_F(WorkflowTest, UploadRemovesWhatADeadUploadLeft) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    WriteFile(server.Home() + "/user.bck", "the previous archive");
    WriteFile(server.Home() + "/user.bck.part", "half an upload");
    WriteFile(server.Home() + "/other.bck.part", "another user's upload in progress");

    Press(true);
    EXPECT_TRUE(completed);
    EXPECT_EQ(ReadFile(server.Home() + "/user.bck"), ReadFile(data + "/Backup/user.bck"));
    EXPECT_FALSE(PathExists(server.Home() + "/user.bck.part"));
    EXPECT_EQ(ReadFile(server.Home() + "/other.bck.part"), "another user's upload in progress");
}

TEST_F(WorkflowTest, StoredSizeThatDiffersIsAnUploadFailure) {
    LyingFtpServer server(1);
    ASSERT_TRUE(server.Running());
    UseServerPort(server.Port());

    auto events = Press(true);
    // The bytes went, but the server does not hold them all: no "transfer completed".
    EXPECT_EQ(events, (std::vector<std::string>{"status:인터넷 사용가능", "status:서버 접속 완료",
                                                "status:백업을 완료했습니다.", "status:파일을 올리는 중...",
                                                "status:Uploade speed *", "message:파일 올리기를 실패하였습니다.",
                                                "status:서버 단절"}));
    EXPECT_FALSE(completed);
}

TEST_F(WorkflowTest, MissingServerArchiveLeavesEverythingAsItWas) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    fs::create_directories(data + "/Backup");
    WriteFile(data + "/Backup/user.bck", "previous local archive");
    auto before = Snapshot(data);

    auto events = Press(false);
    EXPECT_EQ(events,
              (std::vector<std::string>{"ask", "status:인터넷 사용가능", "status:서버 접속 완료",
                                        "status:파일을 받는 중...", kDownloadFailed, "status:서버 단절"}));
    EXPECT_FALSE(completed);
    EXPECT_EQ(Snapshot(data), before);
}

TEST_F(WorkflowTest, ShortTransferKeepsThePreviousArchiveAndTheData) {
    LyingFtpServer server(100);
    ASSERT_TRUE(server.Running());
    UseServerPort(server.Port());
    WriteFile(server.Home() + "/user.bck", MakeArchive({{"Sale.DB", Compressible(300000, 2)}}));
    fs::create_directories(data + "/Backup");
    WriteFile(data + "/Backup/user.bck", "previous local archive");
    auto before = Snapshot(data);

    EXPECT_EQ(Press(false),
              (std::vector<std::string>{"ask", "status:인터넷 사용가능", "status:서버 접속 완료",
                                        "status:파일을 받는 중...", "status:Download speed *", kDownloadFailed,
                                        "status:서버 단절"}));
    EXPECT_FALSE(completed);
    EXPECT_EQ(Snapshot(data), before);
}

// Archives that fail their check, and a data folder that cannot be emptied: the restore fails
// before the data folder is touched.
struct RestoreRefusal {
    const char* name;
    void (*prepare)(WorkflowTest& test, std::string& serverArchive, const std::string& data,
                    TForm1Environment& environment);
    const char* componentError;    // the archive component's own report while restoring into staging, if any
    const char* notice = nullptr;  // which file stopped the restore and what to do, if one did
};

class RestoreRefusalTest : public WorkflowTest, public ::testing::WithParamInterface<RestoreRefusal> {};

TEST_P(RestoreRefusalTest, LeavesTheDataFolderByteForByte) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    std::string archive = MakeArchive({{"Sale.DB", Compressible(300000, 7)}, {"Item.DB", "new items"}});
    GetParam().prepare(*this, archive, data, environment);
    WriteFile(server.Home() + "/user.bck", archive);
    fs::create_directories(data + "/Backup");
    WriteFile(data + "/Backup/user.bck", "previous local archive");
    auto before = WithoutBackupFolder(Snapshot(data));

    std::vector<std::string> expected{"ask",
                                      "status:인터넷 사용가능",
                                      "status:서버 접속 완료",
                                      "status:파일을 받는 중...",
                                      "status:Download speed *",
                                      "status:전송을 완료했습니다."};
    if (GetParam().componentError) expected.push_back(std::string("error:") + GetParam().componentError);
    expected.push_back("status:복원에 실패하였습니다.");
    if (GetParam().notice) expected.push_back(std::string("message:") + GetParam().notice);
    expected.insert(expected.end(), {kRestoreFailed, "status:서버 단절"});
    EXPECT_EQ(Press(false), expected);
    EXPECT_FALSE(completed);
    EXPECT_EQ(WithoutBackupFolder(Snapshot(data)), before);
    // An archive that did not restore completely never replaces the previous local one.
    EXPECT_EQ(ReadFile(data + "/Backup/user.bck"), "previous local archive");
    for (const auto& e : fs::directory_iterator(data + "/Backup")) EXPECT_EQ(e.path().filename(), "user.bck");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RestoreRefusalTest,
    ::testing::Values(
        RestoreRefusal{
            "TruncatedArchive",
            [](WorkflowTest&, std::string& a, const std::string&, TForm1Environment&) { a.resize(a.size() * 2 / 3); },
            "Cannot read file"},
        RestoreRefusal{"FlippedByte",
                       [](WorkflowTest&, std::string& a, const std::string&, TForm1Environment&) {
                           a[a.size() / 2] = static_cast<char>(a[a.size() / 2] ^ 0x5A);
                       },
                       "Compression error"},
        RestoreRefusal{
            "ReadOnlyDataFile",
            [](WorkflowTest&, std::string&, const std::string& data, TForm1Environment&) {
                fs::permissions(FsPath(data + "/Item.PX"),
                                fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                                fs::perm_options::remove);
            },
            nullptr,
            "자료 파일 'Item.PX'이(가) 읽기 전용이어서 바꿀 수 없습니다. 파일 속성에서 읽기 전용을 해제한 뒤 "
            "다시 시도하십시오."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkflowTest, SymbolicLinksAreReplacedLikePlainFilesAndNothingOutsideIsTouched) {
    if (Separator() == '\\')
        GTEST_SKIP() << "making symbolic links on Windows takes a privilege the accounting program's users lack";
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    WriteFile(server.Home() + "/user.bck", MakeArchive({{"Sale.DB", "new sales"}}));
    const std::string outside = root / "outside";
    fs::create_directories(outside + "/folder");
    WriteFile(outside + "/folder/kept.txt", "outside folder");
    WriteFile(outside + "/file.DB", "outside file");
    fs::create_symlink(outside + "/nothing", data + "/Dangling.DB");
    fs::create_symlink(outside + "/folder", data + "/Folder.DB");
    fs::create_symlink(outside + "/file.DB", data + "/Sale.DB.link");
    fs::create_symlink(outside + "/folder", data + "/.hidden-link");
    const auto outsideBefore = Snapshot(outside);

    Press(false);
    EXPECT_TRUE(completed);
    std::vector<std::string> entries;
    for (const auto& e : fs::directory_iterator(FsPath(data)))
        if (PathText(e.path().filename())[0] != '.') entries.push_back(PathText(e.path().filename()));
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"Backup", "Sale.DB", "Sub", "ZipCode.txt"}));
    EXPECT_TRUE(fs::is_symlink(data + "/.hidden-link")) << "hidden entries stay";
    EXPECT_EQ(Snapshot(outside), outsideBefore);
}

TEST_F(WorkflowTest, FileHeldOpenByAnotherProgramStopsTheRestoreAndIsNamed) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    WriteFile(server.Home() + "/user.bck", MakeArchive({{"Sale.DB", "new sales"}}));
    // Another process with Item.PX open, as the accounting program keeps its tables (on Windows
    // without delete sharing: the file could be neither moved nor deleted).
    const auto before = WithoutBackupFolder(Snapshot(data));
    std::vector<std::string> events;
    {
        FileHolder holder(data + "/Item.PX");
        ASSERT_TRUE(holder.Holding());
        events = Press(false);
    }
    const std::string notice =
        "message:자료 파일 'Item.PX'을(를) 다른 프로그램이 사용하고 있습니다. 가온장부를 종료한 뒤 다시 시도하십시오.";
    auto at = std::find(events.begin(), events.end(), notice);
    ASSERT_NE(at, events.end()) << ::testing::PrintToString(events);
    EXPECT_EQ(*(at + 1), kRestoreFailed);
    EXPECT_FALSE(completed);
    EXPECT_EQ(WithoutBackupFolder(Snapshot(data)), before);
}

TEST_F(WorkflowTest, FolderWhereARestoredFileGoesIsNamed) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    UseServerPort(server.Port());
    WriteFile(server.Home() + "/user.bck", MakeArchive({{"Sale.DB", "new sales"}, {"New.DB", "new"}}));
    fs::create_directories(data + "/New.DB");
    const auto before = WithoutBackupFolder(Snapshot(data));
    auto events = Press(false);
    const std::string notice = "message:자료 폴더에 '" + ArchiveCase("New.DB") +
                               "' 폴더가 있어 같은 이름의 자료 파일을 복원할 수 없습니다. "
                               "그 폴더의 이름을 바꾸거나 다른 곳으로 옮긴 뒤 다시 시도하십시오.";
    auto at = std::find(events.begin(), events.end(), notice);
    ASSERT_NE(at, events.end()) << ::testing::PrintToString(events);
    EXPECT_EQ(*(at + 1), kRestoreFailed);
    EXPECT_EQ(WithoutBackupFolder(Snapshot(data)), before);
}

// Refusals before anything runs: no probe, no connection, one message.
TEST_F(WorkflowTest, UnusableUserIDsAreRefusedBeforeAnythingRuns) {
    for (const char* id : {"", ".", "..", "a/b", "a\\b", "a\r\nb", "tab\there"}) {
        for (bool upload : {true, false}) {
            EXPECT_EQ(Press(upload, id),
                      (std::vector<std::string>{
                          "message:사용자 아이디가 올바르지 않습니다. 아이디를 확인하고 다시 입력하십시오."}))
                << "id " << ::testing::PrintToString(std::string(id));
            EXPECT_FALSE(completed);
        }
    }
    EXPECT_FALSE(fs::exists(environment.SettingsFile));
}

TEST_F(WorkflowTest, MissingDataFolderIsRefusedBeforeAnythingRuns) {
    environment.DataFolderOverride.clear();  // and the registry has no value
    for (bool upload : {true, false})
        EXPECT_EQ(Press(upload), (std::vector<std::string>{"message:가온장부의 자료 폴더를 찾을 수 없습니다. "
                                                           "가온장부가 설치되어 있는지 확인하십시오."}));
}

TEST_F(WorkflowTest, PressOnADataFolderAnotherProgramWorksOnIsRefused) {
    TFolderLock other(data);
    ASSERT_TRUE(other.Held());
    for (bool upload : {true, false}) {
        EXPECT_EQ(Press(upload), (std::vector<std::string>{"message:다른 곳에서 자료 폴더를 사용하고 있습니다. "
                                                           "그 작업이 끝난 뒤에 다시 시도하십시오."}));
        EXPECT_FALSE(completed);
    }
    EXPECT_EQ(ReadFile(data + "/Sale.DB"), "old sales");
}

TEST_F(WorkflowTest, PressFirstSettlesTheSwapACrashLeft) {
    // Committed: the old files set aside, one new file still in staging.
    TSwapWorkArea area(data);
    TSwapJournal journal(data);
    ASSERT_TRUE(journal.Begin());
    fs::create_directories(area.Staging);
    fs::create_directories(area.SetAside);
    for (const char* name : {"Sale.DB", "Item.PX", "Other.bin"})
        fs::rename(data + "/" + name, area.SetAside + "/" + name);
    WriteFile(area.Staging + "/Sale.DB", "new sales");
    ASSERT_TRUE(journal.Write({TSwapPhase::MovingIn, {"Sale.DB"}}));
    UseServerPort(FreePort());  // nobody listens: the press ends at the connect
    EXPECT_EQ(Press(false),
              (std::vector<std::string>{"ask", "status:인터넷 사용가능", "message:서버 접속에 실패하였습니다."}));
    EXPECT_EQ(ReadFile(data + "/Sale.DB"), "new sales");
    EXPECT_FALSE(fs::exists(data + "/Item.PX"));
    EXPECT_FALSE(fs::exists(area.Root));
    EXPECT_EQ(ReadFile(data + "/.hidden"), "hidden stays");
}

TEST_F(WorkflowTest, PressOnAnUnsettledSwapIsRefusedAndTouchesNothing) {
    TSwapWorkArea area(data);
    fs::create_directories(area.SetAside);
    fs::rename(data + "/Sale.DB", area.SetAside + "/Sale.DB");
    WriteFile(area.Journal, "damaged");
    const auto before = Snapshot(data);
    for (bool upload : {true, false}) {
        std::vector<std::string> events = Press(upload);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].rfind("message:중단되었던 자료 복원을 정리하지 못했습니다.", 0), 0u) << events[0];
        EXPECT_FALSE(completed);
    }
    EXPECT_EQ(Snapshot(data), before) << "an upload must never pack a half-swapped folder";
}

}  // namespace
}  // namespace nb::test
