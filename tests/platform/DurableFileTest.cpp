// Durable replacement, no-replace renames and the folder lock.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "tests/support/TestSupport.h"

namespace nb::test {
namespace {

TEST(DurableFile, ReplacesWholeAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir / "journal";
    ASSERT_TRUE(WriteFileDurably(path, "first"));
    ASSERT_TRUE(WriteFileDurably(path, "second, longer"));
    std::string text;
    ASSERT_TRUE(ReadWholeFile(path, text));
    EXPECT_EQ(text, "second, longer");
    EXPECT_FALSE(PathExists(path + ".tmp"));
    EXPECT_TRUE(SyncFile(path));
    EXPECT_FALSE(WriteFileDurably(dir / "absent/journal", "x"));
    EXPECT_FALSE(ReadWholeFile(dir / "absent", text));
}

TEST(DurableFile, RenameNoReplaceNeverOverwrites) {
    TempDir dir;
    WriteFile(dir / "a", "a");
    WriteFile(dir / "b", "b");
    EXPECT_FALSE(RenameNoReplace(dir / "a", dir / "b"));
    EXPECT_EQ(ReadFile(dir / "b"), "b");
    EXPECT_TRUE(RenameNoReplace(dir / "a", dir / "c"));
    EXPECT_EQ(ReadFile(dir / "c"), "a");
    EXPECT_FALSE(PathExists(dir / "a"));
}

TEST(FolderLock, OneHolderAtATimeAndReleasedWhenTheHolderDies) {
    TempDir dir;
    {
        TFolderLock first(dir.Path());
        ASSERT_TRUE(first.Held());
        EXPECT_FALSE(TFolderLock(dir.Path()).Held());
    }
    EXPECT_TRUE(TFolderLock(dir.Path()).Held());

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TFolderLock held(dir.Path());
        char c = held.Held() ? '1' : '0';
        if (::write(ready[1], &c, 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, '1');
    EXPECT_FALSE(TFolderLock(dir.Path()).Held());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(TFolderLock(dir.Path()).Held());
    EXPECT_FALSE(TFolderLock(dir / "absent").Held());
}

}  // namespace
}  // namespace nb::test
