// The archive cursor, the one reading of the format under restore, verify and list: sections
// nobody reads, the volume chain, and each fault as the restore raises it and the verifier names it.
#include <filesystem>
#include <gtest/gtest.h>

#include "backup/ArchiveCursor.h"
#include "backup/backup.h"
#include "platform/Exception.h"
#include "tests/backup/ArchiveBytes.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using archive::ArchiveCursor;
using archive::RawBlock;
using test::ArchiveBytes;
using test::TempDir;
using test::WriteFile;
using Step = ArchiveCursor::Step;

class Cursor : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir / "a.bck";
    ArchiveCursor cursor;
    void Open(const std::string& bytes) {
        WriteFile(path, bytes);
        int32_t totalSize = 0, fileCount = 0;
        cursor.OpenFile(path);
        cursor.ReadHeader(totalSize, fileCount);
    }
    std::string ReadBlock() {
        RawBlock block;
        if (!cursor.NextBlock(block)) return "(end of section)";
        cursor.ReadBlock(block);
        return std::string(reinterpret_cast<const char*>(block.Data), static_cast<size_t>(block.Size));
    }
};

TEST_F(Cursor, SectionsLeftUnreadArePassedOverWithTheirChecks) {
    Open(ArchiveBytes()
             .Header("", 8, 3)
             .Entry("c:\\a.db", 1)
             .Compressed("aaaa")
             .Stored("bb")
             .EndSection()
             .Entry("c:\\b.db", 2)
             .Stored("cc")
             .Stored("dd")
             .EndSection()
             .Entry("c:\\c.db", 3)
             .EndSection()
             .EndArchive()
             .Bytes());
    ASSERT_EQ(cursor.Next(), Step::Entry);
    ASSERT_EQ(cursor.Next(), Step::Entry) << "a's section is passed over unread";
    EXPECT_EQ(cursor.Entry().Name, "c:\\b.db");
    RawBlock block;
    ASSERT_TRUE(cursor.NextBlock(block));
    EXPECT_EQ(block.Type, RawBlock::Kind::Stored);
    EXPECT_EQ(block.Size, 2);
    EXPECT_EQ(ReadBlock(), "dd") << "the block whose bytes were not asked for is passed over";
    ASSERT_EQ(cursor.Next(), Step::Entry);
    EXPECT_EQ(cursor.Entry().Stamp, 3);
    EXPECT_EQ(ReadBlock(), "(end of section)");
    EXPECT_EQ(cursor.Next(), Step::End);
    EXPECT_EQ(cursor.Next(), Step::End) << "nothing is read past the end marker";

    // The marker of a section nobody read is still checked, and placed.
    Open(ArchiveBytes().Header("", 1, 1).Name("c:\\a.db").Word(1).Raw("EC3").Word(0).EndArchive().Bytes());
    ASSERT_EQ(cursor.Next(), Step::Entry);
    try {
        cursor.Next();
        FAIL() << "no fault";
    } catch (const archive::EArchiveInvalid& e) {
        EXPECT_EQ(e.Place().Text(), path + " offset 27: Invalid archive type");
    }
}

TEST_F(Cursor, NextVolumeIsAskedForUntilItIsThereOrTheAnswerIsNo) {
    const std::string first =
        ArchiveBytes().Header("", 6, 1).Entry("c:\\a.db", 7).Stored("one").EndSection().Name("NEXT:DISK002").Bytes();
    const std::string second = ArchiveBytes().Marker().Stored("two").EndSection().EndArchive().Bytes();
    std::vector<int> asked;
    cursor.OnNeedVolume = [&](uint16_t volume) {
        asked.push_back(volume);
        if (asked.size() == 2) WriteFile(dir / "a.002", second);
        return true;
    };
    Open(first);
    ASSERT_EQ(cursor.Next(), Step::Entry);
    EXPECT_EQ(ReadBlock(), "one");
    ASSERT_EQ(cursor.Next(), Step::Continued);
    EXPECT_EQ(asked, (std::vector<int>{2, 2}));
    EXPECT_EQ(cursor.Entry().Name, "c:\\a.db") << "the cut entry goes on";
    EXPECT_EQ(cursor.Entry().Stamp, 7);
    EXPECT_EQ(ReadBlock(), "two");
    EXPECT_EQ(cursor.Next(), Step::End);

    cursor.OnNeedVolume = [](uint16_t) { return false; };
    Open(first);
    ASSERT_EQ(cursor.Next(), Step::Entry);
    EXPECT_EQ(cursor.Next(), Step::Stopped);
    EXPECT_EQ(cursor.Next(), Step::Stopped);
}

// One fault, two readers: the restore raises it with its message and class, the verifier names
// the volume, the offset and what is wrong.
TEST_F(Cursor, EachFaultAsRestoreRaisesItAndVerifyPlacesIt) {
    auto header = [] { return ArchiveBytes().Header("", 1, 1); };
    auto entry = [&] { return header().Entry("c:\\a.db", 1); };  // its first block length at 31
    struct {
        std::string bytes;
        std::string verify;  // after "<path> offset "
        std::string message;
        bool readError;
    } cases[] = {
        {header().Bytes(), "12: archive ends inside the name length (the end marker is missing)", "Stream read error",
         true},
        {header().Name("c:\\a.db").Raw("xy").Bytes(), "23: archive ends inside the stamp", "Stream read error", true},
        {header().Name("c:\\a.db").Word(1).Raw("EC").Bytes(), "27: archive ends inside the data section marker",
         "Stream read error", true},
        {header().Name("c:\\a.db").Word(1).Raw("EC3").Word(0).Bytes(), "27: Invalid archive type",
         "Invalid archive type", false},
        {entry().Word(16385).Bytes(), "31: block length 16385 exceeds 16384", "Invalid archive type", false},
        {entry().Word(-16385).Bytes(), "31: block length -16385 exceeds 16384", "Invalid archive type", false},
        {entry().Word(-10).Raw("abc").Bytes(), "35: archive ends inside the block", "Stream read error", true},
        {header().Name("NEXT:DISK002").Bytes(), "16: continuation record before any entry", "Invalid archive type",
         false},
        {entry().EndSection().Name("NEXT:DISK003").Bytes(), "39: continuation record names volume \"003\"",
         "Invalid archive type", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verify);
        WriteFile(path, c.bytes);
        VerifyResult result = VerifyArchive(path);
        EXPECT_FALSE(result.Ok);
        EXPECT_EQ(result.Problem, path + " offset " + c.verify);
        TBackupFile archive;
        archive.RestoreMode = rmExisting;  // nothing exists: every entry is passed over
        try {
            archive.Restore(path, dir / "target");
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(dynamic_cast<const EReadError*>(&e) != nullptr, c.readError);
        }
        EXPECT_FALSE(archive.Busy());
    }
}

}  // namespace
}  // namespace nb
