#include "platform/Clock.h"

#include <cmath>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

namespace nb {

namespace {
constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 counted from 1899-12-30
}

uint32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

double Now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    time_t secs = tv.tv_sec;
    tm local{};
    localtime_r(&secs, &local);
    double localSeconds = static_cast<double>(secs) + static_cast<double>(local.tm_gmtoff) + tv.tv_usec / 1e6;
    return kUnixEpochDays + localSeconds / 86400.0;
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
    auto secs = static_cast<time_t>(std::llround((dateTime - kUnixEpochDays) * 86400.0));
    tm t{};
    gmtime_r(&secs, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

double EncodeDateTime(const TDateParts& p) {
    tm t{};
    t.tm_year = p.Year - 1900;
    t.tm_mon = p.Month - 1;
    t.tm_mday = p.Day;
    t.tm_hour = p.Hour;
    t.tm_min = p.Minute;
    t.tm_sec = p.Second;
    return kUnixEpochDays + static_cast<double>(timegm(&t)) / 86400.0;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace nb
