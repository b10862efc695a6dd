// The real nestbridge-cli download killed (SIGKILL; TerminateProcess on Windows) at every step of the download and the
// swap in turn. The next start (here "nestbridge-cli --help", which does nothing else) must
// leave the data folder as exactly the old set or exactly the new one, with nothing left
// behind, and the next download must complete. Runs nestbridge-cli-hooks, whose crash points are live.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "backup/backup.h"
#include "tests/app/AppTestSupport.h"
#include "tests/faults/FaultSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> TraceLines(const std::string& path) {
    std::vector<std::string> lines;
    if (!PathExists(path)) return lines;  // a build without hooks writes none
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // written as text on Windows
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

class CrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (CliPath().empty()) GTEST_SKIP() << "NB_CLI not set";
        ASSERT_TRUE(server.Running()) << server.Error();
        fs::copy_file(FsPath(world.MakeNewArchive()), FsPath(server.Home() + "/user.bck"));
        world.UseServer(server.Port());
        world.RegisterDataFolder();
        oldLocalArchive = ReadFile(world.DataFolder() + "/Backup/user.bck");
        newLocalArchive = ReadFile(server.Home() + "/user.bck");
    }
    // The data folder without the Backup folder, where a download replaces the local archive
    // before the swap and keeps the tables it replaces (titled with the time it ran).
    std::map<std::string, std::string> DataSet() const {
        auto snapshot = Snapshot(world.DataFolder());
        for (auto it = snapshot.begin(); it != snapshot.end();)
            it = it->first.rfind("Backup/", 0) == 0 ? snapshot.erase(it) : ++it;
        return snapshot;
    }
    void KillAtEveryStep(const FolderContents& oldContents, bool swapFails);
    CommandResult Download(const std::vector<std::string>& extraEnv = {}) const {
        return world.Cli({"download", "--user", "user", "--password", "secret", "--quiet", "--yes"}, extraEnv);
    }

    PyFtpServer server;
    CliWorld world;
    std::string oldLocalArchive, newLocalArchive;
};

// Kills a download of the data folder holding oldContents at every step a clean run passes.
// swapFails: the swap cannot complete there (it rolls back), so every run must end old.
void CrashTest::KillAtEveryStep(const FolderContents& oldContents, bool swapFails) {
    BuildFolder(world.DataFolder(), oldContents);
    // One clean run names every step it passes.
    const std::string trace = world.root / "trace";
    fs::remove(FsPath(trace));
    const auto oldSet = DataSet();
    CommandResult clean = Download({"NB_CRASH_TRACE=" + trace});
    ASSERT_EQ(clean.ExitCode, swapFails ? 1 : 0) << clean.Stdout << clean.Stderr;
    const auto newSet = DataSet();
    ASSERT_EQ(newSet == oldSet, swapFails);
    const std::vector<std::string> points = TraceLines(trace);
    if (points.empty()) GTEST_FAIL() << CliPath() << " passed no crash point: it is not the build with live crash points";
    // The archive arrives on a thread of its own while it restores: the press passes no step of
    // its own meanwhile, so that no kill finds a thread waiting on the network (Wine then fails
    // to end the process); only the transfer's thread passes its chunks.
    const auto restoring = std::find(points.begin(), points.end(), "swap.RestoreIntoStaging#1");
    const auto received = std::find(points.begin(), points.end(), "download.received#1");
    ASSERT_LT(restoring, received);
    for (auto point = restoring + 1; point != received; ++point)
        EXPECT_EQ(point->rfind("download.chunk#", 0), 0u) << *point;
    if (std::getenv("NB_CRASH_LIST"))
        fs::copy_file(FsPath(trace), FsPath(LocalPath(std::getenv("NB_CRASH_LIST"))),
                      fs::copy_options::overwrite_existing);

    // After the crash, a first recovery is itself killed part-way where it has work to do.
    const char* const recoveryCuts[] = {"recover.move-in#2", "recover.put-back#2", "recover.take-back#1",
                                        "journal.setaside-removed#1"};
    std::set<std::string> crashed;
    int endedOld = 0, endedNew = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const std::string& point = points[i];
        SCOPED_TRACE("killed at " + point);
        BuildFolder(world.DataFolder(), oldContents);
        CommandResult killed = Download({"NB_CRASH_AT=" + point});
        if (killed.ExitCode != KilledExitCode()) {
            // A per-chunk step can be passed fewer times than in the traced run.
            EXPECT_EQ(killed.ExitCode, swapFails ? 1 : 0) << killed.Stdout << killed.Stderr;
            continue;
        }
        crashed.insert(point);

        world.Cli({"--help"}, {std::string("NB_CRASH_AT=") + recoveryCuts[i % std::size(recoveryCuts)]});
        CommandResult start = world.Cli({"--help"});
        EXPECT_EQ(start.ExitCode, 0) << start.Stderr;
        const auto recovered = DataSet();
        const bool isOld = recovered == oldSet, isNew = recovered == newSet;
        EXPECT_TRUE(isOld || isNew) << "old: " << DescribeDifference(oldSet, recovered)
                                    << "\nnew: " << DescribeDifference(newSet, recovered);
        endedOld += isOld;
        endedNew += isNew && !isOld;
        const std::string local = ReadFile(world.DataFolder() + "/Backup/user.bck");
        EXPECT_TRUE(local == oldLocalArchive || local == newLocalArchive) << "the local archive is torn";

        CommandResult next = Download();
        EXPECT_EQ(next.ExitCode, swapFails ? 1 : 0) << next.Stdout << next.Stderr;
        const auto after = DataSet();
        EXPECT_EQ(after, newSet) << DescribeDifference(newSet, after);
        if (HasFatalFailure()) return;
    }
    std::cout << "[ crashes  ] " << crashed.size() << " steps killed: " << endedOld << " ended old, " << endedNew
              << " ended new\n";
    EXPECT_GE(crashed.size(), swapFails ? 20u : 50u) << "too few distinct crash points were reached";
    EXPECT_GT(endedOld, 0);
    if (!swapFails) {
        EXPECT_GT(endedNew, 0);
    }
}

TEST_F(CrashTest, EveryStepKilledEndsOldOrNewAndTheNextDownloadCompletes) {
    KillAtEveryStep(CliWorld::OldSet(), false);
}

TEST_F(CrashTest, EveryStepOfASwapThatRollsBackEndsOld) {
    // A folder where a restored file must go makes the swap fail after its commit and roll back.
    FolderContents old = CliWorld::OldSet();
    old["New.DB"] = "<dir>";
    old["New.DB/inside"] = "a folder's file";
    KillAtEveryStep(old, true);
}

// An upload killed at every step of keeping the previous copies: the archive's name always holds
// a complete archive (but for the moment between its last two renames, when the copy before it
// already stands as ".1"), and the next upload repairs the rest, keeping the copy that was there.
TEST_F(CrashTest, EveryStepOfTheRotationKilledLeavesAWholeArchiveAndTheNextUploadRepairs) {
    const std::string home = server.Home();
    const std::string a = ReadFile(home + "/user.bck");
    // Two older copies made by the program itself, so that each one verifies.
    const std::string b = world.root / "b.bck", c = world.root / "c.bck";
    world.Cli({"archive", "create", b, world.DataFolder() + Separator() + "Sale.*"});
    world.Cli({"archive", "create", c, world.DataFolder() + Separator() + "Item.*"});
    auto reset = [&] {
        WriteFile(home + "/user.bck", a);
        WriteFile(home + "/user.bck.1", ReadFile(b));
        WriteFile(home + "/user.bck.2", ReadFile(c));
        fs::remove(FsPath(home + "/user.bck.part"));
    };
    auto whole = [&](const std::string& name) { return PathExists(home + "/" + name) && VerifyArchive(home + "/" + name).Ok; };

    reset();
    const std::string trace = world.root / "upload-trace";
    CommandResult clean = world.Upload({"NB_CRASH_TRACE=" + trace});
    ASSERT_EQ(clean.ExitCode, 0) << clean.Stdout << clean.Stderr;
    std::vector<std::string> points;
    for (const auto& point : TraceLines(trace))
        if (point.rfind("upload.", 0) == 0 && point.rfind("upload.chunk", 0) != 0) points.push_back(point);
    ASSERT_GE(points.size(), 5u) << "too few steps of the rotation were passed";
    for (const auto& point : points) {
        SCOPED_TRACE("killed at " + point);
        reset();
        CommandResult killed = world.Upload({"NB_CRASH_AT=" + point});
        ASSERT_EQ(killed.ExitCode, KilledExitCode()) << killed.Stdout << killed.Stderr;
        if (point.rfind("upload.rotate-kept", 0) == 0)
            EXPECT_TRUE(whole("user.bck.1")) << "the copy that was the archive";
        else
            EXPECT_TRUE(whole("user.bck"));
        CommandResult next = world.Upload();
        ASSERT_EQ(next.ExitCode, 0) << next.Stdout << next.Stderr;
        EXPECT_EQ(ReadFile(home + "/user.bck"), ReadFile(world.DataFolder() + "/Backup/user.bck"));
        EXPECT_TRUE(whole("user.bck.1") && whole("user.bck.2"));
        EXPECT_TRUE(ReadFile(home + "/user.bck.1") == a || ReadFile(home + "/user.bck.2") == a)
            << "the copy that was the archive before the killed upload is kept";
        EXPECT_FALSE(PathExists(home + "/user.bck.part"));
        EXPECT_FALSE(PathExists(home + "/user.bck.3"));
    }
}

TEST_F(CrashTest, TheShippedProgramPassesNoCrashPoint) {
    // nestbridge-cli-hooks lies beside the shipped nestbridge-cli it is built from.
    std::string shipped = CliPath();
    shipped.replace(shipped.find("nestbridge-cli-hooks"), std::string("nestbridge-cli-hooks").size(), "nestbridge-cli");
    CliWorld computer(shipped);
    computer.UseServer(server.Port());
    const std::string trace = computer.root / "trace";
    CommandResult run = computer.Download({"NB_CRASH_AT=press.recovered", "NB_CRASH_TRACE=" + trace});
    EXPECT_EQ(run.ExitCode, 0) << run.Stdout << run.Stderr;
    EXPECT_FALSE(PathExists(trace));
}

}  // namespace
}  // namespace nb::test
