// A download onto storage that fails it: a full file system, a read-only data file, a data
// folder the user may not write, a missing "zipcode.bck". Each fails with the workflow's
// message and leaves the data folder as it was, with nothing left behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "tests/app/AppTestSupport.h"
#include "tests/faults/FaultSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

constexpr int CannotIsolate = 97;  // exit status of the wrappers below when the system refuses

// Mount namespaces, setpriv and chown are Linux programs; a Windows test cannot run them.
bool WithoutLinuxMeans() { return Separator() == '\\'; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The data folder without its local archive: a download that completed its transfer replaces it
// before the restore may fail.
std::map<std::string, std::string> DataSet(const std::string& folder) {
    auto snapshot = Snapshot(folder);
    snapshot.erase("Backup/user.bck");
    return snapshot;
}

class StorageFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (CliPath().empty()) GTEST_SKIP() << "NB_CLI not set";
        ASSERT_TRUE(server.Running()) << server.Error();
        fs::copy_file(FsPath(world.MakeNewArchive()), FsPath(server.Home() + "/user.bck"));
        world.UseServer(server.Port());
    }
    std::vector<std::string> DownloadArgs(const std::string& cli) const {
        return {cli,      "download",      "--user",           "user",   "--password",
                "secret", "--data-folder", world.DataFolder(), "--quiet", "--yes"};
    }
    void ExpectFailedAndUnchanged(const CommandResult& r, const std::map<std::string, std::string>& before,
                                  const std::string& folder) {
        EXPECT_EQ(r.ExitCode, 1) << r.Stdout << r.Stderr;
        EXPECT_TRUE(Contains(r.Stdout, "파일 받기에 실패하였습니다.") || Contains(r.Stdout, "복원에 실패하였습니다."))
            << r.Stdout;
        const auto after = DataSet(folder);
        EXPECT_EQ(after, before) << DescribeDifference(before, after);
    }

    PyFtpServer server;
    CliWorld world;
};

TEST_F(StorageFaultTest, FullFileSystemAtEveryStageLeavesTheDataFolder) {
    if (WithoutLinuxMeans()) GTEST_SKIP() << "a small tmpfs in a mount namespace is a Linux means";
    // A small tmpfs over the data folder, in a mount namespace of this test's own, filled so that
    // the download, the staged restore or the set-aside runs out of space.
    const std::string source = world.root / "old", out = world.root / "out";
    BuildFolder(source, CliWorld::OldSet());
    const auto before = DataSet(source);
    for (int freeKiB : {0, 8, 64, 150, 230, 300}) {
        SCOPED_TRACE(std::to_string(freeKiB) + " KiB free");
        fs::remove_all(out);
        fs::create_directories(out);
        const std::string script =
            "mount --make-rprivate / && mount -t tmpfs -o size=2m nbfull \"$1\" || exit 97\n"
            "cp -a \"$2\"/. \"$1\"/ || exit 98\n"
            "avail=$(df -k --output=avail \"$1\" | tail -n 1)\n"
            "dd if=/dev/zero of=\"$1/Reports/filler\" bs=1k count=$((avail - $4)) 2>/dev/null\n"
            "shift 4; \"$@\"; status=$?\n"
            "rm -f \"$DATA/Reports/filler\"; cp -a \"$DATA\"/. \"$OUT\"/; exit $status\n";
        std::vector<std::string> argv{
            "unshare", "-m", "sh", "-c", script, "sh", world.DataFolder(), source, out, std::to_string(freeKiB)};
        auto args = DownloadArgs(world.Program());
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = world.env;
        env.push_back("DATA=" + world.DataFolder());
        env.push_back("OUT=" + out);
        CommandResult r = RunCommand(argv, env);
        if (r.ExitCode == CannotIsolate || r.Stderr.find("unshare") != std::string::npos)
            GTEST_SKIP() << "cannot mount a small tmpfs in a mount namespace of our own: " << r.Stderr;
        if (r.ExitCode == 0) {
            // Enough room after all: then the swap must have completed.
            EXPECT_TRUE(fs::exists(out + "/New.DB")) << r.Stdout;
            continue;
        }
        ExpectFailedAndUnchanged(r, before, out);
        EXPECT_TRUE(Contains(r.Stderr, "폴더가 있는 디스크에 빈 공간이 부족합니다.")) << r.Stdout << r.Stderr;
        if (std::getenv("NB_FAULT_VERBOSE")) std::cout << freeKiB << " KiB free: " << r.Stdout << "\n";
    }
}

// The upload's archive run on storage that fails it: the previous local archive and the server's
// copy stay as they were, nothing is left behind, and stderr names what to mend.
class UploadStorageFaultTest : public StorageFaultTest {
protected:
    void SetUp() override {
        StorageFaultTest::SetUp();
        WriteFile(server.Home() + "/user.bck", "the server's copy");
    }
    std::vector<std::string> UploadArgs() const {
        return {world.Program(), "upload",        "--user",           "user",   "--password",
                "secret",        "--data-folder", world.DataFolder(), "--quiet", "--yes"};
    }
    // fixed: the window's own message, unchanged (the failure box, or the error box of an exception).
    void ExpectNothingReplaced(const CommandResult& r, const std::string& folder, const std::string& notice,
                               const std::string& fixed = "백업에 실패하였습니다.") {
        EXPECT_EQ(r.ExitCode, 1) << r.Stdout << r.Stderr;
        EXPECT_TRUE(Contains(r.Stdout, fixed)) << r.Stdout;
        EXPECT_TRUE(Contains(r.Stderr, notice)) << r.Stderr;
        EXPECT_FALSE(Contains(r.Stdout, notice)) << "the notice is the reason, on stderr";
        EXPECT_EQ(ReadFile(folder + "/Backup/user.bck"), "the previous local archive");
        for (const auto& e : fs::directory_iterator(folder + "/Backup")) EXPECT_EQ(e.path().filename(), "user.bck");
        EXPECT_EQ(ReadFile(server.Home() + "/user.bck"), "the server's copy");
    }
};

TEST_F(UploadStorageFaultTest, FullDiskKeepsThePreviousLocalArchive) {
    if (WithoutLinuxMeans()) GTEST_SKIP() << "a small tmpfs in a mount namespace is a Linux means";
    // A small tmpfs of the test's own mount namespace, too small for the archive of a big table.
    const std::string source = world.root / "old", out = world.root / "out";
    FolderContents contents = CliWorld::OldSet();
    contents["Purchase.DB"] = RandomBytes(1500000, 9);
    BuildFolder(source, contents);
    fs::create_directories(out);
    const std::string script =
        "mount --make-rprivate / && mount -t tmpfs -o size=2m nbfull \"$1\" || exit 97\n"
        "cp -a \"$2\"/. \"$1\"/ || exit 98\n"
        "shift 3; \"$@\"; status=$?\n"
        "cp -a \"$DATA\"/. \"$OUT\"/; exit $status\n";
    std::vector<std::string> argv{"unshare", "-m", "sh", "-c", script, "sh", world.DataFolder(), source, out};
    auto args = UploadArgs();
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = world.env;
    env.push_back("DATA=" + world.DataFolder());
    env.push_back("OUT=" + out);
    CommandResult r = RunCommand(argv, env);
    if (r.ExitCode == CannotIsolate || r.Stderr.find("unshare") != std::string::npos)
        GTEST_SKIP() << "cannot mount a small tmpfs in a mount namespace of our own: " << r.Stderr;
    ExpectNothingReplaced(r, out, "폴더가 있는 디스크에 빈 공간이 부족합니다.");
}

TEST_F(UploadStorageFaultTest, UnreadableTableIsNamedAndKeepsThePreviousLocalArchive) {
    if (WithoutLinuxMeans()) GTEST_SKIP() << "running as an unprivileged user through setpriv is a Linux means";
    // An unprivileged user who owns the data folder but may not read one table.
    const std::string nobody = "65534";
    fs::permissions(world.root.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(world.root / "config");
    for (const char* owned : {"config", "data"}) RunCommand({"chown", "-R", nobody + ":" + nobody, world.root / owned});
    RunCommand({"chown", "0:0", world.DataFolder() + "/Sale.DB"});
    fs::permissions(world.DataFolder() + "/Sale.DB", fs::perms::owner_read | fs::perms::owner_write);
    std::vector<std::string> argv{"setpriv",
                                  "--reuid=" + nobody,
                                  "--regid=" + nobody,
                                  "--clear-groups",
                                  "--inh-caps=+net_raw",
                                  "--ambient-caps=+net_raw",
                                  "--"};
    auto args = UploadArgs();
    argv.insert(argv.end(), args.begin(), args.end());
    CommandResult r = RunCommand(argv, world.env);
    if (r.ExitCode == 127 || Contains(r.Stderr, "setpriv"))
        GTEST_SKIP() << "cannot run as an unprivileged user: " << r.Stderr;
    ExpectNothingReplaced(r, world.DataFolder(), "자료 파일 'Sale.DB'을(를) 읽을 수 없습니다.",
                          "Cannot open file \"" + world.DataFolder() + "/Sale.DB\". Permission denied.");
}

TEST_F(StorageFaultTest, ReadOnlyDataFileStopsTheRestoreBeforeAnythingMoves) {
    fs::permissions(world.DataFolder() + "/Item.DB",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const auto before = DataSet(world.DataFolder());
    CommandResult r = RunCommand(DownloadArgs(world.Program()), world.env);
    ExpectFailedAndUnchanged(r, before, world.DataFolder());
    EXPECT_TRUE(Contains(r.Stdout, "복원에 실패하였습니다.")) << r.Stdout;
    EXPECT_TRUE(Contains(r.Stderr, "자료 파일 'Item.DB'이(가) 읽기 전용이어서 바꿀 수 없습니다.")) << r.Stderr;
}

TEST_F(StorageFaultTest, TableHeldOpenByTheAccountingProgramStopsTheRestoreBeforeAnythingMoves) {
    // On Windows held without delete sharing: the table could not even be set aside.
    const auto before = DataSet(world.DataFolder());
    CommandResult r;
    {
        FileHolder holder(world.DataFolder() + "/Sale.DB");
        ASSERT_TRUE(holder.Holding());
        r = RunCommand(DownloadArgs(world.Program()), world.env);
    }
    ExpectFailedAndUnchanged(r, before, world.DataFolder());
    EXPECT_TRUE(Contains(r.Stdout, "복원에 실패하였습니다.")) << r.Stdout;
    EXPECT_TRUE(Contains(r.Stderr, "자료 파일 'Sale.DB'을(를) 다른 프로그램이 사용하고 있습니다.")) << r.Stderr;
}

TEST_F(StorageFaultTest, DataFolderWithoutWritePermissionForTheUser) {
    if (WithoutLinuxMeans()) GTEST_SKIP() << "running as an unprivileged user through setpriv is a Linux means";
    // An unprivileged user who may write the Backup folder and the settings but not the data folder.
    const std::string nobody = "65534";
    fs::permissions(world.root.Path(), fs::perms::all, fs::perm_options::remove);
    fs::permissions(world.root.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
    for (const char* owned : {"config", "data/Backup"}) {
        fs::create_directories(world.root / owned);
        RunCommand({"chown", "-R", nobody + ":" + nobody, world.root / owned});
    }
    RunCommand({"chmod", "a+rX,a-w", world.DataFolder()});
    const auto before = DataSet(world.DataFolder());
    // CAP_NET_RAW alone, for the reachability probe; file permissions apply in full.
    std::vector<std::string> argv{"setpriv",
                                  "--reuid=" + nobody,
                                  "--regid=" + nobody,
                                  "--clear-groups",
                                  "--inh-caps=+net_raw",
                                  "--ambient-caps=+net_raw",
                                  "--"};
    auto args = DownloadArgs(world.Program());
    argv.insert(argv.end(), args.begin(), args.end());
    CommandResult r = RunCommand(argv, world.env);
    RunCommand({"chmod", "u+w", world.DataFolder()});
    if (r.ExitCode == 127 || Contains(r.Stderr, "setpriv"))
        GTEST_SKIP() << "cannot run as an unprivileged user: " << r.Stderr;
    ExpectFailedAndUnchanged(r, before, world.DataFolder());
    EXPECT_TRUE(Contains(r.Stdout, "복원에 실패하였습니다.")) << r.Stdout;
}

TEST_F(StorageFaultTest, MissingZipcodeArchiveIsNamedAndChangesNothing) {
    // A copy of the program with nothing beside it but, on Windows, where they live, its settings.
    const std::string lonely = world.root / ("lonely/" + PathText(FsPath(world.Program()).filename()));
    fs::create_directories(FsPath(world.root / "lonely"));
    fs::copy_file(FsPath(world.Program()), FsPath(lonely));
    if (FsPath(world.SettingsFile()).parent_path() == FsPath(world.Program()).parent_path())
        fs::copy_file(FsPath(world.SettingsFile()), FsPath(world.root / "lonely/FtpHost.ini"));
    if (fs::exists(std::string(NB_INSTALLED_ZIPCODE))) GTEST_SKIP() << "an installed zipcode.bck would be found";
    const auto before = DataSet(world.DataFolder());
    CommandResult r = RunCommand(DownloadArgs(lonely), world.env);
    EXPECT_EQ(r.ExitCode, 1) << r.Stdout << r.Stderr;
    EXPECT_TRUE(Contains(r.Stdout, "우편번호 자료 파일(")) << r.Stdout;
    EXPECT_FALSE(Contains(r.Stdout, "인터넷 사용가능")) << "refused before the probe: " << r.Stdout;
    EXPECT_EQ(DataSet(world.DataFolder()), before);
}

}  // namespace
}  // namespace nb::test
