// The real nestbridge-cli download killed (SIGKILL; TerminateProcess on Windows) at every step of the download and the
// swap in turn. The next start (here "nestbridge-cli --help", which does nothing else) must
// leave the data folder as exactly the old set or exactly the new one, with nothing left
// behind, and the next download must complete. Runs nestbridge-cli-hooks, whose crash points are live.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "tests/app/AppTestSupport.h"
#include "tests/faults/FaultSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> TraceLines(const std::string& path) {
    std::vector<std::string> lines;
    if (!PathExists(path)) return lines;  // a build without hooks writes none
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
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
    // The data folder without its local archive, which a download replaces before the swap.
    std::map<std::string, std::string> DataSet() const {
        auto snapshot = Snapshot(world.DataFolder());
        snapshot.erase("Backup/user.bck");
        return snapshot;
    }
    void KillAtEveryStep(const FolderContents& oldContents, bool swapFails);
    CommandResult Download(const std::vector<std::string>& extraEnv = {}) const {
        return world.Cli({"download", "--user", "user", "--password", "secret", "--quiet"}, extraEnv);
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
