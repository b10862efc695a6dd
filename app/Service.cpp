#include "app/Service.h"

#include <charconv>

#include "platform/IniFile.h"

namespace nb {

namespace {

// A whole number within [low, high], else fallback.
int32_t NumberOr(const std::string& text, int32_t low, int32_t high, int32_t fallback) {
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return fallback;
    return value;
}

}  // namespace

TServiceEndpoints ReadServiceEndpoints(const std::string& settingsFile) {
    TIniFile ini(settingsFile);
    TServiceEndpoints service;
    service.FtpHost = ini.ReadString("Service", "FtpHost", NB_FTP_HOST);
    service.FtpPort = NumberOr(ini.ReadString("Service", "FtpPort", ""), 1, 65535, NB_FTP_PORT);
    service.ProbeHost = ini.ReadString("Service", "ProbeHost", NB_PROBE_HOST);
    service.ProbeTimeout = NumberOr(ini.ReadString("Service", "ProbeTimeout", ""), 1, 600000, NB_PROBE_TIMEOUT);
    service.TransferTimeout =
        NumberOr(ini.ReadString("Service", "TransferTimeout", ""), 100, 3600000, NB_TRANSFER_TIMEOUT);
    if (service.FtpHost.empty()) service.FtpHost = NB_FTP_HOST;
    if (service.ProbeHost.empty()) service.ProbeHost = NB_PROBE_HOST;
    return service;
}

}  // namespace nb
