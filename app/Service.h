#pragma once
// The service's endpoints: compiled in, overridden by the settings file's "Service" section.
#include <cstdint>
#include <string>

#include "net/ftp/IdFTP.h"

namespace nb {

struct TServiceEndpoints {
    std::string FtpHost;
    int32_t FtpPort = 21;
    std::string ProbeHost;
    int32_t ProbeTimeout = 10000;  // ms per echo
    // Longest silence of the server (ms) on the control or a data connection, and longest wait
    // for it to open a data connection, before a transfer fails.
    int32_t TransferTimeout = 30000;
    TIdFTPTlsMode Tls = ftpTlsAuto;
    // Further certificate authorities for the server's certificate (a PEM file); empty: none.
    std::string TlsCaFile;
    // How many previous copies an upload keeps on the server ("<user ID>.bck.1" the newest).
    int32_t Generations = 2;
    // How often (ms) an idle control connection hears a NOOP during long local work, for servers
    // whose idle time-out is short.
    int32_t KeepAlive = 10000;
};

constexpr int32_t kMaxGenerations = 9;

TServiceEndpoints ReadServiceEndpoints(const std::string& settingsFile);

// The "Server" section's keys (FTPHOST, HOSTID, HOSTPASS): a key absent reads as its own name.
std::string ReadServerSetting(const std::string& settingsFile, const std::string& key);
void WriteServerSetting(const std::string& settingsFile, const std::string& value, const std::string& key);

// Whether host accepted TLS before, as the settings file remembers it.
bool TlsRemembered(const std::string& settingsFile, const std::string& host);
void RememberTls(const std::string& settingsFile, const std::string& host);

}  // namespace nb
