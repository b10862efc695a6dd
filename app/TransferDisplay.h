#pragma once
// How a transfer's progress turns into the status text.
#include <cstdint>
#include <string>

#include "net/transport/IdComponent.h"

namespace nb {

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

}  // namespace nb
