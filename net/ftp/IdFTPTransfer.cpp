// The FTP client's data transfers: local files and streams, active (PORT) and passive (PASV)
// data connections, and the final reply.
#include <algorithm>
#include <memory>

#include "net/ftp/IdFTP.h"
#include "net/ftp/IdFTPFileStreams.h"
#include "net/ftp/IdSimpleServer.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/ScopeExit.h"
#include "platform/Stream.h"

namespace nb {

namespace {

int32_t StrToInt(const std::string& text) {
    int32_t value = 0;
    if (!TryStrToInt(text, value)) throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
    return value;
}

// The text up to the next comma (all of it when there is none), removed with the comma.
std::string TakePiece(std::string& text) {
    const size_t comma = text.find(',');
    std::string piece = text.substr(0, comma);
    text.erase(0, comma == std::string::npos ? std::string::npos : comma + 1);
    return piece;
}

}  // namespace

// Frees the data connection and clears DataConnection on every path out of a data phase.
class TIdFTP::DataConnectionScope {
public:
    explicit DataConnectionScope(TIdFTP& ftp) : ftp_(ftp) {}
    ~DataConnectionScope() { ftp_.dataConnection_.reset(); }
    DataConnectionScope(const DataConnectionScope&) = delete;
    DataConnectionScope& operator=(const DataConnectionScope&) = delete;

private:
    TIdFTP& ftp_;
};

void TIdFTP::Get(const std::string& remoteName, const std::string& localPath, bool canOverwrite, bool resume) {
    std::unique_ptr<TFileStream> file;
    if (FileExists(localPath)) {
        resume = resume && ResumeSupported();
        if (canOverwrite && !resume) {
            file = std::make_unique<TFileStream>(localPath, fmCreate);
        } else if (!canOverwrite && resume) {
            file = std::make_unique<TFileStream>(localPath, fmOpenWrite | fmShareExclusive);
            file->Seek(0, SeekOrigin::End);
        } else {
            throw EIdFTPFileAlreadyExists();
        }
    } else {
        file = std::make_unique<TFileStream>(localPath, fmCreate);
    }
    TWriteBehindStream writer(*file);
    try {
        GetToStream(remoteName, writer, resume);
    } catch (...) {
        // The file keeps what arrived before the failure.
        try {
            writer.Flush();
        } catch (const EStreamError&) {
        }
        throw;
    }
    writer.Flush();
}

void TIdFTP::GetToStream(const std::string& remoteName, TStream& stream, bool resume) {
    resume = resume && ResumeSupported();
    Retrieve("RETR " + remoteName, stream, resume);
    NotifyAfterGet(stream);
}

void TIdFTP::Put(const std::string& localPath, const std::string& remoteName, bool append) {
    TFileStream file(localPath, fmOpenRead | fmShareDenyNone);
    TReadAheadStream reader(file);
    PutStream(reader, remoteName, append);
}

void TIdFTP::PutStream(TStream& stream, const std::string& remoteName, bool append) {
    if (remoteName.empty()) {
        Store("STOU ", stream, true);
    } else if (append) {
        Store("APPE " + remoteName, stream, false);
    } else {
        Store("STOR " + remoteName, stream, true);
    }
}

void TIdFTP::Retrieve(const std::string& command, TStream& stream, bool resume) {
    ReportStatus(ftpTransfer, {"Starting FTP transfer"});
    {
        ScopeExit ready([this] { ReportStatus(ftpReady, {"Transfer complete"}); });
        RunDataPhase([&] { RetrieveActive(command, stream, resume); },
                     [&] { RetrievePassive(command, stream, resume); });
    }
    ReadFinalReply();
}

void TIdFTP::Store(const std::string& command, TStream& stream, bool fromStart) {
    storeEnd_ = {};
    ReportStatus(ftpTransfer, {"Starting FTP transfer"});
    {
        ScopeExit ready([this] { ReportStatus(ftpReady, {"Transfer complete"}); });
        RunDataPhase([&] { StoreActive(command, stream, fromStart); },
                     [&] { StorePassive(command, stream, fromStart); });
    }
    ReadFinalReply();
}

// Both failures it retries happen before any data moved, so the stream is as it was.
void TIdFTP::RunDataPhase(const std::function<void()>& active, const std::function<void()>& passive) {
    if (Passive) return passive();
    if (!PassiveFallback) return active();
    try {
        return active();
    } catch (const EIdFTPPortRefused&) {
    } catch (const EIdFTPDataConnectionTimeout&) {
        AbortUnopenedTransfer();
    }
    passive();
}

// The server accepted the transfer command but never connected. ABOR, then read replies until
// the conversation is back in step: the answer to ABOR (or its refusal), after any late
// preliminary or "cannot open data connection" replies.
void TIdFTP::AbortUnopenedTransfer() {
    TIdOperationDeadline exchange(*this, TIdDeadline::In(ReadTimeout));
    WriteLine("ABOR");
    for (int replies = 0; replies < 4; ++replies) {
        const int16_t kind = ReadReply({}) / 100;
        if (kind != 1 && kind != 4) return;
    }
}

TIdSimpleServer& TIdFTP::ListenForData() {
    auto server = std::make_unique<TIdSimpleServer>();
    TIdSimpleServer& listener = *server;
    dataConnection_ = std::move(server);
    PrepareDataConnection();
    TIdSocketHandle* control = ControlBinding();
    listener.BoundIP = control ? control->IP : std::string();
    // Only the server we talk to may deliver or fetch the data, and not forever.
    listener.AllowedPeerIP = control ? control->RemoteIP : std::string();
    listener.AcceptTimeout = DataConnectionTimeout;
    listener.StartListening();
    SendPort(*listener.Binding());
    return listener;
}

void TIdFTP::AcceptData(TIdSimpleServer& listener) {
    if (!listener.WaitForPeer()) throw EIdFTPDataConnectionTimeout();
}

void TIdFTP::RetrieveActive(const std::string& command, TStream& stream, bool resume) {
    DataConnectionScope scope(*this);
    TIdSimpleServer& listener = ListenForData();
    if (resume) SendCommand("REST " + std::to_string(stream.Position()), 350);
    SendCommand(command, {125, 150, 154});
    AcceptData(listener);
    SecureData(listener);
    listener.ReadToStream(stream, -1, true);
}

void TIdFTP::StoreActive(const std::string& command, TStream& stream, bool fromStart) {
    DataConnectionScope scope(*this);
    TIdSimpleServer& listener = ListenForData();
    SendCommand(command, {125, 150});
    AcceptData(listener);
    SecureData(listener);
    listener.WriteFromStream(stream, fromStart, false, 0);
    CloseSentData(listener);
}

// The data connection of the connecting way, with a socket transport of its own. It goes to the
// control connection's peer whatever address the PASV reply named, so that a server cannot
// point the client at a third host; only the port is taken from the reply.
TIdTCPClient& TIdFTP::OpenPassiveData(const std::string& host, int32_t port) {
    auto client = std::make_unique<TIdTCPClient>();
    TIdTCPClient& data = *client;
    auto transport = std::make_unique<TIdIOHandlerSocket>();
    if (auto* own = dynamic_cast<TIdIOHandlerSocket*>(IOHandler())) transport->SocksInfo = own->SocksInfo;
    data.SetOwnedIOHandler(std::move(transport));
    dataConnection_ = std::move(client);
    PrepareDataConnection();
    TIdSocketHandle* control = ControlBinding();
    data.Host = control && !control->RemoteIP.empty() ? control->RemoteIP : host;
    data.Port = port;
    data.Connect(DataConnectionTimeout > 0 ? DataConnectionTimeout : -1);
    return data;
}

void TIdFTP::RetrievePassive(const std::string& command, TStream& stream, bool resume) {
    std::string host;
    int32_t port = 0;
    SendPassive(host, port);
    DataConnectionScope scope(*this);
    TIdTCPClient& data = OpenPassiveData(host, port);
    ScopeExit disconnect([&data] { data.Disconnect(); });
    if (resume) SendCommand("REST " + std::to_string(stream.Position()), 350);
    WriteLine(command);
    ReadReply({125, 150, 154});
    SecureData(data);
    data.ReadToStream(stream, -1, true);
}

void TIdFTP::StorePassive(const std::string& command, TStream& stream, bool fromStart) {
    std::string host;
    int32_t port = 0;
    SendPassive(host, port);
    WriteLine(command);
    DataConnectionScope scope(*this);
    TIdTCPClient& data = OpenPassiveData(host, port);
    ScopeExit disconnect([&data] { data.Disconnect(); });
    ReadReply({110, 125, 150});
    SecureData(data);
    try {
        data.WriteFromStream(stream, fromStart, false, 0);
    } catch (const EIdSocketError& e) {
        if (e.ErrorCode != Id_WSAENOTSOCK) throw;
    }
    CloseSentData(data);
}

// Once the last byte went out, the close (TLS's close_notify may have to wait for room on a dead
// line) and the server's final reply share one read time-out: a line cut at the end of a store
// costs one time-out, not one for each.
void TIdFTP::CloseSentData(TIdTCPConnection& data) {
    storeEnd_ = TIdDeadline::In(ReadTimeout);
    TIdOperationDeadline closing(data, storeEnd_);
    data.Disconnect();
}

// Servers start the data connection's handshake once they have announced the transfer, so it
// runs only after the preliminary reply.
void TIdFTP::SecureData(TIdTCPConnection& data) {
    if (!tlsContext_) return;
    data.IOHandler()->StartTLS(*tlsContext_, Host, tlsResuming, DataReadTimeout);
}

void TIdFTP::ReadFinalReply() {
    TIdOperationDeadline confirmation(*this, storeEnd_);
    storeEnd_ = {};
    const int16_t code = ReadReply({225, 226, 250, 426, 450});
    if (code == 426 || code == 450) {
        ReadReply({226, 225});
        ReportStatus(ftpAborted, {"Transfer aborted"});
    }
}

void TIdFTP::SendPort(TIdSocketHandle& binding) {
    std::string address = binding.IP;
    std::replace(address.begin(), address.end(), '.', ',');
    try {
        SendCommand(
            "PORT " + address + "," + std::to_string(binding.Port / 256) + "," + std::to_string(binding.Port % 256),
            200);
    } catch (const EIdProtocolReplyError& e) {
        throw EIdFTPPortRefused(e.ReplyCode, e.what());
    }
}

void TIdFTP::SendPassive(std::string& host, int32_t& port) {
    SendCommand("PASV", 227);
    const auto& lines = LastReply().Text();
    std::string text = TrimText(lines.empty() ? std::string() : lines.front());
    const size_t open = text.find('(');
    const size_t close = text.find(')');
    if (open != std::string::npos && close != std::string::npos) {
        text = close > open ? text.substr(open + 1, close - open - 1) : std::string();
    } else {
        const size_t blank = text.rfind(' ');
        if (blank != std::string::npos) text.erase(0, blank + 1);
    }
    host.clear();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) host += '.';
        host += TakePiece(text);
    }
    const int64_t high = StrToInt(TakePiece(text));
    const int64_t low = StrToInt(TakePiece(text));
    // No range test, as servers are taken at their word; wrap rather than overflow.
    port = static_cast<int32_t>(static_cast<uint32_t>(high * 256 + low));
}

void TIdFTP::PrepareDataConnection() {
    if (!dataConnection_) return;
    dataConnection_->SendBufferSize = SendBufferSize;
    dataConnection_->RecvBufferSize = RecvBufferSize;
    dataConnection_->ReadTimeout = DataReadTimeout;
    dataConnection_->WriteTimeout = WriteTimeout;
    dataConnection_->OnWork = OnWork;
    dataConnection_->OnWorkBegin = OnWorkBegin;
    dataConnection_->OnWorkEnd = OnWorkEnd;
}

}  // namespace nb
