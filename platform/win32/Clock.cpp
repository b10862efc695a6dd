#include "platform/Clock.h"

#include "platform/win32/Win32.h"

namespace nb {

uint32_t TickCount() { return static_cast<uint32_t>(::GetTickCount64()); }

double Now() {
    FILETIME utc{}, local{};
    ::GetSystemTimePreciseAsFileTime(&utc);
    ::FileTimeToLocalFileTime(&utc, &local);
    ULARGE_INTEGER t{};
    t.LowPart = local.dwLowDateTime;
    t.HighPart = local.dwHighDateTime;
    // FILETIME counts 100 ns from 1601-01-01, which is 109205 days before 1899-12-30.
    return static_cast<double>(t.QuadPart) / 864000000000.0 - 109205.0;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::GetCurrentProcessId()); }

}  // namespace nb
