// The FTP client's control connection: connect with greeting and login, type, system, size,
// resume probe and quit.
#include "net/ftp/IdFTP.h"

#include <cctype>

#include "net/transport/IdIOHandlerSocket.h"
#include "platform/ScopeExit.h"
#include "platform/Text.h"

namespace nb {

TIdFTP::TIdFTP() { Port = 21; }

TIdFTP::~TIdFTP() = default;

TIdSocketHandle* TIdFTP::ControlBinding() {
    auto* transport = dynamic_cast<TIdIOHandlerSocket*>(IOHandler());
    return transport ? transport->SocketHandle() : nullptr;
}

void TIdFTP::Connect(bool autoLogin, int32_t timeout) {
    tlsContext_.reset();
    try {
        const std::string host = Host;
        const int32_t port = Port;
        try {
            TIdTCPClient::Connect(timeout);
        } catch (...) {
            Host = host;
            Port = port;
            throw;
        }
        Host = host;
        Port = port;
        ReadReply({220});
        GreetingReply().Assign(LastReply());
        NegotiateTls();
        if (autoLogin) {
            Login();
            if (OnAfterClientLogin) OnAfterClientLogin(*this);
            if (SendCommand("SYST", {200, 215, 500}) == 500) {
                systemDescription_ = "Unknown";
            } else {
                const auto& text = LastReply().Text();
                systemDescription_ = text.empty() ? std::string() : text.front();
            }
            ReportStatus(ftpReady, {"Connection established"});
        }
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TIdFTP::NegotiateTls() {
    if (UseTLS == ftpTlsOff) return;
    const int16_t code = SendCommand("AUTH TLS");
    if (code == 234) {
        // Bytes behind the answer came in clear, perhaps from someone else than the server.
        if (Incoming.Size() > 0) throw EIdTLSError("the server sent unprotected data after accepting TLS");
        // Each data connection resumes the control connection's session.
        auto context = std::make_unique<TIdTLSContext>(TIdTLSConfig{TlsCaFile, true});
        IOHandler()->StartTLS(*context, Host, tlsPrimary, ReadTimeout);
        tlsContext_ = std::move(context);
        if (OnTlsEstablished) OnTlsEstablished(*this);
        return;
    }
    const auto& lines = LastReply().Text();
    const std::string reply = std::to_string(code) + " " + (lines.empty() ? std::string() : lines.front());
    // Servers without TLS answer with whatever they say to an unknown command before login.
    if (code / 100 != 4 && code / 100 != 5)
        throw EIdProtocolReplyError(code, "unexpected answer to AUTH TLS: " + reply);
    if (UseTLS == ftpTlsRequire) throw EIdFTPTlsRefused(code, "the server does not offer TLS: " + reply);
    if (TlsExpected) throw EIdFTPTlsRefused(code, "the server refused TLS, though it accepted it before: " + reply);
}

void TIdFTP::Login() {
    if (SendCommand("USER " + Username, {230, 331}) == 331) SendCommand("PASS " + Password, 230);
    loginReply_.Assign(LastReply());
    if (TlsActive()) {
        SendCommand("PBSZ 0", 200);
        SendCommand("PROT P", 200);
    }
    SendTransferType();
}

void TIdFTP::SetTransferType(TIdFTPTransferType value) {
    if (value == transferType_ || dataConnection_) return;
    transferType_ = value;
    if (IsConnected()) SendTransferType();
}

void TIdFTP::SendTransferType() { SendCommand(std::string("TYPE ") + (transferType_ == ftASCII ? "A" : "I"), 200); }

int64_t TIdFTP::Size(const std::string& fileName) {
    if (SendCommand("SIZE " + fileName) != 213) return -1;
    std::string text;
    for (const auto& line : LastReply().Text()) text += line + "\r\n";
    text = TrimText(text);
    const size_t blank = text.find(' ');
    if (blank != std::string::npos) text.erase(0, blank + 1);
    int64_t size = 0;
    return TryStrToInt(text, size) && size >= 0 ? size : -1;
}

std::string TIdFTP::ModifiedTime(const std::string& fileName) {
    if (SendCommand("MDTM " + fileName) != 213 || LastReply().Text().empty()) return {};
    std::string text = TrimText(LastReply().Text().front());
    const size_t blank = text.find(' ');
    if (blank != std::string::npos) text.erase(0, blank + 1);
    // Fourteen digits, then perhaps a fraction.
    if (text.size() < 14) return {};
    for (size_t i = 0; i < text.size(); ++i)
        if (!(std::isdigit(static_cast<unsigned char>(text[i])) || (i == 14 && text[i] == '.' && text.size() > 15)))
            return {};
    return text;
}

void TIdFTP::Noop() {
    const int16_t code = SendCommand("NOOP");
    if (code / 100 != 2) throw EIdProtocolReplyError(code, "unexpected answer to NOOP");
}

void TIdFTP::Rename(const std::string& fromName, const std::string& toName) {
    SendCommand("RNFR " + fromName, 350);
    try {
        SendCommand("RNTO " + toName, 250);
    } catch (const EIdProtocolReplyError& e) {
        throw EIdFTPRenameTargetRefused(e.ReplyCode, e.what());
    }
}

void TIdFTP::Delete(const std::string& fileName) { SendCommand("DELE " + fileName, 250); }

bool TIdFTP::ResumeSupported() {
    if (resumeProbed_) return resumeSupported_;
    resumeProbed_ = true;
    resumeSupported_ = SendCommand("REST 1") == 350;
    SendCommand("REST 0");
    return resumeSupported_;
}

void TIdFTP::Quit() {
    ScopeExit disconnect([this] { Disconnect(); });
    if (IsConnected()) WriteLine("QUIT");
}

void TIdFTP::Abort() {
    if (IsConnected()) WriteLine("ABOR");
    CloseDataConnection();
}

void TIdFTP::CloseDataConnection() {
    if (dataConnection_) dataConnection_->DropConnection();
}

void TIdFTP::WriteLine(const std::string& text) {
    std::string line;
    if (!ToSystemCodePageExact(text, line)) throw EIdFTPTextNotSendable();
    TIdTCPClient::WriteLine(line);
}

void TIdFTP::NotifyAfterGet(TStream& stream) {
    if (OnAfterGet) OnAfterGet(*this, stream);
}

}  // namespace nb
