#pragma once
// The service as one press meets it: the reachability check, the login and the logout, with the
// FTP client and the probe configured in one place from the service's endpoints.
#include <cstdint>
#include <string>

#include "app/Service.h"
#include "app/WindowLayer.h"
#include "net/ftp/IdFTP.h"
#include "net/icmp/IdIcmpClient.h"

namespace nb {

class TServiceSession {
public:
    TServiceSession(TWindowLayer& window, TIdFTP& ftp, TIdIcmpClient& ping);

    // Reads the endpoints from settingsFile (the "Service" section over the compiled values) and
    // sets the probe and the FTP client by them; once at the start of every press.
    void Configure(const std::string& settingsFile);
    const TServiceEndpoints& Endpoints() const { return endpoints_; }
    const std::string& FtpHostName() const { return ftpHostName_; }

    // The steps both presses share, under their own names.
    bool CheckInternet();
    bool ConnectServer();
    bool DisconnectServer();

    // Long local work keeps an idle control connection from the server's idle time-out.
    void KeepAwake();
    // While another thread transfers on the connection, it is neither idle nor ours to use.
    void SetTransferUnderWay(bool underWay) { transferUnderWay_ = underWay; }
    // After a question the server may have closed an idle connection: a quiet new login.
    bool EnsureConnected();

private:
    TWindowLayer& window_;
    TIdFTP& ftp_;
    TIdIcmpClient& ping_;
    std::string settingsFile_;
    TServiceEndpoints endpoints_;
    std::string ftpHostName_;  // set by the reachability check, as the window's field was
    uint32_t lastServerTick_ = 0;
    bool transferUnderWay_ = false;
};

}  // namespace nb
