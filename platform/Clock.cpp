#include "platform/Clock.h"

#include <cmath>

namespace nb {

namespace {

// Civil dates from day numbers and back (proleptic Gregorian), so that the calendar arithmetic
// is the same on every system and does not depend on the C library's time zone handling.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kUnixEpochDays = 25569;  // 1970-01-01 counted from 1899-12-30

}  // namespace

int64_t UnixSecondsOfUtc(const TDateParts& utc) {
    return DaysFromCivil(utc.Year, utc.Month, utc.Day) * 86400 + utc.Hour * 3600 + utc.Minute * 60 + utc.Second;
}

void DecodeTime(double dateTime, uint16_t& hour, uint16_t& minute, uint16_t& second, uint16_t& msec) {
    // Round to the millisecond first so that 0.1 s does not come out as 99 ms.
    double frac = std::fabs(dateTime - std::trunc(dateTime));
    auto ms = static_cast<int64_t>(std::llround(frac * 86400000.0));
    if (ms >= 86400000) ms = 86399999;
    hour = static_cast<uint16_t>(ms / 3600000);
    minute = static_cast<uint16_t>(ms / 60000 % 60);
    second = static_cast<uint16_t>(ms / 1000 % 60);
    msec = static_cast<uint16_t>(ms % 1000);
}

TDateParts DecodeDateTime(double dateTime) {
    auto secs = static_cast<int64_t>(std::llround((dateTime - static_cast<double>(kUnixEpochDays)) * 86400.0));
    int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    int64_t rest = secs - days * 86400;
    TDateParts p{};
    CivilFromDays(days, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(rest / 3600);
    p.Minute = static_cast<int>(rest / 60 % 60);
    p.Second = static_cast<int>(rest % 60);
    return p;
}

}  // namespace nb
