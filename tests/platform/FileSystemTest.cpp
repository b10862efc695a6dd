#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::TempDir;
using test::WriteFile;

std::vector<std::string> Search(const std::string& pattern, uint32_t mask) {
    std::vector<std::string> names;
    TFileSearch search(pattern, mask);
    TSearchRec rec;
    while (search.Next(rec)) names.push_back(rec.Name);
    return names;
}

bool XattrsWork(const std::string& path) { return ::setxattr(path.c_str(), "user.nbprobe", "1", 1, 0) == 0; }

struct WildcardCase {
    const char* pattern;
    std::vector<std::string> expected;
};

class WildcardSearch : public ::testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardSearch, MatchesWithWindowsSemantics) {
    TempDir dir;
    for (const char* name : {"Item", "item.db", "ITEM.PX", "ItemAsm.db", "Sale.db", "a.b.c", "Xtem.db"})
        WriteFile(dir / name, "x");
    auto names = Search(dir / GetParam().pattern, faAnyFile & ~faDirectory);
    EXPECT_EQ(names, GetParam().expected) << GetParam().pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, WildcardSearch,
    ::testing::Values(WildcardCase{"*.*", {"ITEM.PX", "Item", "ItemAsm.db", "Sale.db", "Xtem.db", "a.b.c", "item.db"}},
                      WildcardCase{"Item.*", {"ITEM.PX", "Item", "item.db"}},
                      WildcardCase{"?tem.db", {"Xtem.db", "item.db"}},
                      WildcardCase{"*.DB", {"ItemAsm.db", "Sale.db", "Xtem.db", "item.db"}},
                      WildcardCase{"a.*", {"a.b.c"}}, WildcardCase{"Nothing.*", {}}));

TEST(FileSearchAttributes, MaskExcludesHiddenSystemAndFolders) {
    TempDir dir;
    WriteFile(dir / "plain.db", "x");
    WriteFile(dir / "readonly.db", "x");
    ::chmod((dir / "readonly.db").c_str(), 0444);
    WriteFile(dir / ".hidden.db", "x");
    ::mkfifo((dir / "pipe.db").c_str(), 0644);
    std::filesystem::create_directory(dir / "sub.db");

    EXPECT_EQ(Search(dir / "*.*", faArchive), (std::vector<std::string>{"plain.db", "readonly.db"}));
    EXPECT_EQ(Search(dir / "*.*", faArchive | faHidden | faSysFile),
              (std::vector<std::string>{".hidden.db", "pipe.db", "plain.db", "readonly.db"}));
    EXPECT_EQ(Search(dir / "*", faDirectory),
              (std::vector<std::string>{".", "..", "plain.db", "readonly.db", "sub.db"}));
    EXPECT_EQ(FileGetAttr(dir / "readonly.db") & static_cast<int32_t>(faReadOnly), static_cast<int32_t>(faReadOnly));
    EXPECT_NE(FileGetAttr(dir / "pipe.db") & static_cast<int32_t>(faSysFile), 0);
    EXPECT_EQ(FileGetAttr(dir / "missing"), -1);
}

TEST(FileSearchAttributes, DosAttribMarksHiddenAndSystem) {
    TempDir dir;
    WriteFile(dir / "h.db", "x");
    WriteFile(dir / "s.db", "x");
    if (!XattrsWork(dir / "h.db")) GTEST_SKIP() << "no user extended attributes on " << dir.Path();
    ::setxattr((dir / "h.db").c_str(), "user.DOSATTRIB", "0x22", 4, 0);
    ::setxattr((dir / "s.db").c_str(), "user.DOSATTRIB", "0x4", 3, 0);
    EXPECT_TRUE(Search(dir / "*.db", faArchive).empty());
    EXPECT_NE(FileGetAttr(dir / "h.db") & static_cast<int32_t>(faHidden), 0);
    EXPECT_NE(FileGetAttr(dir / "s.db") & static_cast<int32_t>(faSysFile), 0);
}

TEST(ArchiveAttribute, ClearedUntilTheFileChanges) {
    TempDir dir;
    std::string path = dir / "data.db";
    WriteFile(path, "one");
    if (!XattrsWork(path)) GTEST_SKIP() << "no user extended attributes on " << dir.Path();
    auto hasArchive = [&] { return (FileGetAttr(path) & static_cast<int32_t>(faArchive)) != 0; };
    ::chmod(path.c_str(), 0444);
    EXPECT_TRUE(hasArchive());
    ASSERT_TRUE(ClearArchiveAttr(path));
    EXPECT_FALSE(hasArchive());
    EXPECT_NE(FileGetAttr(path) & static_cast<int32_t>(faReadOnly), 0) << "other attributes stay";
    ::chmod(path.c_str(), 0644);
    WriteFile(path, "two, longer");
    EXPECT_TRUE(hasArchive());
}

TEST(Stamps, LocalTimeRoundTripAndLimits) {
    tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 18;
    local.tm_min = 7;
    local.tm_sec = 31;
    local.tm_isdst = -1;
    time_t t = mktime(&local);
    int32_t stamp = UnixToDosStamp(t);
    EXPECT_EQ(static_cast<uint32_t>(stamp), (44u << 25) | (3u << 21) | (5u << 16) | (18u << 11) | (7u << 5) | 15u);
    int64_t back = 0;
    ASSERT_TRUE(DosStampToUnix(stamp, back));
    EXPECT_EQ(back, t - 1) << "odd seconds round down";

    local.tm_year = 1979 - 1900;
    EXPECT_EQ(UnixToDosStamp(mktime(&local)), -1);
    local.tm_year = 2108 - 1900;
    EXPECT_EQ(UnixToDosStamp(mktime(&local)), -1);
    EXPECT_FALSE(DosStampToUnix(-1, back));
    EXPECT_FALSE(DosStampToUnix(static_cast<int32_t>((44u << 25) | (2u << 21) | (30u << 16)), back)) << "30 February";
}

TEST(Stamps, SetAndReadThroughOpenFile) {
    TempDir dir;
    std::string path = dir / "f";
    int32_t stamp = static_cast<int32_t>((30u << 25) | (7u << 21) | (14u << 16) | (9u << 11) | (41u << 5) | 3u);
    {
        TFileStream file(path, fmCreate);
        file.WriteBuffer("abc", 3);
        ASSERT_TRUE(FileSetDate(file, stamp));
        EXPECT_EQ(FileGetDate(file), stamp);
    }
    EXPECT_EQ(FileAge(path), stamp);
    std::filesystem::last_write_time(path, std::filesystem::file_time_type{});  // far before 1980
    EXPECT_EQ(FileAge(path), -1);
}

TEST(Paths, LexicalExpansionAndNameParts) {
    std::string cwd = GetCurrentDir();
    EXPECT_EQ(ExpandFileName("/a/b/../c/./d"), "/a/c/d");
    EXPECT_EQ(ExpandFileName("/a/b/"), "/a/b/");
    EXPECT_EQ(ExpandFileName("/.."), "/");
    EXPECT_EQ(ExpandFileName("x/y"), ExpandFileName(cwd + "/x/y"));
    EXPECT_EQ(ExtractFileExt("/d.x/name"), "");
    EXPECT_EQ(ExtractFileExt("/d/backup.bck"), ".bck");
    EXPECT_EQ(ChangeFileExt("/d/backup.bck", ".002"), "/d/backup.002");
    EXPECT_EQ(ChangeFileExt("/d.x/backup", ".002"), "/d.x/backup.002");
    EXPECT_EQ(ExtractFilePath("/d/f"), "/d/");
    EXPECT_EQ(ExtractFileDir("/d/f"), "/d");
    EXPECT_EQ(ExtractFileName("/d/f"), "f");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/d/"), "/d");
}

TEST(Paths, JoinPutsOneSeparatorBetween) {
    const struct {
        const char *folder, *name, *joined;
    } cases[] = {
        {"/d", "f", "/d/f"}, {"/d/", "f", "/d/f"}, {"/", "f", "/f"}, {"", "f", "f"}, {"/d", "../s/f", "/d/../s/f"},
    };
    for (const auto& c : cases) EXPECT_EQ(JoinPath(c.folder, c.name), c.joined) << c.folder << " + " << c.name;
}

TEST(Folders, ForceDirectoriesAndDeletion) {
    TempDir dir;
    EXPECT_TRUE(ForceDirectories(dir / "a/b/c"));
    EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
    EXPECT_FALSE(FileExists(dir / "a/b"));
    WriteFile(dir / "a/file", "x");
    EXPECT_FALSE(ForceDirectories(dir / "a/file/sub")) << "a file stands in the way";
    EXPECT_FALSE(DeleteFile(dir / "a/b")) << "folders are not files";
    ::chmod((dir / "a/file").c_str(), 0444);
    EXPECT_FALSE(DeleteFile(dir / "a/file")) << "read-only files are refused";
    EXPECT_THROW(TFileStream(dir / "a/file", fmCreate), EFCreateError);
    EXPECT_EQ(test::ReadFile(dir / "a/file"), "x");
    ::chmod((dir / "a/file").c_str(), 0644);
    EXPECT_TRUE(DeleteFile(dir / "a/file"));
    EXPECT_FALSE(FileExists(dir / "a/file"));
    EXPECT_TRUE(SyncDirectory(dir / "a"));
}

TEST(TempFiles, MadeInTmpdirWithPrefix) {
    TempDir dir;
    std::string old = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", dir.Path().c_str(), 1);
    std::string folder = GetTempDirectory();
    std::string made = CreateTempFile(folder, "FID");
    if (old.empty())
        ::unsetenv("TMPDIR");
    else
        ::setenv("TMPDIR", old.c_str(), 1);
    EXPECT_EQ(folder, dir.Path() + "/");
    EXPECT_EQ(made.rfind(dir.Path() + "/FID", 0), 0u);
    EXPECT_TRUE(FileExists(made));
    EXPECT_TRUE(CreateTempFile(dir / "missing", "FID").empty());
    EXPECT_EQ(ExtractFileName(ExecutablePath()), "platform_filesystem_test");
}

}  // namespace
}  // namespace nb
