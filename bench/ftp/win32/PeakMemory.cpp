#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include "bench/ftp/PeakMemory.h"

long PeakMemoryKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}
