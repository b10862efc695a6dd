#include "platform/Clock.h"

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

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace nb
