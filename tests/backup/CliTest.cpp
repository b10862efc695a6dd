// nestbridge-cli archive, run as the real program.
#include <filesystem>
#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "tests/backup/ArchiveBytes.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::CommandResult;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class ArchiveCli : public ::testing::Test {
protected:
    TempDir dir;
    CommandResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {test::CliPath(), "archive"});
        return test::RunCommand(args);
    }
    void SetUp() override {
        std::filesystem::create_directories(dir / "data/sub");
        WriteFile(dir / "data/Item.DB", "items");
        WriteFile(dir / "data/Sale.db", std::string(20000, 's'));
        // 깊은자료 ("deep data"): a Korean name goes through the stored form and back.
        WriteFile(dir / "data/sub/깊은자료.db", "deep");
    }
};

// Patterns that name nothing leave an archive that looks good: each is named, the exit status stays.
TEST_F(ArchiveCli, CreateNamesEachPatternThatMatchedNoFile) {
    const std::string folder = dir / "data", none = dir / "data/*.xyz", items = dir / "data/Item.*";
    auto created = Run({"create", dir / "a.bck", items, folder, none});
    EXPECT_EQ(created.ExitCode, 0) << created.Stderr;
    EXPECT_EQ(created.Stderr.find(items), std::string::npos) << created.Stderr;
    EXPECT_NE(created.Stderr.find("no file matches " + folder + " (a folder"), std::string::npos) << created.Stderr;
    EXPECT_NE(created.Stderr.find("no file matches " + none + "\n"), std::string::npos) << created.Stderr;

    auto help = Run({"--help"});
    EXPECT_NE(help.Stdout.find("Without TARGET every file is written back to the full path"), std::string::npos);
}

TEST_F(ArchiveCli, CreateListVerifyRestore) {
    auto created = Run({"create", "--title", "제목", "--level", "max", dir / "a.bck", dir / "data/*.db" + " /s"});
    ASSERT_EQ(created.ExitCode, 0) << created.Stderr;
    EXPECT_TRUE(created.Stderr.empty()) << "no bar when stderr is no terminal";

    auto listed = Run({"list", dir / "a.bck"});
    ASSERT_EQ(listed.ExitCode, 0) << listed.Stderr;
    std::string expected = "title: 제목\ntotal size: 20009\nfile count: 3\n";
    for (const auto& [name, size] : std::vector<std::pair<std::string, int>>{
             {dir / "data/sub/깊은자료.db", 4}, {dir / "data/Item.DB", 5}, {dir / "data/Sale.db", 20000}})
        expected += test::ArchiveCase(name) + "\t" + FormatDosStamp(FileAge(name)) + "\t" + std::to_string(size) + "\n";
    EXPECT_EQ(listed.Stdout, expected);

    auto verified = Run({"verify", dir / "a.bck"});
    EXPECT_EQ(verified.ExitCode, 0);
    EXPECT_EQ(verified.Stdout, "OK 3 entries, 20009 bytes\n");

    auto restored = Run({"restore", "--mode", "no-overwrite", "--quiet", dir / "a.bck", dir / "out"});
    ASSERT_EQ(restored.ExitCode, 0) << restored.Stderr;
    EXPECT_EQ(ReadFile(dir / "out/Sale.db"), std::string(20000, 's'));
    EXPECT_EQ(ReadFile(dir / "out/깊은자료.db"), "deep");

    auto full = Run({"restore", "--full-path", dir / "a.bck", dir / "full"});
    ASSERT_EQ(full.ExitCode, 0) << full.Stderr;
    std::string stored = dir / "data/sub/깊은자료.db";
    if (stored.size() > 1 && stored[1] == ':') stored.erase(0, 2);  // the drive is dropped
    EXPECT_EQ(ReadFile(dir / "full" + stored), "deep");
}

TEST_F(ArchiveCli, VolumesAreFollowedBothWays) {
    WriteFile(dir / "data/Random.db", test::RandomBytes(60000, 2));
    auto created = Run({"create", "--max-size", "30000", dir / "v.bck", dir / "data/Random.db"});
    ASSERT_EQ(created.ExitCode, 0) << created.Stderr;
    ASSERT_TRUE(FileExists(dir / "v.002"));
    auto restored = Run({"restore", dir / "v.bck", dir / "out"});
    ASSERT_EQ(restored.ExitCode, 0) << restored.Stderr;
    EXPECT_EQ(ReadFile(dir / "out/Random.db"), ReadFile(dir / "data/Random.db"));

    std::filesystem::remove(dir / "v.003");
    auto missing = Run({"restore", dir / "v.bck", dir / "out2"});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_NE(missing.Stderr.find(dir / "v.003"), std::string::npos) << missing.Stderr;
    auto verify = Run({"verify", dir / "v.bck"});
    EXPECT_EQ(verify.ExitCode, 1);
    EXPECT_NE(verify.Stderr.find("volume 3 is missing"), std::string::npos) << verify.Stderr;
    EXPECT_TRUE(verify.Stdout.empty());
}

TEST_F(ArchiveCli, FailuresInTheComponentsWords) {
    auto noFolder = Run({"create", dir / "missing/a.bck", dir / "data/*.db"});
    EXPECT_EQ(noFolder.ExitCode, 1);
    EXPECT_EQ(noFolder.Stderr, "Cannot write to archive\n");

    WriteFile(dir / "broken.bck", test::ArchiveBytes()
                                      .Header("", 1, 1)
                                      .Entry("c:\\a.db", 0)
                                      .Word(4)
                                      .Raw("zzzz")
                                      .EndSection()
                                      .EndArchive()
                                      .Bytes());
    auto broken = Run({"restore", dir / "broken.bck", dir / "out"});
    EXPECT_EQ(broken.ExitCode, 1);
    EXPECT_EQ(broken.Stderr, "Compression error\n");

    WriteFile(dir / "short.bck", "\x01");
    auto header = Run({"restore", dir / "short.bck"});
    EXPECT_EQ(header.ExitCode, 1);
    EXPECT_EQ(header.Stderr, "Cannot read archive\n");

    auto absent = Run({"restore", dir / "none.bck", dir / "out"});
    EXPECT_EQ(absent.ExitCode, 1);
    EXPECT_FALSE(absent.Stderr.empty());
    auto list = Run({"list", dir / "broken.bck"});
    EXPECT_EQ(list.ExitCode, 1);
    EXPECT_NE(list.Stderr.find("offset 31: Compression error"), std::string::npos) << list.Stderr;
}

TEST_F(ArchiveCli, UsageErrorsExit2) {
    std::vector<std::vector<std::string>> cases = {{},
                                                   {"unpack", "x"},
                                                   {"create", dir / "a.bck"},
                                                   {"create", "--level", "fast", dir / "a.bck", "p"},
                                                   {"create", "--max-size", "-1", dir / "a.bck", "p"},
                                                   {"create", "--max-size", dir / "a.bck", "p"},
                                                   {"create", "--bogus", dir / "a.bck", "p"},
                                                   {"restore"},
                                                   {"restore", "--mode", "some", "a.bck"},
                                                   {"restore", "a", "b", "c"},
                                                   {"list"},
                                                   {"verify", "a", "b"}};
    for (const auto& args : cases) {
        auto r = Run(args);
        EXPECT_EQ(r.ExitCode, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.Stderr.find("usage: nestbridge-cli archive"), std::string::npos);
    }
    auto help = Run({"create", "--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Stdout.find("--set-archive-flag"), std::string::npos);
}

}  // namespace
}  // namespace nb
