// The speed text and the progress bar as the transfer events drive them.
#include <gtest/gtest.h>

#include "app/TransferDisplay.h"
#include "backup/backup.h"
#include "net/transport/IdTCPClient.h"
#include "tests/app/AppTestSupport.h"

namespace nb::test {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

struct SpeedCase {
    const char* name;
    double elapsedSeconds;
    int32_t count;
    const char* status;
};

class SpeedTextTest : public ::testing::TestWithParam<SpeedCase> {};

// Driven through the handlers with a clock the test sets.
TEST_P(SpeedTextTest, DownloadStatus) {
    double now = 45000.25;  // some afternoon
    RecordingWindow window;
    TTransferDisplay display(window, [&now] { return now; });
    TIdTCPClient sender;

    display.IdFTP1WorkBegin(sender, wmRead, 0);
    now += GetParam().elapsedSeconds * kSecond;
    display.IdFTP1Work(sender, wmRead, GetParam().count);
    EXPECT_EQ(window.events.back(), std::string("status:") + GetParam().status);
    EXPECT_EQ(window.progressPosition, GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(Examples, SpeedTextTest,
                         ::testing::Values(SpeedCase{"FourSeconds", 4, 1048576, "Download speed 256.00 KB/s"},
                                           SpeedCase{"SameMillisecond", 0, 1048576, "Download speed 0.00 KB/s"},
                                           SpeedCase{"RoundsToTwoDecimals", 3, 1000, "Download speed 0.33 KB/s"},
                                           SpeedCase{"NoThousandsSeparator", 1, 1024 * 1500000,
                                                     "Download speed 1500000.00 KB/s"},
                                           // 65,546 s wrap to 10 s in 16-bit whole seconds.
                                           SpeedCase{"SixteenBitWrap", 65546, 10240, "Download speed 1.00 KB/s"},
                                           // a day and four seconds lose the day.
                                           SpeedCase{"WholeDaysDropped", 86404, 4096, "Download speed 1.00 KB/s"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TransferDisplay, KeepsTheLastSpeedWhenNoTimeHasPassed) {
    EXPECT_DOUBLE_EQ(TransferSpeed(4096, 0, 7.5), 7.5);
    EXPECT_DOUBLE_EQ(TransferSpeed(4096, 2, 7.5), 2.0);
    EXPECT_DOUBLE_EQ(ElapsedSeconds(1.0, 1.0 + 1.5 * kSecond), 1.5);
    EXPECT_EQ(SpeedStatusText(wmWrite, 12.345), "Uploade speed 12.35 KB/s");
    EXPECT_EQ(FormatSpeed(0.004), "0.00 KB/s");
}

TEST(TransferDisplay, BeginWorkEndDriveTheBarAndTheTexts) {
    RecordingWindow window;
    double now = 45000.0;
    TTransferDisplay display(window, [&now] { return now; });
    TIdTCPClient sender;
    TBackupFile archive;

    display.IdFTP1WorkBegin(sender, wmWrite, 5000);
    EXPECT_EQ(window.progressMax, 5000);
    now += 2 * kSecond;
    display.IdFTP1Work(sender, wmWrite, 2048);
    EXPECT_EQ(window.events.back(), "status:Uploade speed 1.00 KB/s");
    // The speed carries over to an event in the same instant.
    display.IdFTP1Work(sender, wmWrite, 4096);
    EXPECT_EQ(window.events.back(), "status:Uploade speed 2.00 KB/s");
    display.IdFTP1WorkEnd(sender, wmWrite);
    // The end of the work also comes after a cut: "transfer completed" is the workflow's to say.
    EXPECT_EQ(window.events.back(), "status:Uploade speed 2.00 KB/s");
    EXPECT_FALSE(window.progressVisible);
    EXPECT_EQ(window.progressPosition, 0);

    // A download announces no size: ExpectedSize (0 here: unknown) gives a bar without a range.
    display.IdFTP1WorkBegin(sender, wmRead, 0);
    EXPECT_EQ(window.progressMax, 0);
    // An archive run after a transfer draws percentages again.
    window.progressVisible = true;
    bool cont = true;
    display.BackupFileProgress(archive, "x", 42, cont);
    EXPECT_EQ(window.progressPosition, 42);
    EXPECT_TRUE(cont);
    window.progressVisible = false;
    display.BackupFileProgress(archive, "x", 77, cont);
    EXPECT_EQ(window.progressPosition, 42) << "a hidden bar is not moved";
}

}  // namespace
}  // namespace nb::test
