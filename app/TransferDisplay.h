#pragma once
// How a transfer's and an archive run's progress turn into the progress bar and the status text.
#include <cstdint>
#include <functional>
#include <string>

#include "app/WindowLayer.h"
#include "net/transport/IdComponent.h"

namespace nb {

class TBackgroundTransfer;
class TBackupFile;

// The main window's four progress handlers, under their own names, with the state they keep
// between events.
class TTransferDisplay {
public:
    // now: local date and time (days since 1899-12-30).
    TTransferDisplay(TWindowLayer& window, std::function<double()> now);

    // What the size query of a download found: bytes, or -1 when the server gave no size.
    void SetExpectedSize(int64_t bytes);
    // The expected size as the progress bar counts it: bytes, halved ProgressShift() times where
    // the byte count does not fit 32 bits; -1 when unknown.
    int32_t ExpectedSize() const { return expectedSize_; }
    int ProgressShift() const { return progressShift_; }

    void IdFTP1WorkBegin(TIdComponent& Sender, TWorkMode AWorkMode, int64_t AWorkCountMax);
    void IdFTP1Work(TIdComponent& Sender, TWorkMode AWorkMode, int64_t AWorkCount);
    void IdFTP1WorkEnd(TIdComponent& Sender, TWorkMode AWorkMode);
    // A transfer another thread runs while this thread works on the archive: its start is marked
    // when it starts, and its progress shown from where it stands whenever this thread looks.
    void MarkTransferStart();
    // One look (nothing before its bytes flow). total: the bytes it moves; 0 where the expected
    // size counts.
    void ShowBackgroundTransfer(TBackgroundTransfer& transfer, TWorkMode mode, int64_t total);
    // Looks until it ends, pumping messages, then ends the work display where one began.
    void FollowBackgroundTransfer(TBackgroundTransfer& transfer, TIdComponent& sender, TWorkMode mode, int64_t total);
    void BackupFileProgress(TBackupFile& Sender, const std::string& Filename, uint8_t Percent, bool& Continue);
    // Before an archive run: a bar of percentages (a transfer left a byte range behind).
    void ShowArchiveProgress();

private:
    void SetRange(int64_t workCountMax);
    void ShowWork(TWorkMode mode, int64_t count);

    TWindowLayer& window_;
    std::function<double()> now_;
    int32_t expectedSize_ = 0;
    int progressShift_ = 0;
    double transferStart_ = 0;
    double lastSpeed_ = 0;  // KB/s of the current transfer
    bool backgroundShown_ = false;
};

// The crash step of a transfer's chunk, passed by the thread that moves the bytes: a kill there
// never finds another thread of the press waiting on the network.
void PassTransferChunk(TWorkMode mode);

// Seconds between two local date-times as the window counts them: the time of day of the
// difference (whole days dropped), its whole seconds in 16-bit arithmetic, plus the milliseconds.
double ElapsedSeconds(double start, double now);

// The new speed in KB/s after count bytes in seconds; lastSpeed when no time has passed.
double TransferSpeed(int64_t count, double seconds, double lastSpeed);

// How often a byte count must be halved to fit the progress bar's 32-bit range.
int ProgressScaleShift(int64_t byteCount);

// "0.00 KB/s": at least one integer digit, two rounded decimals, no thousands separators.
std::string FormatSpeed(double kilobytesPerSecond);

// "Download speed " / "Uploade speed " followed by the formatted speed.
std::string SpeedStatusText(TWorkMode mode, double kilobytesPerSecond);
// True for a text SpeedStatusText makes.
bool IsSpeedStatusText(const std::string& text);

}  // namespace nb
