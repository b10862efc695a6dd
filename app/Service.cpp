#include "app/Service.h"

#include <cctype>
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

// "auto", "require" or "off", else fallback.
TIdFTPTlsMode TlsModeOr(const std::string& text, TIdFTPTlsMode fallback) {
    if (text == "auto") return ftpTlsAuto;
    if (text == "require") return ftpTlsRequire;
    if (text == "off") return ftpTlsOff;
    return fallback;
}

constexpr const char* kTlsHostsSection = "TlsHosts";

// Host names do not depend on case.
std::string HostKey(std::string host) {
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return host;
}

}  // namespace

std::string ReadServerSetting(const std::string& settingsFile, const std::string& key) {
    return TIniFile(settingsFile).ReadString("Server", key, key);
}

void WriteServerSetting(const std::string& settingsFile, const std::string& value, const std::string& key) {
    TIniFile(settingsFile).WriteString("Server", key, value);
}

bool TlsRemembered(const std::string& settingsFile, const std::string& host) {
    return TIniFile(settingsFile).ReadString(kTlsHostsSection, HostKey(host), "") == "1";
}

void RememberTls(const std::string& settingsFile, const std::string& host) {
    if (!TlsRemembered(settingsFile, host)) TIniFile(settingsFile).WriteString(kTlsHostsSection, HostKey(host), "1");
}

TServiceEndpoints ReadServiceEndpoints(const std::string& settingsFile) {
    TIniFile ini(settingsFile);
    TServiceEndpoints service;
    service.FtpHost = ini.ReadString("Service", "FtpHost", NB_FTP_HOST);
    service.FtpPort = NumberOr(ini.ReadString("Service", "FtpPort", ""), 1, 65535, NB_FTP_PORT);
    service.ProbeHost = ini.ReadString("Service", "ProbeHost", NB_PROBE_HOST);
    service.ProbeTimeout = NumberOr(ini.ReadString("Service", "ProbeTimeout", ""), 1, 600000, NB_PROBE_TIMEOUT);
    service.TransferTimeout =
        NumberOr(ini.ReadString("Service", "TransferTimeout", ""), 100, 3600000, NB_TRANSFER_TIMEOUT);
    service.Tls = TlsModeOr(ini.ReadString("Service", "Tls", ""), TlsModeOr(NB_FTP_TLS, ftpTlsAuto));
    service.TlsCaFile = ini.ReadString("Service", "TlsCaFile", "");
    service.Generations = NumberOr(ini.ReadString("Service", "Generations", ""), 0, kMaxGenerations, 2);
    service.KeepAlive = NumberOr(ini.ReadString("Service", "KeepAlive", ""), 100, 3600000, 10000);
    if (service.FtpHost.empty()) service.FtpHost = NB_FTP_HOST;
    if (service.ProbeHost.empty()) service.ProbeHost = NB_PROBE_HOST;
    return service;
}

}  // namespace nb
