#pragma once
// The parts of an MS-DOS date-time stamp, shared by the systems' stamp conversions.
#include <cstdint>

namespace nb {

struct TDosStampParts {
    int Year, Month, Day, Hour, Minute, Second;
};

// The local date and time a stamp names; false when it names none (30 February, hour 24, ...).
bool SplitDosStamp(int32_t dosStamp, TDosStampParts& parts);

}  // namespace nb
