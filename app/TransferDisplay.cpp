// The transfer and archive progress handlers of the main window, and the speed text.
#include "app/TransferDisplay.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "app/BackgroundTransfer.h"
#include "platform/Clock.h"
#include "platform/CrashPoint.h"

namespace nb {

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

TTransferDisplay::TTransferDisplay(TWindowLayer& window, std::function<double()> now)
    : window_(window), now_(std::move(now)) {}

void TTransferDisplay::SetExpectedSize(int64_t bytes) {
    progressShift_ = bytes > 0 ? ProgressScaleShift(bytes) : 0;
    expectedSize_ = bytes < 0 ? -1 : static_cast<int32_t>(bytes >> progressShift_);
}

void TTransferDisplay::IdFTP1WorkBegin(TIdComponent&, TWorkMode, int64_t AWorkCountMax) {
    transferStart_ = now_();
    SetRange(AWorkCountMax);
}

void TTransferDisplay::MarkTransferStart() {
    transferStart_ = now_();
    backgroundShown_ = false;
}

void TTransferDisplay::ShowBackgroundTransfer(TBackgroundTransfer& transfer, TWorkMode mode, int64_t total) {
    if (!transfer.Began()) return;
    if (!backgroundShown_) SetRange(total);
    backgroundShown_ = true;
    ShowWork(mode, transfer.Count());
}

void TTransferDisplay::FollowBackgroundTransfer(TBackgroundTransfer& transfer, TIdComponent& sender, TWorkMode mode,
                                                int64_t total) {
    constexpr int32_t kRefreshMilliseconds = 100;
    while (!transfer.Wait(kRefreshMilliseconds)) {
        ShowBackgroundTransfer(transfer, mode, total);
        window_.ProcessMessages();
    }
    ShowBackgroundTransfer(transfer, mode, total);
    if (backgroundShown_) IdFTP1WorkEnd(sender, mode);
    backgroundShown_ = false;
}

void TTransferDisplay::SetRange(int64_t workCountMax) {
    // The size query set the scale of a download; an upload announces its own size.
    if (workCountMax > 0) progressShift_ = ProgressScaleShift(workCountMax);
    int64_t max = workCountMax > 0 ? workCountMax >> progressShift_ : expectedSize_;
    // An unknown size (a failed size query) shows as a bar without a range.
    window_.SetProgressMax(max > 0 ? static_cast<int32_t>(max) : 0);
    lastSpeed_ = 0;
}

void TTransferDisplay::IdFTP1Work(TIdComponent&, TWorkMode AWorkMode, int64_t AWorkCount) {
    ShowWork(AWorkMode, AWorkCount);
    PassTransferChunk(AWorkMode);
}

void TTransferDisplay::ShowWork(TWorkMode mode, int64_t count) {
    lastSpeed_ = TransferSpeed(count, ElapsedSeconds(transferStart_, now_()), lastSpeed_);
    window_.SetStatusText(SpeedStatusText(mode, lastSpeed_));
    window_.SetProgressPosition(static_cast<int32_t>(std::min<int64_t>(count >> progressShift_, INT32_MAX)));
}

void PassTransferChunk(TWorkMode mode) { CrashPoint(mode == wmRead ? "download.chunk" : "upload.chunk"); }

// "전송을 완료했습니다." is the workflows' to show, once the server holds (or this computer has)
// every byte: the end of the work also comes when a transfer was cut.
void TTransferDisplay::IdFTP1WorkEnd(TIdComponent&, TWorkMode) {
    expectedSize_ = 0;
    progressShift_ = 0;
    window_.SetProgressPosition(0);
    lastSpeed_ = 0;
    window_.SetProgressVisible(false);
}

void TTransferDisplay::BackupFileProgress(TBackupFile&, const std::string&, uint8_t Percent, bool&) {
    if (window_.ProgressVisible()) window_.SetProgressPosition(Percent);
    CrashPoint("archive.block");
}

void TTransferDisplay::ShowArchiveProgress() {
    window_.SetProgressMax(100);
    window_.SetProgressPosition(0);
    window_.SetProgressVisible(true);
}

}  // namespace nb
