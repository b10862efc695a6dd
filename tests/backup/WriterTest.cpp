// Backup: the bytes it writes, the files it takes, volumes, cancelling and its error reports.
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

#include "backup/backup.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "tests/backup/ArchiveBytes.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::ArchiveBytes;
using test::ParseArchive;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class WriterTest : public ::testing::Test {
protected:
    TempDir dir;
    TBackupFile archive;
    test::RunLog log;
    std::string archivePath = dir / "out.bck";
    void SetUp() override { log.Attach(archive); }
    std::vector<std::string> Names(const test::ParsedArchive& parsed) {
        std::vector<std::string> names;
        for (const auto& e : parsed.Entries) names.push_back(e.Name);
        return names;
    }
};

TEST_F(WriterTest, WorkedExampleByteForByte) {
    std::string source = dir / "A.TXT";
    WriteFile(source, "abc");
    ASSERT_TRUE(archive.Backup({source}, archivePath));
    std::string expected = ArchiveBytes()
                               .Header("", 3, 1)
                               .Entry(test::ArchiveCase(source), FileAge(source))
                               .Word(11)
                               .Raw(std::string("\x78\x01\x4B\x4C\x4A\x06\x00\x02\x4D\x01\x27", 11))
                               .EndSection()
                               .EndArchive()
                               .Bytes();
    EXPECT_EQ(ReadFile(archivePath), std::string(expected.data(), expected.size()));
    EXPECT_EQ(archive.FileCount(), 1);
    EXPECT_EQ(archive.FilesProcessed(), 1);
    EXPECT_EQ(archive.TotalSize(), 3);
    EXPECT_EQ(archive.PackedSize(), 19);
    EXPECT_FALSE(archive.Busy());
    EXPECT_EQ(log.Percents, (std::vector<int>{0, 100, 100}));
}

TEST_F(WriterTest, NoFilesGivesSixteenBytes) {
    archive.BackupTitle = "";
    ASSERT_TRUE(archive.Backup({dir / "nothing.*"}, archivePath));
    EXPECT_EQ(ReadFile(archivePath), std::string(16, '\0'));
    EXPECT_EQ(log.Percents, (std::vector<int>{0, 100}));
    EXPECT_TRUE(log.Errors.empty());
}

struct CutCase {
    size_t size;
    std::vector<size_t> pieces;
};
class BlockCuts : public WriterTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(BlockCuts, PiecesOfAtMost16384) {
    std::string content(GetParam().size, 'q');
    for (size_t i = 0; i < content.size(); i += 7) content[i] = static_cast<char>('a' + i % 13);
    WriteFile(dir / "f.db", content);
    ASSERT_TRUE(archive.Backup({dir / "f.db"}, archivePath));
    auto parsed = ParseArchive(archivePath);
    ASSERT_EQ(parsed.Entries.size(), 1u);
    ASSERT_EQ(parsed.Entries[0].Sections.size(), 1u);
    std::vector<size_t> pieces;
    for (const auto& block : parsed.Entries[0].Sections[0]) {
        EXPECT_GT(block.Length, 0) << "compressible pieces are compressed";
        pieces.push_back(block.Content.size());
    }
    EXPECT_EQ(pieces, GetParam().pieces);
    EXPECT_EQ(parsed.Entries[0].Content(), content);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockCuts,
                         ::testing::Values(CutCase{0, {}}, CutCase{1, {1}}, CutCase{16384, {16384}},
                                           CutCase{16385, {16384, 1}}, CutCase{40000, {16384, 16384, 7232}}));

TEST_F(WriterTest, IncompressiblePiecesAreStored) {
    std::string content = test::RandomBytes(16384 + 100, 7);
    WriteFile(dir / "r.bin", content);
    ASSERT_TRUE(archive.Backup({dir / "r.bin"}, archivePath));
    auto blocks = ParseArchive(archivePath).Entries.at(0).Sections.at(0);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].Length, -16384);
    EXPECT_EQ(blocks[0].Content, content.substr(0, 16384));
    EXPECT_GT(blocks[1].Length, 100) << "a compressed form that fits is used even when longer";
}

TEST_F(WriterTest, LevelTableReachesZlib) {
    std::string content(20000, 'z');
    WriteFile(dir / "z.db", content);
    struct {
        TCompressionLevel level;
        unsigned char secondHeaderByte;
        int32_t firstLength;
    } cases[] = {{clFastest, 0x01, 0}, {clDefault, 0x9C, 0}, {clMax, 0xDA, 0}, {clNone, 0x01, -16384}};
    for (const auto& c : cases) {
        archive.CompressionLevel = c.level;
        ASSERT_TRUE(archive.Backup({dir / "z.db"}, archivePath));
        std::string bytes = ReadFile(archivePath);
        auto blocks = ParseArchive(archivePath).Entries.at(0).Sections.at(0);
        if (c.firstLength != 0) {
            EXPECT_EQ(blocks[0].Length, c.firstLength) << "level 0 cannot fit 16384 bytes";
        } else {
            size_t at = bytes.find(std::string("EC2\0", 4)) + 8;
            EXPECT_EQ(static_cast<unsigned char>(bytes[at + 1]), c.secondHeaderByte) << int(c.level);
        }
        EXPECT_EQ(ParseArchive(archivePath).Entries.at(0).Content(), content);
    }
}

TEST_F(WriterTest, FileListEntryComesFirst) {
    TempDir temp;
    bool ok;
    {
        test::ScopedTempFolder scoped(temp.Path());
        WriteFile(dir / "a.db", "alpha");
        WriteFile(dir / "b.db", "");
        archive.SaveFileID = true;
        ok = archive.Backup({dir / "*.db"}, archivePath);
    }
    ASSERT_TRUE(ok);
    auto parsed = ParseArchive(archivePath);
    const std::string a = test::ArchiveCase(dir / "a.db"), b = test::ArchiveCase(dir / "b.db");
    ASSERT_EQ(Names(parsed), (std::vector<std::string>{"FILE:LIST", a, b}));
    std::string list = a + "\t" + std::to_string(FileAge(dir / "a.db")) + "=5\r\n" + b + "\t" +
                       std::to_string(FileAge(dir / "b.db")) + "=0\r\n";
    EXPECT_EQ(parsed.Entries[0].Content(), list);
    EXPECT_EQ(parsed.TotalSize, static_cast<int32_t>(5 + list.size()));
    EXPECT_EQ(parsed.FileCount, 2);
    EXPECT_EQ(archive.FilesProcessed(), 2);
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "the temporary list is removed";
}

TEST_F(WriterTest, TakesEachFileOnceAndNeverItself) {
    WriteFile(dir / "a.db", "a");
    WriteFile(dir / "b.db", "b");
    WriteFile(archivePath, "old archive");
    std::filesystem::create_directory(dir / "sub");
    ASSERT_TRUE(archive.Backup({dir / "b.db", dir / "*.*", dir / "B.DB"}, dir / "./sub/../out.bck"));
    EXPECT_EQ(Names(ParseArchive(archivePath)),
              (std::vector<std::string>{test::ArchiveCase(dir / "b.db"), test::ArchiveCase(dir / "a.db")}));
}

TEST_F(WriterTest, SubfolderSwitchGoesDepthFirst) {
    std::filesystem::create_directories(dir / "d/sub/deeper");
    std::filesystem::create_directories(dir / "d/.hidden");
    WriteFile(dir / "d/top.db", "1");
    WriteFile(dir / "d/sub/mid.db", "2");
    WriteFile(dir / "d/sub/deeper/low.db", "3");
    WriteFile(dir / "d/.hidden/no.db", "4");
    WriteFile(dir / "d/sub/other.txt", "5");
    ASSERT_TRUE(archive.Backup({dir / "d/*.db" + " /S"}, archivePath));
    EXPECT_EQ(Names(ParseArchive(archivePath)),
              (std::vector<std::string>{test::ArchiveCase(dir / "d/sub/deeper/low.db"),
                                        test::ArchiveCase(dir / "d/sub/mid.db"), test::ArchiveCase(dir / "d/top.db")}));
}

TEST_F(WriterTest, IncrementalTakesMarkedFilesAndClearsTheMark) {
    WriteFile(dir / "a.db", "a");
    WriteFile(dir / "b.db", "b");
    WriteFile(dir / "probe", "p");
    if (!ClearArchiveAttr(dir / "probe") || (FileGetAttr(dir / "probe") & faArchive) != 0)
        GTEST_SKIP() << "no archive mark can be kept on " << dir.Path();
    archive.SetBackupMode(bmIncremental);
    EXPECT_TRUE(archive.SetArchiveFlag);
    ASSERT_TRUE(archive.Backup({dir / "*.db"}, archivePath));
    EXPECT_EQ(ParseArchive(archivePath).Entries.size(), 2u);
    ASSERT_TRUE(archive.Backup({dir / "*.db"}, archivePath));
    EXPECT_TRUE(ParseArchive(archivePath).Entries.empty()) << "nothing changed since";
    WriteFile(dir / "b.db", "bb");
    ASSERT_TRUE(archive.Backup({dir / "*.db"}, archivePath));
    EXPECT_EQ(Names(ParseArchive(archivePath)), std::vector<std::string>{dir / "b.db"});
    archive.SetBackupMode(bmAll);
    EXPECT_TRUE(archive.SetArchiveFlag) << "bmAll leaves the flag as it is";
}

TEST_F(WriterTest, VolumesAreCutAndAskedFor) {
    std::string big = test::RandomBytes(100000, 3);
    WriteFile(dir / "big.bin", big);
    WriteFile(dir / "small.db", "small");
    std::vector<int> disks;
    archive.OnNeedDisk = [&](TBackupFile&, uint16_t disk, bool&) { disks.push_back(disk); };
    archive.MaxSize = 50000;
    ASSERT_TRUE(archive.Backup({dir / "big.bin", dir / "small.db"}, archivePath));
    EXPECT_EQ(disks, (std::vector<int>{2, 3}));
    std::string first = ReadFile(archivePath);
    EXPECT_EQ(first.substr(first.size() - 16), test::Int32(12) + "NEXT:DISK002");
    EXPECT_LT(first.size(), 50000u);
    EXPECT_EQ(ReadFile(dir / "out.002").substr(0, 4), std::string("EC2\0", 4)) << "no header on later volumes";
    auto parsed = ParseArchive(archivePath);
    ASSERT_EQ(parsed.Entries.size(), 2u);
    EXPECT_EQ(parsed.Entries[0].Sections.size(), 3u);
    EXPECT_EQ(parsed.Entries[0].Content(), big);
    EXPECT_EQ(parsed.Entries[1].Content(), "small");
}

TEST_F(WriterTest, CancelledDiskLeavesClosedVolume) {
    WriteFile(dir / "big.bin", test::RandomBytes(100000, 4));
    archive.OnNeedDisk = [](TBackupFile&, uint16_t, bool& goOn) { goOn = false; };
    archive.MaxSize = 50000;
    EXPECT_FALSE(archive.Backup({dir / "big.bin"}, archivePath));
    EXPECT_TRUE(log.Errors.empty());
    EXPECT_FALSE(FileExists(dir / "out.002"));
    std::string first = ReadFile(archivePath);
    EXPECT_EQ(first.substr(first.size() - 12), "NEXT:DISK002");
}

TEST_F(WriterTest, ProgressCancelEndsSectionWithoutEndMarker) {
    WriteFile(dir / "a.db", std::string(40000, 'a'));
    WriteFile(dir / "b.db", "b");
    archive.OnProgress = [](TBackupFile&, std::string file, TPercentage, bool& goOn) {
        if (!file.empty()) goOn = false;
    };
    EXPECT_FALSE(archive.Backup({dir / "a.db", dir / "b.db"}, archivePath));
    std::string bytes = ReadFile(archivePath);
    size_t at = bytes.find(std::string("EC2\0", 4)) + 4;
    int32_t length = test::Int32At(bytes, at);
    ASSERT_GT(length, 0);
    EXPECT_EQ(test::Inflate(bytes.substr(at + 4, static_cast<size_t>(length))), std::string(16384, 'a'));
    EXPECT_EQ(bytes.substr(at + 4 + static_cast<size_t>(length)), test::Int32(0))
        << "one block, end of section, nothing more";
    EXPECT_TRUE(log.Errors.empty());
    EXPECT_EQ(archive.FilesProcessed(), 1);
}

TEST_F(WriterTest, ArchiveThatCannotBeCreatedIsError4) {
    WriteFile(dir / "a.db", "a");
    EXPECT_FALSE(archive.Backup({dir / "a.db"}, dir / "missing/out.bck"));
    EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotWriteArchive});
    EXPECT_EQ(log.Percents.back(), 100);
    EXPECT_FALSE(archive.Busy());
}

TEST_F(WriterTest, UnreadableStampIsError1AfterTheNameRecord) {
    WriteFile(dir / "old.db", "1970");
    // Before 1980, which no MS-DOS stamp holds (the file clock's own epoch differs by system).
    std::filesystem::last_write_time(test::FsPath(dir / "old.db"),
                                     std::chrono::file_clock::from_sys(std::chrono::sys_seconds{
                                         std::chrono::sys_days{std::chrono::year{1975} / 1 / 1}}));
    EXPECT_FALSE(archive.Backup({dir / "old.db"}, archivePath));
    EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
    EXPECT_EQ(ReadFile(archivePath), ArchiveBytes().Header("", 4, 1).Name(test::ArchiveCase(dir / "old.db")).Bytes());
}

TEST_F(WriterTest, FileListThatCannotBeMadeIsError7) {
    WriteFile(dir / "a.db", "a");
    bool ok;
    {
        test::ScopedTempFolder scoped(dir / "missing");
        archive.SaveFileID = true;
        ok = archive.Backup({dir / "a.db"}, archivePath);
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotCreateTempFile});
    EXPECT_EQ(ReadFile(archivePath), ArchiveBytes().Header("", 1, 1).Bytes()) << "header only, no end marker";
}

// A stream that takes a limited number of bytes, like a full disk.
class FullStream : public TMemoryStream {
public:
    int32_t Write(const void* buffer, int32_t count) override {
        return Size() + count > 20 ? 0 : TMemoryStream::Write(buffer, count);
    }
};

TEST_F(WriterTest, FullStreamIsError4) {
    WriteFile(dir / "a.db", std::string(1000, 'a'));
    FullStream stream;
    archive.BackupStream = &stream;
    EXPECT_FALSE(archive.Backup({dir / "a.db"}, ":STREAM"));
    EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotWriteArchive});
    EXPECT_FALSE(archive.Busy());
}

TEST_F(WriterTest, StreamTargetHoldsTheSameBytes) {
    WriteFile(dir / "a.db", "abc");
    ASSERT_TRUE(archive.Backup({dir / "a.db"}, archivePath));
    TMemoryStream stream;
    stream.WriteBuffer("pre", 3);
    archive.BackupStream = &stream;
    ASSERT_TRUE(archive.Backup({dir / "a.db"}, ":STREAM"));
    EXPECT_EQ(stream.ToString(), "pre" + ReadFile(archivePath));
}

}  // namespace
}  // namespace nb
