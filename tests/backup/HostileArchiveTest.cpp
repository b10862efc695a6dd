// Truncated, corrupted and forged archives: never a crash, never a write outside the target,
// and the verifier names what is wrong and where.
#include <filesystem>
#include <gtest/gtest.h>
#include <climits>
#include <random>

#include "backup/backup.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "tests/backup/ArchiveBytes.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::ArchiveBytes;
using test::PathExists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

namespace fs = std::filesystem;

class HostileArchiveTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string sandbox = dir / "sandbox";
    std::string target = sandbox + "/target";
    std::string archivePath = sandbox + "/a.bck";
    std::string valid;

    void SetUp() override {
        fs::create_directories(target);
        fs::create_directories(dir / "src");
        WriteFile(dir / "src/one.db", std::string(20000, 'o'));
        WriteFile(dir / "src/two.bin", test::RandomBytes(17000, 1));
        WriteFile(dir / "src/three.db", "three");
        TBackupFile writer;
        writer.SaveFileID = true;
        EXPECT_TRUE(writer.Backup({dir / "src/*.*"}, dir / "valid.bck"));
        valid = ReadFile(dir / "valid.bck");
    }

    // Restores bytes from a file and from ":STREAM"; whatever happens stays inside the target.
    void RestoreBoth(const std::string& bytes) {
        // Fresh files each round: replacing files by truncation makes ext4 flush them on close.
        fs::remove_all(target);
        fs::create_directories(target);
        fs::remove(archivePath);
        WriteFile(archivePath, bytes);
        for (bool fromStream : {false, true}) {
            TBackupFile archive;
            archive.OnError = [](TBackupFile&, int32_t, std::string) {};
            archive.RestoreFullPath = fromStream;
            try {
                if (fromStream)
                    test::RestoreBytes(archive, bytes, target);
                else
                    archive.Restore(archivePath, target);
            } catch (const Exception&) {
            }
            EXPECT_FALSE(archive.Busy());
        }
        for (const auto& entry : fs::directory_iterator(sandbox)) {
            std::string name = test::PathText(entry.path().filename());
            ASSERT_TRUE(name == "target" || name == "a.bck") << "written outside the target: " << name;
        }
    }
};

TEST_F(HostileArchiveTest, EveryTruncationFailsCleanly) {
    for (size_t size = 0; size < valid.size(); size += (size < 100 ? 1 : 211)) {
        std::string cut = valid.substr(0, size);
        RestoreBoth(cut);
        VerifyResult result = VerifyArchive(archivePath);
        EXPECT_FALSE(result.Ok) << "cut at " << size;
        EXPECT_NE(result.Problem.find(archivePath + " offset "), std::string::npos) << result.Problem;
    }
}

TEST_F(HostileArchiveTest, RandomCorruptionNeverEscapes) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 250; ++round) {
        std::string bytes = valid;
        int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i) {
            size_t at = rng() % bytes.size();
            // Lengths are where forgery hurts most: sometimes write a whole hostile word.
            if (rng() % 3 == 0 && at + 4 <= bytes.size()) {
                static const int32_t words[] = {INT32_MAX, INT32_MIN, -1, 16385, -16385, 0x7FFF0000, 12};
                bytes.replace(at, 4, test::Int32(words[rng() % 7]));
            } else {
                bytes[at] = static_cast<char>(rng());
            }
        }
        RestoreBoth(bytes);
        VerifyArchive(archivePath);
    }
}

TEST_F(HostileArchiveTest, ForgedNamesStayInside) {
    for (const std::string& name :
         std::vector<std::string>{"../escape.db", "c:\\..\\escape.db", "/../../escape.db", "..", "a/..",
                                  "c:", std::string("x\0/../e", 7), "\\\\..\\e.db"}) {
        std::string bytes =
            ArchiveBytes().Header("", 1, 1).Entry(name, 0).Compressed("e").EndSection().EndArchive().Bytes();
        RestoreBoth(bytes);
        WriteFile(archivePath, bytes);
        EXPECT_FALSE(VerifyArchive(archivePath).Ok) << name;
    }
    EXPECT_FALSE(PathExists(dir / "escape.db"));
    EXPECT_FALSE(PathExists(dir.Path() + "/../escape.db"));
}

TEST_F(HostileArchiveTest, ForgedVolumeChainsAreRejected) {
    // Volume 2 claims to be followed by volume 2 again: an endless loop unless refused.
    WriteFile(archivePath,
              ArchiveBytes().Header("", 1, 1).Entry("c:\\a.db", 0).EndSection().Name("NEXT:DISK002").Bytes());
    WriteFile(sandbox + "/a.002", ArchiveBytes().Marker().EndSection().Name("NEXT:DISK002").Bytes());
    TBackupFile archive;
    archive.OnNeedDisk = [](TBackupFile&, uint16_t, bool&) {};
    EXPECT_THROW(archive.Restore(archivePath, target), Exception);
    VerifyResult result = VerifyArchive(archivePath);
    EXPECT_FALSE(result.Ok);
    EXPECT_NE(result.Problem.find(sandbox + "/a.002 offset "), std::string::npos) << result.Problem;
    // A continuation before any entry has nothing to continue.
    WriteFile(archivePath, ArchiveBytes().Header("", 1, 1).Name("NEXT:DISK002").Bytes());
    EXPECT_THROW(archive.Restore(archivePath, target), Exception);
    EXPECT_FALSE(VerifyArchive(archivePath).Ok);
}

TEST_F(HostileArchiveTest, ForgedLengthsCostNoMemory) {
    std::string bytes = ArchiveBytes().Header("", 1, 1).Word(INT32_MAX).Raw("short").Bytes();
    RestoreBoth(bytes);
    std::string title = ArchiveBytes().Word(INT32_MAX).Raw("t").Bytes();
    WriteFile(archivePath, title);
    TBackupFile archive;
    EXPECT_THROW(archive.Restore(archivePath, target), Exception);
    EXPECT_FALSE(VerifyArchive(archivePath).Ok);
}

class VerifyTest : public HostileArchiveTest {};

TEST_F(VerifyTest, ValidArchiveCountsEntriesAndBytes) {
    VerifyResult result = VerifyArchive(dir / "valid.bck");
    EXPECT_TRUE(result.Ok) << result.Problem;
    EXPECT_EQ(result.Entries, 4) << "the file-list entry counts";
    ArchiveListing listing = ListArchive(dir / "valid.bck");
    ASSERT_EQ(listing.Entries.size(), 4u);
    EXPECT_EQ(listing.Entries[0].Name, "FILE:LIST");
    EXPECT_EQ(listing.Entries[1].Name, test::ArchiveCase(dir / "src/one.db"));
    EXPECT_EQ(listing.Entries[1].Size, 20000);
    EXPECT_EQ(listing.Entries[3].Size, 17000);
    EXPECT_EQ(listing.Entries[1].Stamp, FileAge(dir / "src/one.db"));
    EXPECT_EQ(result.Bytes, 20000 + 5 + 17000 + listing.Entries[0].Size);
    EXPECT_EQ(listing.FileCount, 3);
}

TEST_F(VerifyTest, CorruptBlockIsPlacedExactly) {
    std::string bytes = ArchiveBytes().Header("", 6, 2).Entry("c:\\a.db", 0).Compressed("aaa").EndSection().Bytes();
    size_t blockAt = bytes.size();
    std::string block = test::Zlib("bbb");
    block[block.size() - 1] ^= 0x55;
    bytes = ArchiveBytes().Raw(bytes).Entry("c:\\b.db", 0).Bytes();
    blockAt = bytes.size();
    bytes =
        ArchiveBytes().Raw(bytes).Word(static_cast<int32_t>(block.size())).Raw(block).EndSection().EndArchive().Bytes();
    WriteFile(archivePath, bytes);
    VerifyResult result = VerifyArchive(archivePath);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Problem, archivePath + " offset " + std::to_string(blockAt) + ": Compression error");
    EXPECT_THROW(ListArchive(archivePath), Exception);
}

TEST_F(VerifyTest, EveryVolumeIsRead) {
    TBackupFile writer;
    writer.MaxSize = 20000;
    writer.OnNeedDisk = [](TBackupFile&, uint16_t, bool&) {};
    ASSERT_TRUE(writer.Backup({dir / "src/*.*"}, archivePath));
    ASSERT_TRUE(FileExists(sandbox + "/a.002"));
    VerifyResult whole = VerifyArchive(archivePath);
    EXPECT_TRUE(whole.Ok) << whole.Problem;
    EXPECT_EQ(whole.Bytes, 20000 + 17000 + 5);
    EXPECT_EQ(ListArchive(archivePath).Entries.at(2).Size, 17000) << "sizes add up over sections";
    fs::remove(sandbox + "/a.002");
    VerifyResult missing = VerifyArchive(archivePath);
    EXPECT_FALSE(missing.Ok);
    EXPECT_NE(missing.Problem.find("volume 2 is missing: " + sandbox + "/a.002"), std::string::npos) << missing.Problem;
}

}  // namespace
}  // namespace nb
