#include "bench/transport/ProcessCpu.h"

#include <windows.h>

namespace {
double Seconds(const FILETIME& t) {  // FILETIME counts 100 ns
    return static_cast<double>(static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
}
}  // namespace

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return Seconds(kernel) + Seconds(user);
}
