// The press record file and the data guard's judgments, without a server.
#include <gtest/gtest.h>

#include "app/DataGuard.h"
#include "app/PressRecord.h"
#include "tests/support/TestSupport.h"

namespace nb::test {
namespace {

TEST(PressRecord, RecordsOfUsersAndFoldersStandApartAndSurviveOddNames) {
    TempDir dir;
    const std::string file = PressRecordFile(dir / "FtpHost.ini");
    EXPECT_EQ(file, dir / "LastPress.txt");
    TPressRecord office{{4900, "20261210174400"}, "2026-12-10 17:44에 만든 백업파일",
                        {{"Sale.DB", 70000, 1765388640123456789}, {"name with spaces\nand a line.DB", 3, -1}}};
    TPressRecord home{{-1, ""}, "", {}};
    ASSERT_TRUE(WritePressRecord(file, "kim", "/office", office));
    ASSERT_TRUE(WritePressRecord(file, "kim", "/home dir", home));
    ASSERT_TRUE(WritePressRecord(file, "lee 2", "/office", home));

    TPressRecord read;
    ASSERT_TRUE(ReadPressRecord(file, "kim", "/office", read));
    EXPECT_EQ(read.Server, office.Server);
    EXPECT_EQ(read.Title, office.Title);
    EXPECT_EQ(read.Tables, office.Tables);
    ASSERT_TRUE(ReadPressRecord(file, "kim", "/home dir", read));
    EXPECT_FALSE(read.Server.Exists());
    EXPECT_FALSE(ReadPressRecord(file, "kim", "/elsewhere", read));
    EXPECT_FALSE(ReadPressRecord(file, "lee", "2 /office", read)) << "the key's parts cannot run together";

    // Rewriting one keeps the others.
    office.Tables.pop_back();
    ASSERT_TRUE(WritePressRecord(file, "kim", "/office", office));
    ASSERT_TRUE(ReadPressRecord(file, "lee 2", "/office", read));
    ASSERT_TRUE(ReadPressRecord(file, "kim", "/office", read));
    EXPECT_EQ(read.Tables.size(), 1u);
}

TEST(PressRecord, ADamagedFileReadsAsNoRecord) {
    TempDir dir;
    const std::string file = dir / "LastPress.txt";
    ASSERT_TRUE(WritePressRecord(file, "kim", "/office", {{1, "2"}, "t", {{"Sale.DB", 1, 2}}}));
    const std::string whole = ReadFile(file);
    TPressRecord read;
    for (const std::string& damaged :
         {whole.substr(0, whole.size() - 4), whole.substr(0, whole.size() / 2), std::string("garbage\n"),
          whole.substr(0, whole.find("table")) + "table x y Sale.DB\nend\n"}) {
        WriteFile(file, damaged);
        EXPECT_FALSE(ReadPressRecord(file, "kim", "/office", read)) << damaged;
    }
}

TEST(DataGuard, QuestionsOnlyWhereSomethingIsAtRisk) {
    const std::vector<TTableState> recorded{{"Item.DB", 100, 1}, {"Sale.DB", 1000, 1}};
    const TPressRecord record{{500, "20261210174400"}, "t", recorded};
    struct Case {
        const char* name;
        std::vector<TTableState> now;
        bool downloadAsks, uploadAsks;
    };
    const Case cases[] = {
        {"unchanged", recorded, false, false},
        {"a table written", {{"Item.DB", 100, 1}, {"Sale.DB", 1000, 2}}, true, false},
        {"a table added", {{"Item.DB", 100, 1}, {"New.DB", 1, 1}, {"Sale.DB", 1000, 1}}, true, false},
        {"a table gone", {{"Sale.DB", 1000, 1}}, true, true},
        {"less than half the bytes", {{"Item.DB", 100, 1}, {"Sale.DB", 400, 2}}, true, true},
        {"half the bytes exactly", {{"Item.DB", 100, 1}, {"Sale.DB", 450, 2}}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(!DownloadOverChangedWorkQuestion(&record, c.now).empty(), c.downloadAsks);
        EXPECT_EQ(!UploadLosesTablesQuestion(&record, c.now).empty(), c.uploadAsks);
    }
    // Without a record: a download asks over any table, an upload does not ask for losses.
    EXPECT_TRUE(DownloadOverChangedWorkQuestion(nullptr, {}).empty());
    EXPECT_FALSE(DownloadOverChangedWorkQuestion(nullptr, recorded).empty());
    EXPECT_TRUE(UploadLosesTablesQuestion(nullptr, {}).empty());

    // The server copy: only one this computer did not make or fetch asks.
    EXPECT_TRUE(UploadOverOtherCopyQuestion(&record, record.Server, 2).empty());
    EXPECT_TRUE(UploadOverOtherCopyQuestion(nullptr, {}, 2).empty()) << "nothing on the server";
    EXPECT_FALSE(UploadOverOtherCopyQuestion(nullptr, record.Server, 2).empty());
    EXPECT_FALSE(UploadOverOtherCopyQuestion(&record, {501, "20261210174400"}, 2).empty());
    EXPECT_NE(UploadOverOtherCopyQuestion(&record, {500, "20261211090000"}, 0).find("서버에 남지 않습니다"),
              std::string::npos);
    EXPECT_NE(UploadOverOtherCopyQuestion(&record, {500, ""}, 2).find("올린 때를 알 수 없음"), std::string::npos);
}

TEST(DataGuard, NamesAreListedAFewAtATime) {
    std::vector<TTableState> many;
    for (char c = 'A'; c <= 'H'; ++c) many.push_back({std::string(1, c) + ".DB", 1, 1});
    const TPressRecord record{{}, "", many};
    const std::string asked = UploadLosesTablesQuestion(&record, {{"A.DB", 1, 1}});
    EXPECT_NE(asked.find("B.DB, C.DB, D.DB, E.DB, F.DB 외 2개"), std::string::npos) << asked;
}

TEST(DataGuard, ServerStampsAreShownInLocalTime) {
    EXPECT_EQ(LocalTimeOfServerStamp(""), "");
    EXPECT_EQ(LocalTimeOfServerStamp("2026121017"), "");
    EXPECT_EQ(LocalTimeOfServerStamp("2026x210174400"), "");
    const std::string shown = LocalTimeOfServerStamp("20261210174400.123");
    ASSERT_EQ(shown.size(), 16u) << shown;
    EXPECT_EQ(shown.substr(0, 8), "2026-12-") << shown;
    EXPECT_EQ(shown[10], ' ');
    EXPECT_EQ(shown[13], ':');
}

}  // namespace
}  // namespace nb::test
