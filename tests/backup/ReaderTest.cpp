// Restore: round trips, the restore rules, target paths, volumes, cancelling and every error path.
#include <climits>
#include <filesystem>
#include <map>
#include <gtest/gtest.h>

#include "backup/backup.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "tests/backup/ArchiveBytes.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::ArchiveBytes;
using test::ReadFile;
using test::RestoreBytes;
using test::TempDir;
using test::WriteFile;

// 2020-06-15 10:20:30 and a day later, as MS-DOS stamps.
constexpr int32_t kStamp =
    static_cast<int32_t>((40u << 25) | (6u << 21) | (15u << 16) | (10u << 11) | (20u << 5) | 15u);
constexpr int32_t kLater = kStamp + (1 << 16);
constexpr int32_t kEarlier = kStamp - (1 << 16);

class ReaderTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string target = dir / "target";
    // rel below the target, with '/' as the system's separator.
    std::string In(const std::string& rel) const { return dir / ("target/" + rel); }
    TBackupFile archive;
    test::RunLog log;
    void SetUp() override {
        log.Attach(archive);
        std::filesystem::create_directory(target);
    }
    void Stamp(const std::string& path, int32_t stamp) {
        TFileStream file(path, fmOpenWrite);
        ASSERT_TRUE(FileSetDate(file, stamp));
    }
    static std::string OneFile(const std::string& name, const std::string& content, int32_t stamp = kStamp) {
        return ArchiveBytes()
            .Header("title", static_cast<int32_t>(content.size()), 1)
            .Entry(name, stamp)
            .Compressed(content)
            .EndSection()
            .EndArchive()
            .Bytes();
    }
};

TEST_F(ReaderTest, RoundTripKeepsBytesStampsAndNames) {
    std::filesystem::create_directory(dir / "src");
    std::map<std::string, std::string> files = {{"Empty.DB", ""},
                                                {"Cut.db", std::string(16385, 'c')},
                                                {"Random.bin", test::RandomBytes(50000, 9)},
                                                {"한글.db", "korean name"}};
    for (const auto& [name, content] : files) {
        WriteFile(dir / "src/" + name, content);
        Stamp(dir / "src/" + name, kStamp);
    }
    ASSERT_TRUE(archive.Backup({dir / "src/*.*"}, dir / "a.bck"));
    ASSERT_TRUE(archive.Restore(dir / "a.bck", target));
    EXPECT_EQ(archive.FilesProcessed(), 4);
    EXPECT_EQ(archive.FileCount(), 4);
    for (const auto& [name, content] : files) {
        EXPECT_EQ(ReadFile(In(name)), content) << name;
        EXPECT_EQ(FileAge(In(name)), kStamp) << name;
    }
    EXPECT_EQ(log.Percents.back(), 100);
    EXPECT_TRUE(log.Errors.empty());
}

struct RuleCase {
    TRestoreMode mode;
    bool missing, older, equal, newer;  // whether each situation gets written
};
class RestoreRules : public ReaderTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(RestoreRules, DecideByExistenceAndStamp) {
    const RuleCase& c = GetParam();
    archive.RestoreMode = c.mode;
    struct {
        const char* name;
        int32_t existingStamp;  // 0: no file there
        bool expected;
    } situations[] = {{"missing", 0, c.missing},
                      {"older", kEarlier, c.older},
                      {"equal", kStamp, c.equal},
                      {"newer", kLater, c.newer}};
    for (const auto& s : situations) {
        std::string path = In(s.name);
        if (s.existingStamp != 0) {
            WriteFile(path, "existing");
            Stamp(path, s.existingStamp);
        }
        ASSERT_TRUE(RestoreBytes(archive, OneFile(std::string("c:\\data\\") + s.name, "restored"), target));
        bool written = FileExists(path) && ReadFile(path) == "restored";
        EXPECT_EQ(written, s.expected) << s.name << " mode " << int(c.mode);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RestoreRules,
                         ::testing::Values(RuleCase{rmAll, true, true, true, true},
                                           RuleCase{rmNoOverwrite, true, false, false, false},
                                           RuleCase{rmNewer, true, true, false, false},
                                           RuleCase{rmExisting, false, true, true, true},
                                           RuleCase{rmExistingNewer, false, true, false, false}));

struct PathCase {
    const char* stored;
    bool fullPath;
    const char* expected;  // below the target folder
};
class TargetPaths : public ReaderTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(TargetPaths, FormedFromTheStoredName) {
    archive.RestoreFullPath = GetParam().fullPath;
    for (const std::string& folder : {target, target + test::Separator()}) {
        std::vector<std::string> seen;
        archive.OnRestoreFile = [&](TBackupFile&, std::string& file, int32_t, bool&) { seen.push_back(file); };
        ASSERT_TRUE(RestoreBytes(archive, OneFile(GetParam().stored, "x"), folder));
        EXPECT_EQ(seen, std::vector<std::string>{In(GetParam().expected)});
        EXPECT_EQ(ReadFile(In(GetParam().expected)), "x");
        EXPECT_EQ(archive.CurrentFile(), In(GetParam().expected));
    }
}

INSTANTIATE_TEST_SUITE_P(Names, TargetPaths,
                         ::testing::Values(PathCase{"c:\\data\\item.db", false, "item.db"},
                                           PathCase{"c:\\data\\item.db", true, "data/item.db"},
                                           PathCase{"/home/u/Data/Item.DB", false, "Item.DB"},
                                           PathCase{"/home/u/Data/Item.DB", true, "home/u/Data/Item.DB"},
                                           PathCase{"\\\\server\\share\\x.db", true, "server/share/x.db"},
                                           PathCase{"d:name.db", false, "name.db"}));

TEST_F(ReaderTest, EmptyTargetUsesTheStoredName) {
    std::string where = dir / "elsewhere/file.db";
    ASSERT_TRUE(RestoreBytes(archive, OneFile(where, "abs"), ""));
    EXPECT_EQ(ReadFile(where), "abs");
}

TEST_F(ReaderTest, FileListIsNeverWritten) {
    std::vector<std::string> asked;
    archive.OnRestoreFile = [&](TBackupFile&, std::string& file, int32_t, bool&) { asked.push_back(file); };
    std::string bytes = ArchiveBytes()
                            .Header("", 10, 1)
                            .Entry("FILE:LIST", kStamp)
                            .Compressed("list")
                            .EndSection()
                            .Entry("c:\\a.db", kStamp)
                            .Stored("stored")
                            .EndSection()
                            .EndArchive()
                            .Bytes();
    ASSERT_TRUE(RestoreBytes(archive, bytes, target));
    EXPECT_EQ(asked, std::vector<std::string>{In("a.db")});
    EXPECT_FALSE(FileExists(In("FILE:LIST")));
    EXPECT_FALSE(FileExists(In("LIST")));
    EXPECT_EQ(ReadFile(In("a.db")), "stored");
    EXPECT_EQ(archive.FilesProcessed(), 1);
}

TEST_F(ReaderTest, HandlerRedirectsOrRefuses) {
    archive.OnRestoreFile = [&](TBackupFile&, std::string& file, int32_t fa, bool& doRestore) {
        EXPECT_EQ(fa, kStamp);
        if (file.find("keep") != std::string::npos)
            file = dir / "moved/deep/kept.db";
        else
            doRestore = false;
    };
    std::string bytes = ArchiveBytes()
                            .Header("", 2, 2)
                            .Entry("c:\\keep.db", kStamp)
                            .Compressed("k")
                            .EndSection()
                            .Entry("c:\\drop.db", kStamp)
                            .Compressed("d")
                            .EndSection()
                            .EndArchive()
                            .Bytes();
    ASSERT_TRUE(RestoreBytes(archive, bytes, target));
    EXPECT_EQ(ReadFile(dir / "moved/deep/kept.db"), "k");
    EXPECT_FALSE(FileExists(In("drop.db")));
    EXPECT_FALSE(FileExists(In("keep.db")));
}

TEST_F(ReaderTest, SpanningFileIsAppendedFromTheNextVolume) {
    std::string big = test::RandomBytes(60000, 5);
    WriteFile(dir / "big.bin", big);
    WriteFile(dir / "after.db", "after");
    archive.MaxSize = 40000;
    archive.OnNeedDisk = [](TBackupFile&, uint16_t, bool&) {};
    ASSERT_TRUE(archive.Backup({dir / "big.bin", dir / "after.db"}, dir / "v.bck"));
    ASSERT_TRUE(FileExists(dir / "v.002"));

    std::vector<int> disks;
    int restored = 0;
    archive.OnNeedDisk = [&](TBackupFile&, uint16_t disk, bool&) { disks.push_back(disk); };
    archive.OnFileRestored = [&](TBackupFile&, std::string& file, TStream*& stream) {
        if (file == In("big.bin")) ++restored;
        EXPECT_NE(stream, nullptr);
    };
    ASSERT_TRUE(archive.Restore(dir / "v.bck", target));
    EXPECT_EQ(disks, (std::vector<int>{2, 3})) << "after.db begins on volume 2 and is cut before its block";
    EXPECT_EQ(restored, 2) << "stamped and reported once per section";
    EXPECT_EQ(ReadFile(In("big.bin")), big);
    EXPECT_EQ(ReadFile(In("after.db")), "after");
    EXPECT_EQ(archive.FilesProcessed(), 2);
}

TEST_F(ReaderTest, MissingVolumeStopsWithoutErrorReport) {
    WriteFile(dir / "big.bin", test::RandomBytes(60000, 6));
    archive.MaxSize = 40000;
    archive.OnNeedDisk = [](TBackupFile&, uint16_t, bool&) {};
    ASSERT_TRUE(archive.Backup({dir / "big.bin"}, dir / "v.bck"));
    std::filesystem::remove(dir / "v.002");
    log.Percents.clear();
    archive.OnNeedDisk = [](TBackupFile&, uint16_t, bool& goOn) { goOn = false; };
    EXPECT_FALSE(archive.Restore(dir / "v.bck", target));
    EXPECT_TRUE(log.Errors.empty());
    EXPECT_EQ(log.Percents.back(), 100);
    EXPECT_FALSE(archive.Busy());
}

TEST_F(ReaderTest, ProgressCancelKeepsThePartialFileStamped) {
    std::string bytes = ArchiveBytes()
                            .Header("", 40000, 2)
                            .Entry("c:\\a.db", kStamp)
                            .Compressed(std::string(16384, 'a'))
                            .Compressed("tail")
                            .EndSection()
                            .Entry("c:\\b.db", kStamp)
                            .Compressed("b")
                            .EndSection()
                            .EndArchive()
                            .Bytes();
    archive.OnProgress = [](TBackupFile&, std::string file, TPercentage, bool& goOn) {
        if (!file.empty()) goOn = false;
    };
    EXPECT_FALSE(RestoreBytes(archive, bytes, target));
    EXPECT_EQ(ReadFile(In("a.db")), std::string(16384, 'a'));
    EXPECT_EQ(FileAge(In("a.db")), kStamp);
    EXPECT_FALSE(FileExists(In("b.db")));
    EXPECT_TRUE(log.Errors.empty());
}

TEST_F(ReaderTest, EmptyArchiveAndPercentRules) {
    ASSERT_TRUE(RestoreBytes(archive, ArchiveBytes().Header("", 0, 0).EndArchive().Bytes(), target));
    EXPECT_EQ(log.Percents, std::vector<int>{100});
    EXPECT_EQ(archive.FilesProcessed(), 0);

    log.Percents.clear();
    std::string bytes = ArchiveBytes()
                            .Header("", 8, 2)
                            .Entry("c:\\one.db", kStamp)
                            .Stored("1")
                            .EndSection()
                            .Entry("c:\\two.db", kStamp)
                            .Stored("22")
                            .EndSection()
                            .EndArchive()
                            .Bytes();
    ASSERT_TRUE(RestoreBytes(archive, bytes, target));
    EXPECT_EQ(log.Percents, (std::vector<int>{12, 12, 38, 38, 100})) << "halves go to even";

    log.Percents.clear();
    std::string zeroTotal =
        ArchiveBytes().Header("", 0, 1).Entry("c:\\e.db", kStamp).Stored("x").EndSection().EndArchive().Bytes();
    ASSERT_TRUE(RestoreBytes(archive, zeroTotal, target));
    EXPECT_EQ(log.Percents, (std::vector<int>{100, 100, 100})) << "a total of 0 counts as done";
}

TEST_F(ReaderTest, NegativeWordIsPassedOver) {
    std::string bytes = ArchiveBytes()
                            .Header("", 1, 1)
                            .Word(-5)
                            .Entry("c:\\a.db", kStamp)
                            .Compressed("a")
                            .EndSection()
                            .Word(-1)
                            .EndArchive()
                            .Bytes();
    ASSERT_TRUE(RestoreBytes(archive, bytes, target));
    EXPECT_EQ(ReadFile(In("a.db")), "a");
}

TEST_F(ReaderTest, MissingArchiveAnswersFalseQuietly) {
    EXPECT_FALSE(archive.Restore(dir / "none.bck", target));
    EXPECT_TRUE(log.Percents.empty());
    EXPECT_TRUE(log.Errors.empty());
}

TEST_F(ReaderTest, UnreadableHeaderRaisesCannotReadArchive) {
    WriteFile(dir / "short.bck", std::string("\x05\0\0\0ab", 6));
    try {
        archive.Restore(dir / "short.bck", target);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot read archive");
    }
    EXPECT_FALSE(archive.Busy());
    EXPECT_TRUE(log.Percents.empty());
}

TEST_F(ReaderTest, TargetThatCannotBeCreatedIsError1) {
    std::filesystem::create_directory(In("a.db"));
    int restored = 0;
    archive.OnFileRestored = [&](TBackupFile&, std::string&, TStream*&) { ++restored; };
    EXPECT_FALSE(RestoreBytes(archive, OneFile("c:\\a.db", "a"), target));
    EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
    EXPECT_EQ(restored, 0);
}

TEST_F(ReaderTest, BrokenBlocksAreError6AfterWritingWhatInflated) {
    std::string good = test::Zlib(std::string(100, 'g'));
    std::string badAdler = good;
    badAdler.back() ^= 1;
    std::string tooLong = test::Zlib(std::string(16385, 'x'));
    std::string truncated = good.substr(0, good.size() - 3);
    struct {
        const char* what;
        std::string block;
        size_t written;
    } cases[] = {{"checksum", badAdler, 100},
                 {"over 16384", tooLong, 16384},
                 {"incomplete", truncated, 100},
                 {"garbage", "\x01\x02\x03\x04", 0}};
    for (const auto& c : cases) {
        log.Errors.clear();
        std::string bytes = ArchiveBytes()
                                .Header("", 1, 1)
                                .Entry("c:\\z.db", kStamp)
                                .Word(static_cast<int32_t>(c.block.size()))
                                .Raw(c.block)
                                .EndSection()
                                .Entry("c:\\next.db", kStamp)
                                .Stored("n")
                                .EndSection()
                                .EndArchive()
                                .Bytes();
        std::filesystem::remove(In("next.db"));
        EXPECT_FALSE(RestoreBytes(archive, bytes, target)) << c.what;
        EXPECT_EQ(log.Errors, std::vector<int32_t>{beCompressionError}) << c.what;
        EXPECT_EQ(ReadFile(In("z.db")).size(), c.written) << c.what;
        EXPECT_FALSE(FileExists(In("next.db"))) << "the run stops: " << c.what;
    }
}

TEST_F(ReaderTest, FormatFaultsWhileRestoringAreError1) {
    std::string wrongMarker =
        ArchiveBytes().Header("", 1, 1).Name("c:\\a.db").Word(kStamp).Raw("EC3").Word(0).EndArchive().Bytes();
    std::string oversize = ArchiveBytes()
                               .Header("", 1, 1)
                               .Entry("c:\\a.db", kStamp)
                               .Word(-16385)
                               .Raw(std::string(16385, 's'))
                               .EndSection()
                               .EndArchive()
                               .Bytes();
    std::string hugeNegative =
        ArchiveBytes().Header("", 1, 1).Entry("c:\\a.db", kStamp).Word(INT32_MIN).EndArchive().Bytes();
    std::string truncated = OneFile("c:\\a.db", std::string(500, 't'));
    truncated.resize(truncated.size() - 12);
    for (const auto& bytes : {wrongMarker, oversize, hugeNegative, truncated}) {
        log.Errors.clear();
        EXPECT_FALSE(RestoreBytes(archive, bytes, target));
        EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
        EXPECT_TRUE(FileExists(In("a.db"))) << "the partial target is kept";
        EXPECT_FALSE(archive.Busy());
    }
}

TEST_F(ReaderTest, FormatFaultsWhileSkippingRaise) {
    archive.RestoreMode = rmExisting;  // nothing exists: every entry is passed over
    std::string wrongMarker =
        ArchiveBytes().Header("", 1, 1).Name("c:\\a.db").Word(kStamp).Raw("XXXX").EndArchive().Bytes();
    std::string oversize = ArchiveBytes().Header("", 1, 1).Entry("c:\\a.db", kStamp).Word(20000).EndArchive().Bytes();
    std::string truncated = OneFile("c:\\a.db", "abc");
    truncated.resize(truncated.size() - 2);
    std::string continued =
        ArchiveBytes().Header("", 1, 1).Name("NEXT:DISK002").Marker().EndSection().EndArchive().Bytes();
    for (const auto& bytes : {wrongMarker, oversize, truncated, continued}) {
        EXPECT_THROW(RestoreBytes(archive, bytes, target), Exception);
        EXPECT_FALSE(archive.Busy());
    }
    try {
        RestoreBytes(archive, wrongMarker, target);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Invalid archive type");
    }
    EXPECT_TRUE(std::filesystem::is_empty(target));
}

TEST_F(ReaderTest, NamesLeavingTheTargetAreRefused) {
    for (bool fullPath : {false, true}) {
        archive.RestoreFullPath = fullPath;
        log.Errors.clear();
        std::string bytes = ArchiveBytes()
                                .Header("", 4, 4)
                                .Entry("c:\\..\\..\\escape1.db", kStamp)
                                .Compressed("e")
                                .EndSection()
                                .Entry("/x/../../escape2.db", kStamp)
                                .Compressed("e")
                                .EndSection()
                                .Entry("c:\\data\\..", kStamp)
                                .Compressed("e")
                                .EndSection()
                                .Entry(std::string("ok.db\0/../../x", 14), kStamp)
                                .Compressed("e")
                                .EndSection()
                                .Entry("c:\\good.db", kStamp)
                                .Compressed("g")
                                .EndSection()
                                .EndArchive()
                                .Bytes();
        EXPECT_FALSE(RestoreBytes(archive, bytes, target));
        EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
        EXPECT_EQ(ReadFile(In("good.db")), "g") << "the other entries are restored";
        std::filesystem::remove(In("good.db"));
        EXPECT_TRUE(std::filesystem::is_empty(target));
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            EXPECT_EQ(entry.path().filename(), "target");
    }
}

}  // namespace
}  // namespace nb
