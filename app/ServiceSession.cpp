#include "app/ServiceSession.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Exception.h"

namespace nb {

namespace {

constexpr int32_t kActiveDataWait = 10000;

void CloseQuietly(TIdFTP& ftp) {
    try {
        ftp.Disconnect();
    } catch (...) {
        // Closing what is already broken: nothing is left to save.
    }
}

}  // namespace

TServiceSession::TServiceSession(TWindowLayer& window, TIdFTP& ftp, TIdIcmpClient& ping)
    : window_(window), ftp_(ftp), ping_(ping) {}

void TServiceSession::Configure(const std::string& settingsFile) {
    settingsFile_ = settingsFile;
    endpoints_ = ReadServiceEndpoints(settingsFile);
    ping_.ReceiveTimeout = endpoints_.ProbeTimeout;
    ping_.Host = endpoints_.ProbeHost;
    ftp_.Port = endpoints_.FtpPort;
    // A server that stops answering, or a cable pulled mid-transfer, must end the press with
    // its failure message instead of blocking the window for good.
    ftp_.ReadTimeout = endpoints_.TransferTimeout;
    ftp_.WriteTimeout = endpoints_.TransferTimeout;
    ftp_.DataReadTimeout = endpoints_.TransferTimeout;
    // Behind most home routers the server's connection back never arrives; a server that can
    // reach the client does so within a second or two, so the passive retry comes soon.
    ftp_.DataConnectionTimeout = std::min(endpoints_.TransferTimeout, kActiveDataWait);
    ftp_.PassiveFallback = true;
    ftp_.UseTLS = endpoints_.Tls;
    ftp_.TlsCaFile = endpoints_.TlsCaFile;
}

bool TServiceSession::CheckInternet() {
    bool reachable = true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        ping_.SendEcho("", 0);
        if (ping_.ReplyStatus.SourceAddress == "0.0.0.0") reachable = false;
    }
    if (!reachable) {
        window_.ShowMessage("인터넷 연결이 되어있지 않습니다.");
        return false;
    }
    window_.SetStatusText("인터넷 사용가능");
    ftpHostName_ = endpoints_.FtpHost;
    return true;
}

bool TServiceSession::ConnectServer() {
    try {
        ftp_.Username = window_.UserIDText();
        ftp_.Password = window_.PasswordText();
        ftp_.Host = ftpHostName_;
        ftp_.TlsExpected = TlsRemembered(settingsFile_, ftpHostName_);
        ftp_.Connect(true, -1);
        lastServerTick_ = TickCount();
        // From now on a refusal of TLS by this host is someone else answering for it.
        if (ftp_.TlsActive()) RememberTls(settingsFile_, ftpHostName_);
        window_.SetStatusText("서버 접속 완료");
        WriteServerSetting(settingsFile_, ftpHostName_, "FTPHOST");
        WriteServerSetting(settingsFile_, window_.UserIDText(), "HOSTID");
        WriteServerSetting(settingsFile_, window_.PasswordText(), "HOSTPASS");
        return true;
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
        window_.ShowMessage("서버 접속에 실패하였습니다.");
        return false;
    }
}

bool TServiceSession::DisconnectServer() {
    try {
        ftp_.Quit();
    } catch (...) {
        // The QUIT line could not be written on a broken connection: close it all the same.
        CloseQuietly(ftp_);
    }
    window_.SetStatusText("서버 단절");
    return true;
}

void TServiceSession::KeepAwake() {
    // Servers close a control connection left idle for a while (vsftpd after 300 seconds by
    // default, some after 20).
    if (transferUnderWay_ || !ftp_.IsConnected() || TickCount() - lastServerTick_ < static_cast<uint32_t>(endpoints_.KeepAlive)) return;
    lastServerTick_ = TickCount();
    try {
        ftp_.Noop();
    } catch (...) {
        // The connection is gone; the upload logs in again before it sends anything.
        CloseQuietly(ftp_);
    }
}

bool TServiceSession::EnsureConnected() {
    if (ftp_.IsConnected()) {
        try {
            ftp_.Noop();
            lastServerTick_ = TickCount();
            return true;
        } catch (...) {
            CloseQuietly(ftp_);  // a new connection follows
        }
    }
    try {
        ftp_.Connect(true, -1);
        lastServerTick_ = TickCount();
        return true;
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
        return false;
    }
}

}  // namespace nb
