#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/ftp/PeakMemory.h"

long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}
