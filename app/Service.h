#pragma once
// The service's endpoints: compiled in, overridden by the settings file's "Service" section.
#include <cstdint>
#include <string>

namespace nb {

struct TServiceEndpoints {
    std::string FtpHost;
    int32_t FtpPort = 21;
    std::string ProbeHost;
    int32_t ProbeTimeout = 10000;  // ms per echo
};

TServiceEndpoints ReadServiceEndpoints(const std::string& settingsFile);

}  // namespace nb
