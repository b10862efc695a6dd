// Stored names and titles between the two systems: Windows programs store them in the ANSI code
// page (CP949), Linux programs in UTF-8; either archive restores the same Korean names on both,
// and a name that cannot be kept whole is refused, never replaced by another.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "backup/backup.h"
#include "platform/FileSystem.h"
#include "tests/backup/ArchiveBytes.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::ArchiveBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr int32_t kStamp =
    static_cast<int32_t>((40u << 25) | (6u << 21) | (15u << 16) | (10u << 11) | (20u << 5) | 15u);

// 자료 (data), 가계부 (household book), 짜 (whose CP949 bytes C2 A5 are also the UTF-8 of ¥).
const std::string kData = "\xEC\x9E\x90\xEB\xA3\x8C";
const std::string kDataCp949 = "\xC0\xDA\xB7\xE1";
const std::string kBook = "\xEA\xB0\x80\xEA\xB3\x84\xEB\xB6\x80";
const std::string kBookCp949 = "\xB0\xA1\xB0\xE8\xBA\xCE";
const std::string kJja = "\xEC\xA7\x9C";
const std::string kJjaCp949 = "\xC2\xA5";
const std::string kYen = "\xC2\xA5";
// The application's title phrase ("에 만든 백업파일") after its date, in each encoding.
const std::string kTitleUtf8 =
    "2024-03-05 18:07\xEC\x97\x90 \xEB\xA7\x8C\xEB\x93\xA0 \xEB\xB0\xB1\xEC\x97\x85\xED\x8C\x8C\xEC\x9D\xBC";
const std::string kTitleCp949 = "2024-03-05 18:07\xBF\xA1 \xB8\xB8\xB5\xE7 \xB9\xE9\xBE\xF7\xC6\xC4\xC0\xCF";

bool OnWindows() { return PathDelim == '\\'; }

std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(test::FsPath(folder)))
        names.push_back(test::PathText(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

class StoredNames : public ::testing::Test {
protected:
    TempDir dir;
    std::string target = dir / "target";
    std::string archivePath = dir / "in.bck";
    TBackupFile archive;
    test::RunLog log;
    void SetUp() override {
        log.Attach(archive);
        std::filesystem::create_directory(test::FsPath(target));
    }
    bool Restore(const std::string& title, const std::vector<std::string>& storedNames) {
        ArchiveBytes bytes;
        bytes.Header(title, static_cast<int32_t>(storedNames.size()), static_cast<int32_t>(storedNames.size()));
        for (const auto& name : storedNames) bytes.Entry(name, kStamp).Compressed("x").EndSection();
        WriteFile(archivePath, bytes.EndArchive().Bytes());
        return archive.Restore(archivePath, target);
    }
};

struct NameCase {
    const char* What;
    std::string Title, Stored, Restored;
};

class StoredNameReadings : public StoredNames, public ::testing::WithParamInterface<NameCase> {};

TEST_P(StoredNameReadings, RestoreAndListUnderTheKoreanName) {
    const NameCase& c = GetParam();
    ASSERT_TRUE(Restore(c.Title, {c.Stored}));
    EXPECT_EQ(NamesIn(target), std::vector<std::string>{c.Restored});
    EXPECT_EQ(ReadFile(dir / ("target/" + c.Restored)), "x");
    ArchiveListing listing = ListArchive(archivePath);
    EXPECT_TRUE(listing.Title == "2024-03-05 18:07" || listing.Title == kTitleUtf8) << "shown as text of this system";
    ASSERT_EQ(listing.Entries.size(), 1u);
    const std::string& listed = listing.Entries[0].Name;
    EXPECT_EQ(listed.substr(listed.size() - c.Restored.size() - 1), "\\" + c.Restored);
}

const std::string kNoHint = "2024-03-05 18:07";

INSTANTIATE_TEST_SUITE_P(
    Encodings, StoredNameReadings,
    ::testing::Values(
        NameCase{"cp949, as Windows stores it", kTitleCp949, "c:\\" + kBookCp949 + "\\" + kDataCp949 + ".db",
                 kData + ".db"},
        NameCase{"cp949, no title to tell", kNoHint, "c:\\" + kBookCp949 + "\\" + kDataCp949 + ".db", kData + ".db"},
        NameCase{"utf-8, as Linux stores it", kTitleUtf8, "c:\\" + kBook + "\\" + kData + ".db", kData + ".db"},
        NameCase{"utf-8, no title to tell", kNoHint, "c:\\" + kBook + "\\" + kData + ".db", kData + ".db"},
        NameCase{"valid in both: the cp949 title decides", kTitleCp949, "c:\\" + kJjaCp949 + ".db", kJja + ".db"},
        NameCase{"valid in both: the utf-8 title decides", kTitleUtf8, "c:\\" + kJjaCp949 + ".db", kYen + ".db"},
        NameCase{"valid in both, no title: utf-8", kNoHint, "c:\\" + kJjaCp949 + ".db", kYen + ".db"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// Bytes neither encoding reads: Linux names the file with them as they are; Windows, whose names
// are UTF-16, would have to substitute, so it refuses the entry (and the verifier the archive).
TEST_F(StoredNames, BytesNoEncodingReadsAreKeptOrRefused) {
    const std::string odd = "\xFF\xFE" + kDataCp949 + ".db";
    bool restored = Restore(kTitleCp949, {"c:\\" + odd, "c:\\" + kDataCp949 + ".db"});
    if (OnWindows()) {
        EXPECT_FALSE(restored);
        EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
        EXPECT_EQ(NamesIn(target), std::vector<std::string>{kData + ".db"}) << "the other entry is restored";
        VerifyResult verify = VerifyArchive(archivePath);
        EXPECT_FALSE(verify.Ok);
        EXPECT_NE(verify.Problem.find("cannot be read as a name"), std::string::npos) << verify.Problem;
    } else {
        EXPECT_TRUE(restored);
        EXPECT_EQ(NamesIn(target), (std::vector<std::string>{kData + ".db", odd}));
        EXPECT_TRUE(VerifyArchive(archivePath).Ok);
    }
}

// The checks run on the names as this system reads them, whichever encoding they came in.
TEST_F(StoredNames, HostileNamesAreRefusedInEitherEncoding) {
    const std::vector<std::string> hostile = {
        "c:\\..\\" + kDataCp949 + ".db",  "c:\\x\\..\\..\\" + kData + ".db",
        "c:\\" + kDataCp949 + "\\. .",    "c:\\data\\...",
        "c:\\" + kBookCp949 + "\\.. \\x", std::string("c:\\") + kDataCp949 + std::string("\0.db", 4),
    };
    for (bool fullPath : {false, true}) {
        SCOPED_TRACE(fullPath);
        archive.RestoreFullPath = fullPath;
        for (const auto& name : hostile) {
            SCOPED_TRACE(name);
            log.Errors.clear();
            EXPECT_FALSE(Restore(kTitleCp949, {name}));
            EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
            EXPECT_TRUE(NamesIn(target).empty());
            EXPECT_TRUE(NamesIn(dir.Path()) == (std::vector<std::string>{"in.bck", "target"}));
        }
    }
}

// Names Windows takes for something other than that file: a device, trailing dots and blanks
// that it drops (so two names would merge), a stream of another file. Plain names on Linux.
TEST_F(StoredNames, NamesWindowsWouldMisreadAreRefusedThere) {
    archive.RestoreFullPath = true;
    for (const std::string name : {"c:\\con", "c:\\data\\nul.db", "c:\\data\\com1.txt", "c:\\data\\aux .db",
                                   "c:\\data\\table.db.", "c:\\data\\table.db ", "c:\\data\\a:stream"}) {
        SCOPED_TRACE(name);
        log.Errors.clear();
        std::filesystem::remove_all(test::FsPath(target));
        std::filesystem::create_directory(test::FsPath(target));
        bool restored = Restore("", {name});
        if (OnWindows()) {
            EXPECT_FALSE(restored);
            EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
            EXPECT_TRUE(NamesIn(target).empty());
        } else {
            EXPECT_TRUE(restored);
            EXPECT_EQ(NamesIn(target).size(), 1u);
        }
    }
}

class StoredNameWriting : public ::testing::Test {
protected:
    TempDir dir;
    TBackupFile archive;
    test::RunLog log;
    std::string archivePath = dir / "out.bck";
    void SetUp() override {
        log.Attach(archive);
        std::filesystem::create_directory(test::FsPath(dir / "src"));
    }
};

TEST_F(StoredNameWriting, KoreanNameAndTitleInTheSystemCodePageRoundTrip) {
    const std::string source = dir / ("src/" + kData + ".db");
    WriteFile(source, std::string(40000, 'k'));
    archive.BackupTitle = kTitleUtf8;
    archive.SaveFileID = true;
    ASSERT_TRUE(archive.Backup({dir / "src/*.db"}, archivePath));
    test::ParsedArchive parsed = test::ParseArchive(archivePath);
    const std::string name = OnWindows() ? kDataCp949 : kData;
    EXPECT_EQ(parsed.Title, OnWindows() ? kTitleCp949 : kTitleUtf8);
    ASSERT_EQ(parsed.Entries.size(), 2u);
    const std::string& stored = parsed.Entries[1].Name;
    EXPECT_EQ(stored.substr(stored.size() - name.size() - 3), name + ".db");
    const std::string list = parsed.Entries[0].Content();
    EXPECT_NE(list.find(name + ".db\t"), std::string::npos) << "the file list holds the same bytes";

    const std::string target = dir / "target";
    ASSERT_TRUE(archive.Restore(archivePath, target));
    EXPECT_EQ(NamesIn(target), std::vector<std::string>{kData + ".db"});
    EXPECT_EQ(ReadFile(dir / ("target/" + kData + ".db")), std::string(40000, 'k'));
}

// Windows names ignore case, and its archives store them with A-Z folded to a-z, entry and file
// list alike; a Korean character whose code-page bytes hold an "A" (갂: 81 41) stays whole. Linux
// names differ by case, so they are stored as they are.
TEST_F(StoredNameWriting, NamesFoldToLowerCaseWhereFileNamesIgnoreCase) {
    const std::string gak = "\xEA\xB0\x82";
    const std::string source = dir / ("src/Item" + gak + ".DB");
    WriteFile(source, "i");
    archive.SaveFileID = true;
    ASSERT_TRUE(archive.Backup({dir / "src/*.DB"}, archivePath));
    std::string expected = test::ArchiveCase(source);
    if (OnWindows()) expected.replace(expected.find(gak), gak.size(), "\x81\x41");
    ASSERT_NE(expected.find(OnWindows() ? "item\x81\x41.db" : "Item" + gak + ".DB"), std::string::npos);
    test::ParsedArchive parsed = test::ParseArchive(archivePath);
    ASSERT_EQ(parsed.Entries.size(), 2u);
    EXPECT_EQ(parsed.Entries[1].Name, expected);
    EXPECT_EQ(parsed.Entries[0].Content().substr(0, expected.size() + 1), expected + "\t");

    ASSERT_TRUE(archive.Restore(archivePath, dir / "target"));
    EXPECT_EQ(NamesIn(dir / "target"),
              std::vector<std::string>{(OnWindows() ? "item" : "Item") + gak + (OnWindows() ? ".db" : ".DB")});
}

// A name the code page cannot hold would be stored with '?' and restore as another file, or as
// none: Windows refuses to store it, naming the file. Linux stores any name.
TEST_F(StoredNameWriting, NameTheCodePageLacksIsNotStoredWithASubstitute) {
    const std::string source = dir / "src/smile\xF0\x9F\x98\x80.db";
    WriteFile(source, "s");
    if (!test::PathExists(source)) GTEST_SKIP() << "this file system cannot hold the name";
    bool stored = archive.Backup({dir / "src/*.db"}, archivePath);
    if (OnWindows()) {
        EXPECT_FALSE(stored);
        EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
        EXPECT_EQ(archive.FailedFile(), source);
    } else {
        ASSERT_TRUE(stored);
        EXPECT_TRUE(archive.Restore(archivePath, dir / "target"));
        EXPECT_EQ(ReadFile(dir / "target/smile\xF0\x9F\x98\x80.db"), "s");
    }
}

}  // namespace
}  // namespace nb
