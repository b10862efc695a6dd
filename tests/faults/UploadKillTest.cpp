// The real nestbridge-cli upload killed (SIGKILL; TerminateProcess on Windows) at points spread
// over its whole run, against a throttled pyftpdlib: the server must hold, under the user's
// archive name, the previous archive or the new complete one, byte for byte, after every kill;
// the next upload completes and removes what the dead one left; a download meanwhile gets a whole
// archive.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/app/AppTestSupport.h"
#include "tests/faults/FaultSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBytesPerSecond = 2000000;
constexpr int kKillPoints = 24;

class UploadKillTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (CliPath().empty()) GTEST_SKIP() << "NB_CLI not set";
        ASSERT_TRUE(server.Running()) << "throttled pyftpdlib did not start";
        previous = ReadFile(world.MakeNewArchive());
        world.UseServer(server.Port());
        // Incompressible, so that the transfer takes about three seconds of the run.
        WriteFile(world.DataFolder() + "/Purchase.DB", RandomBytes(6 << 20, 21));
    }
    std::string Archive() const { return server.Home() + "/user.bck"; }
    std::string Leftover() const { return server.Home() + "/user.bck.part"; }

    ThrottledFtpServer server{kBytesPerSecond};
    CliWorld world;
    std::string previous;
};

TEST_F(UploadKillTest, ServerHoldsAWholeArchiveAfterEveryKill) {
    // One clean run sets the span the kill points cover.
    WriteFile(Archive(), previous);
    const auto start = Clock::now();
    CommandResult clean = world.Upload();
    const auto span = Clock::now() - start;
    ASSERT_EQ(clean.ExitCode, 0) << clean.Stdout << clean.Stderr;

    int endedPrevious = 0, endedNew = 0, leftPartial = 0;
    for (int i = 0; i < kKillPoints; ++i) {
        SCOPED_TRACE("kill point " + std::to_string(i));
        WriteFile(Archive(), previous);
        auto upload = world.StartUpload();
        ASSERT_TRUE(upload->Started());
        std::this_thread::sleep_for(span * (i + 0.5) / kKillPoints);
        upload->Kill();
        ASSERT_TRUE(PathExists(Archive())) << "the server lost the user's archive";
        const std::string held = ReadFile(Archive());
        const bool isNew = held != previous && held == ReadFile(world.DataFolder() + "/Backup/user.bck");
        ASSERT_TRUE(held == previous || isNew) << "the server holds " << held.size() << " bytes of neither archive";
        ++(isNew ? endedNew : endedPrevious);
        if (PathExists(Leftover())) ++leftPartial;
    }
    RecordProperty("ended_previous", endedPrevious);
    RecordProperty("ended_new", endedNew);
    EXPECT_GE(leftPartial, kKillPoints / 4) << "too few kills fell inside the transfer";

    // A kill in the middle of the transfer, for certain.
    WriteFile(Archive(), previous);
    auto upload = world.StartUpload();
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline && (!PathExists(Leftover()) || fs::file_size(FsPath(Leftover())) < (2u << 20)))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    upload->Kill();
    ASSERT_TRUE(PathExists(Leftover()));
    EXPECT_EQ(ReadFile(Archive()), previous);

    // The download never sees the partial upload.
    CommandResult down = world.Download();
    EXPECT_EQ(down.ExitCode, 0) << down.Stdout << down.Stderr;
    EXPECT_EQ(ReadFile(world.DataFolder() + "/New.DB"), "only in the new set");

    CommandResult next = world.Upload();
    EXPECT_EQ(next.ExitCode, 0) << next.Stdout << next.Stderr;
    EXPECT_EQ(ReadFile(Archive()), ReadFile(world.DataFolder() + "/Backup/user.bck"));
    EXPECT_FALSE(PathExists(Leftover())) << "the next upload removes what the dead one left";
}

}  // namespace
}  // namespace nb::test
