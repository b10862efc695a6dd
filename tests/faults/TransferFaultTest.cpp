// Transfers that break half-way against a server the test controls: every one fails with the
// workflow's own message and leaves the data folder as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/app/AppTestSupport.h"
#include "tests/faults/FaultSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Everything but the local archive, which an upload rewrites by design.
std::map<std::string, std::string> WithoutLocalArchive(std::map<std::string, std::string> snapshot) {
    snapshot.erase("Backup/user.bck");
    return snapshot;
}

class CliFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (CliPath().empty()) GTEST_SKIP() << "NB_CLI not set";
    }
    CliWorld world;
};

class TransferFaultTest : public CliFaultTest, public ::testing::WithParamInterface<const char*> {};

class DownloadFault : public TransferFaultTest {};
class UploadFault : public TransferFaultTest {};

TEST_P(DownloadFault, FailsWithTheDownloadMessageAndLeavesTheDataFolder) {
    ScriptedFtpServer server(GetParam(), world.MakeNewArchive());
    ASSERT_TRUE(server.Running());
    world.UseServer(server.Port());
    const auto before = Snapshot(world.DataFolder());
    CommandResult r = world.Download();
    EXPECT_EQ(r.ExitCode, 1) << r.Stdout << r.Stderr;
    EXPECT_TRUE(Contains(r.Stdout, "파일 받기에 실패하였습니다.\n")) << r.Stdout;
    EXPECT_FALSE(Contains(r.Stdout, "복원")) << "no restore may follow a failed download:\n" << r.Stdout;
    const auto after = Snapshot(world.DataFolder());
    EXPECT_EQ(after, before) << DescribeDifference(before, after);
}

INSTANTIATE_TEST_SUITE_P(Faults, DownloadFault,
                         ::testing::Values("download-cut", "download-abort", "download-reset", "download-stall",
                                           "no-data-connection", "silent"));

// What the server holds under the user's names: the archive, and anything beside it.
std::map<std::string, std::string> ServerCopies(const std::string& home) {
    std::map<std::string, std::string> copies;
    for (const char* name : {"user.bck", "user.bck.part", "user.bck.old"})
        if (PathExists(home + "/" + name)) copies[name] = ReadFile(home + "/" + name);
    return copies;
}

TEST_P(UploadFault, SaysTheUploadFailedAndLeavesTheDataFolderAndTheServerCopy) {
    const std::string previous = world.MakeNewArchive();
    ScriptedFtpServer server(GetParam(), previous);
    ASSERT_TRUE(server.Running());
    world.UseServer(server.Port());
    // Big enough that the server's early close meets data still being sent; for a server that
    // stops reading, more than both ends' socket buffers hold.
    const bool stopsReading = std::string(GetParam()) == "upload-stop-reading";
    WriteFile(world.DataFolder() + "/Purchase.DB", RandomBytes(stopsReading ? 24 << 20 : 3 << 20, 5));
    const auto before = WithoutLocalArchive(Snapshot(world.DataFolder()));
    const std::string previousBytes = ReadFile(previous);
    CommandResult r = world.Upload();
    EXPECT_EQ(r.ExitCode, 1) << r.Stdout << r.Stderr;
    EXPECT_TRUE(Contains(r.Stdout, "파일 올리기를 실패하였습니다.\n")) << r.Stdout;
    EXPECT_FALSE(Contains(r.Stdout, "모든 작업을 정상적으로 완료하였습니다.")) << r.Stdout;
    const auto after = WithoutLocalArchive(Snapshot(world.DataFolder()));
    EXPECT_EQ(after, before) << DescribeDifference(before, after);
    const auto copies = ServerCopies(PathText(FsPath(previous).parent_path()));
    ASSERT_TRUE(copies.count("user.bck"));
    EXPECT_TRUE(copies.at("user.bck") == previousBytes) << "the server's previous copy changed";
    EXPECT_FALSE(copies.count("user.bck.old"));
}

INSTANTIATE_TEST_SUITE_P(Faults, UploadFault,
                         ::testing::Values("upload-cut", "upload-reset", "upload-stall", "upload-stop-reading",
                                           "upload-short", "no-data-connection", "rnto-refused", "silent"));

// Servers that cannot connect back, refuse PORT, or rename only in their own way or not at all
// (RNFR of the existing archive refused: the archive is stored once, under its own name): the
// upload still completes, and the server ends up holding the new archive under the user's name
// alone.
class UploadCompletes : public TransferFaultTest {};

TEST_P(UploadCompletes, WithTheNewArchiveAloneOnTheServer) {
    const std::string previous = world.MakeNewArchive();
    ScriptedFtpServer server(GetParam(), previous);
    ASSERT_TRUE(server.Running());
    world.UseServer(server.Port());
    CommandResult r = world.Upload();
    EXPECT_EQ(r.ExitCode, 0) << r.Stdout << r.Stderr;
    EXPECT_TRUE(Contains(r.Stdout, "모든 작업을 정상적으로 완료하였습니다.")) << r.Stdout;
    const auto copies = ServerCopies(PathText(FsPath(previous).parent_path()));
    EXPECT_EQ(copies,
              (std::map<std::string, std::string>{{"user.bck", ReadFile(world.DataFolder() + "/Backup/user.bck")}}));
}

INSTANTIATE_TEST_SUITE_P(Servers, UploadCompletes,
                         ::testing::Values("none", "port-refused", "no-connect-back", "renames-unsupported",
                                           "rnto-no-overwrite", "rnfr-refused"));

class DownloadCompletes : public TransferFaultTest {};

TEST_P(DownloadCompletes, OverAPassiveDataConnection) {
    ScriptedFtpServer server(GetParam(), world.MakeNewArchive());
    ASSERT_TRUE(server.Running());
    world.UseServer(server.Port());
    CommandResult r = world.Download();
    EXPECT_EQ(r.ExitCode, 0) << r.Stdout << r.Stderr;
    EXPECT_EQ(ReadFile(world.DataFolder() + "/New.DB"), "only in the new set");
}

INSTANTIATE_TEST_SUITE_P(Servers, DownloadCompletes, ::testing::Values("port-refused", "no-connect-back"));

// What a dead upload left on a server without rename onto existing names: a previous copy
// moved aside comes back where the archive is missing, and goes where a newer one stands.
struct LeftoverCase {
    const char* name;
    const char* fault;
    bool archiveMissing;
    bool uploadCompletes;
};

class UploadLeftovers : public CliFaultTest, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(UploadLeftovers, AreSettledBeforeTheUpload) {
    const auto& c = GetParam();
    const std::string previous = world.MakeNewArchive();
    const std::string home = PathText(FsPath(previous).parent_path());
    const std::string previousBytes = ReadFile(previous);
    fs::rename(previous, home + "/user.bck.old");
    if (!c.archiveMissing) WriteFile(previous, "a newer archive");
    WriteFile(home + "/user.bck.part", "half an upload");
    ScriptedFtpServer server(c.fault, previous);
    ASSERT_TRUE(server.Running());
    world.UseServer(server.Port());
    CommandResult r = world.Upload();
    EXPECT_EQ(r.ExitCode, c.uploadCompletes ? 0 : 1) << r.Stdout << r.Stderr;
    const std::string expected = c.uploadCompletes ? ReadFile(world.DataFolder() + "/Backup/user.bck") : previousBytes;
    EXPECT_EQ(ServerCopies(home), (std::map<std::string, std::string>{{"user.bck", expected}}));
}

INSTANTIATE_TEST_SUITE_P(Cases, UploadLeftovers,
                         ::testing::Values(LeftoverCase{"aside_copy_restored", "upload-short", true, false},
                                           LeftoverCase{"aside_copy_removed", "rnto-no-overwrite", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferFaultTest, TheScriptedServerItselfServesAWholeDownload) {
    ScriptedFtpServer server("none", world.MakeNewArchive());
    ASSERT_TRUE(server.Running());
    world.UseServer(server.Port());
    CommandResult r = world.Download();
    EXPECT_EQ(r.ExitCode, 0) << r.Stdout << r.Stderr;
    EXPECT_EQ(ReadFile(world.DataFolder() + "/New.DB"), "only in the new set");
}

}  // namespace
}  // namespace nb::test
