#include "platform/DosStamp.h"

namespace nb {

bool SplitDosStamp(int32_t dosStamp, TDosStampParts& p) {
    auto s = static_cast<uint32_t>(dosStamp);
    p.Second = static_cast<int>(s & 0x1F) * 2;
    p.Minute = static_cast<int>(s >> 5 & 0x3F);
    p.Hour = static_cast<int>(s >> 11 & 0x1F);
    p.Day = static_cast<int>(s >> 16 & 0x1F);
    p.Month = static_cast<int>(s >> 21 & 0x0F);
    p.Year = static_cast<int>(s >> 25) + 1980;
    if (p.Second > 58 || p.Minute > 59 || p.Hour > 23 || p.Day < 1 || p.Month < 1 || p.Month > 12) return false;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (p.Year % 4 == 0 && p.Year % 100 != 0) || p.Year % 400 == 0;
    return p.Day <= kDays[p.Month - 1] && !(p.Month == 2 && p.Day == 29 && !leap);
}

}  // namespace nb
