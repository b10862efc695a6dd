// The transfer and archive progress handlers of the main window, and the speed text.
#include "app/TransferDisplay.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "app/Unit1.h"
#include "platform/Clock.h"
#include "platform/CrashPoint.h"

namespace nb {

namespace {
// Kilobytes per second of the current transfer; kept between work events.
double LastSpeed = 0;
}  // namespace

double ElapsedSeconds(double start, double now) {
    uint16_t hour = 0, minute = 0, second = 0, msec = 0;
    DecodeTime(now - start, hour, minute, second, msec);
    auto whole = static_cast<uint16_t>(hour * 3600 + minute * 60 + second);
    return whole + msec / 1000.0;
}

double TransferSpeed(int64_t count, double seconds, double lastSpeed) {
    return seconds > 0 ? static_cast<double>(count) / 1024.0 / seconds : lastSpeed;
}

int ProgressScaleShift(int64_t byteCount) {
    int shift = 0;
    while ((byteCount >> shift) > INT32_MAX) ++shift;
    return shift;
}

std::string FormatSpeed(double kilobytesPerSecond) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f KB/s", kilobytesPerSecond);
    return text;
}

namespace {
const std::string kDownloadSpeed = "Download speed ", kUploadSpeed = "Uploade speed ";
}  // namespace

std::string SpeedStatusText(TWorkMode mode, double kilobytesPerSecond) {
    return (mode == wmRead ? kDownloadSpeed : kUploadSpeed) + FormatSpeed(kilobytesPerSecond);
}

bool IsSpeedStatusText(const std::string& text) {
    return text.starts_with(kDownloadSpeed) || text.starts_with(kUploadSpeed);
}

double TForm1::CurrentTime() const { return environment_.Now ? environment_.Now() : Now(); }

void TForm1::IdFTP1WorkBegin(TIdComponent&, TWorkMode, int64_t AWorkCountMax) {
    TransferStart_ = CurrentTime();
    // The size query set the scale of a download; an upload announces its own size.
    if (AWorkCountMax > 0) progressShift_ = ProgressScaleShift(AWorkCountMax);
    int64_t max = AWorkCountMax > 0 ? AWorkCountMax >> progressShift_ : ExpectedSize_;
    // An unknown size (a failed size query) shows as a bar without a range.
    window_.SetProgressMax(max > 0 ? static_cast<int32_t>(max) : 0);
    LastSpeed = 0;
}

void TForm1::IdFTP1Work(TIdComponent&, TWorkMode AWorkMode, int64_t AWorkCount) {
    LastSpeed = TransferSpeed(AWorkCount, ElapsedSeconds(TransferStart_, CurrentTime()), LastSpeed);
    window_.SetStatusText(SpeedStatusText(AWorkMode, LastSpeed));
    window_.SetProgressPosition(static_cast<int32_t>(std::min<int64_t>(AWorkCount >> progressShift_, INT32_MAX)));
    CrashPoint(AWorkMode == wmRead ? "download.chunk" : "upload.chunk");
}

// "전송을 완료했습니다." is the workflows' to show, once the server holds (or this computer has)
// every byte: the end of the work also comes when a transfer was cut.
void TForm1::IdFTP1WorkEnd(TIdComponent&, TWorkMode) {
    ExpectedSize_ = 0;
    progressShift_ = 0;
    window_.SetProgressPosition(0);
    LastSpeed = 0;
    window_.SetProgressVisible(false);
}

void TForm1::BackupFileProgress(TBackupFile&, const std::string&, TPercentage Percent, bool&) {
    if (window_.ProgressVisible()) window_.SetProgressPosition(Percent);
    KeepServerAwake();
    CrashPoint("archive.block");
}

void TForm1::ShowArchiveProgress() {
    // Archive runs report percentages; transfers left a byte range behind.
    window_.SetProgressMax(100);
    window_.SetProgressPosition(0);
    window_.SetProgressVisible(true);
}

}  // namespace nb
