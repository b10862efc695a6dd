// The reachability check, the login and the logout that both workflows share.
#include <algorithm>

#include "app/Service.h"
#include "app/Unit1.h"
#include "platform/Clock.h"
#include "platform/Exception.h"

namespace nb {

namespace {

constexpr int32_t kActiveDataWait = 10000;

}  // namespace

bool TForm1::CheckInternet() {
    TServiceEndpoints service = ReadServiceEndpoints(SettingsFile());
    Ping.ReceiveTimeout = service.ProbeTimeout;
    Ping.Host = service.ProbeHost;
    bool reachable = true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Ping.SendEcho("", 0);
        if (Ping.ReplyStatus.SourceAddress == "0.0.0.0") reachable = false;
    }
    if (!reachable) {
        window_.ShowMessage("인터넷 연결이 되어있지 않습니다.");
        return false;
    }
    window_.SetStatusText("인터넷 사용가능");
    FtpHostName_ = service.FtpHost;
    FtpPort_ = service.FtpPort;
    // A server that stops answering, or a cable pulled mid-transfer, must end the press with
    // its failure message instead of blocking the window for good.
    IdFTP1.ReadTimeout = service.TransferTimeout;
    IdFTP1.WriteTimeout = service.TransferTimeout;
    IdFTP1.DataReadTimeout = service.TransferTimeout;
    // Behind most home routers the server's connection back never arrives; a server that can
    // reach the client does so within a second or two, so the passive retry comes soon.
    IdFTP1.DataConnectionTimeout = std::min(service.TransferTimeout, kActiveDataWait);
    IdFTP1.PassiveFallback = true;
    IdFTP1.UseTLS = service.Tls;
    IdFTP1.TlsCaFile = service.TlsCaFile;
    Generations_ = service.Generations;
    KeepAlive_ = service.KeepAlive;
    return true;
}

bool TForm1::ConnectServer() {
    try {
        IdFTP1.Username = window_.UserIDText();
        IdFTP1.Password = window_.PasswordText();
        IdFTP1.Host = FtpHostName_;
        IdFTP1.Port = FtpPort_;
        IdFTP1.TlsExpected = TlsRemembered(SettingsFile(), FtpHostName_);
        IdFTP1.Connect(true, -1);
        lastServerTick_ = TickCount();
        // From now on a refusal of TLS by this host is someone else answering for it.
        if (IdFTP1.TlsActive()) RememberTls(SettingsFile(), FtpHostName_);
        window_.SetStatusText("서버 접속 완료");
        WriteSetting(FtpHostName_, "FTPHOST");
        WriteSetting(window_.UserIDText(), "HOSTID");
        WriteSetting(window_.PasswordText(), "HOSTPASS");
        return true;
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
        window_.ShowMessage("서버 접속에 실패하였습니다.");
        return false;
    }
}

bool TForm1::DisconnectServer() {
    try {
        IdFTP1.Quit();
    } catch (...) {
        // The QUIT line could not be written on a broken connection: close it all the same.
        try {
            IdFTP1.Disconnect();
        } catch (...) {
        }
    }
    window_.SetStatusText("서버 단절");
    return true;
}

}  // namespace nb
