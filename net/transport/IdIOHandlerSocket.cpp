#include "net/transport/IdIOHandlerSocket.h"

#include <cstring>

#include "net/transport/IdException.h"

namespace nb {

// The socket's own calls, under the TLS session.
class TIdIOHandlerSocket::RawIO : public TIdTLSRawIO {
public:
    explicit RawIO(TIdSocketHandle& handle) : handle_(handle) {}
    int32_t RawSend(const void* buffer, int32_t length) override { return handle_.SendRaw(buffer, length, 0); }
    int32_t RawReceive(void* buffer, int32_t length) override { return handle_.ReceiveRaw(buffer, length, 0); }
    bool RawWaitReadable(int32_t milliseconds) override { return handle_.WaitReadable(milliseconds); }

private:
    TIdSocketHandle& handle_;
};

TIdIOHandlerSocket::~TIdIOHandlerSocket() { Close(); }

void TIdIOHandlerSocket::EndTLS() {
    if (tls_ && IsOpen()) tls_->Shutdown();
    tls_.reset();
    rawIO_.reset();
}

void TIdIOHandlerSocket::Open() {
    TIdIOHandler::Open();
    EndTLS();
    if (!socketHandle_) {
        socketHandle_ = std::make_unique<TIdSocketHandle>();
    } else {
        // Forgetting an open socket would leak it.
        socketHandle_->Release();
        socketHandle_->ClearState(true);
    }
}

void TIdIOHandlerSocket::Close() {
    TIdIOHandler::Close();
    EndTLS();
    if (socketHandle_) socketHandle_->Release();
}

bool TIdIOHandlerSocket::IsOpen() { return socketHandle_ && socketHandle_->Allocated; }

bool TIdIOHandlerSocket::WaitReadable(int32_t milliseconds) {
    if (!socketHandle_) throw EIdConnClosedGracefully();
    if (tls_) {
        if (tls_->Pending()) return true;
        // A readable socket may hold part of a record only: the receive that follows waits for
        // the rest as long as this wait could have.
        tls_->SetReceiveTimeout(milliseconds);
        tlsReadLimit_ = milliseconds;
    }
    return socketHandle_->WaitReadable(milliseconds);
}

int32_t TIdIOHandlerSocket::Receive(void* buffer, int32_t length) {
    if (!IsOpen()) throw EIdClosedSocket();
    if (!tls_) return socketHandle_->ReceiveRaw(buffer, length, 0);
    // What the session sends while it reads (an answer to a key update) waits no longer than the
    // read may, not for what is left of an earlier send's deadline.
    socketHandle_->SetSendDeadline(TIdDeadline::In(tlsReadLimit_));
    tlsReadLimit_ = 0;
    const int32_t n = tls_->Receive(buffer, length);
    tls_->SetReceiveTimeout(0);
    return n;
}

int32_t TIdIOHandlerSocket::Send(const void* buffer, int32_t length) {
    if (!IsOpen()) throw EIdClosedSocket();
    if (!tls_) return socketHandle_->SendRaw(buffer, length, 0);
    tls_->Send(buffer, length);
    return length;
}

int32_t TIdIOHandlerSocket::SendMany(TIdSendChunk* chunks, int32_t count) {
    if (!IsOpen()) throw EIdClosedSocket();
    if (!tls_) return socketHandle_->SendManyRaw(chunks, count, 0);
    // The chunks go out as full records rather than one small record each.
    int64_t total = 0;
    for (int32_t i = 0; i < count; ++i) total += chunks[i].Length;
    tlsBatch_.resize(static_cast<size_t>(total));
    size_t at = 0;
    for (int32_t i = 0; i < count; ++i) {
        std::memcpy(tlsBatch_.data() + at, chunks[i].Buffer, static_cast<size_t>(chunks[i].Length));
        at += static_cast<size_t>(chunks[i].Length);
    }
    tls_->Send(tlsBatch_.data(), static_cast<int32_t>(total));
    for (int32_t i = 0; i < count; ++i) chunks[i].Sent = chunks[i].Length;
    return count;
}

void TIdIOHandlerSocket::StartTLS(TIdTLSContext& context, const std::string& hostName, TIdTLSRole role,
                                  int32_t timeoutMs) {
    if (!IsOpen()) throw EIdClosedSocket();
    EndTLS();
    auto raw = std::make_unique<RawIO>(*socketHandle_);
    socketHandle_->SetSendDeadline(TIdDeadline::In(timeoutMs));
    try {
        tls_ = std::make_unique<TIdTLSSession>(context, *raw, hostName, role, timeoutMs);
    } catch (...) {
        // Nothing may follow a failed handshake in clear.
        Close();
        throw;
    }
    rawIO_ = std::move(raw);
}

void TIdIOHandlerSocket::SetSendDeadline(const TIdDeadline& deadline) {
    if (socketHandle_) socketHandle_->SetSendDeadline(deadline);
}

void TIdIOHandlerSocket::ConnectTo(const std::string& host, int32_t port, const std::string& boundIP, int32_t boundPort,
                                   int32_t boundPortMin, int32_t boundPortMax, int32_t timeout) {
    if (!socketHandle_) socketHandle_ = std::make_unique<TIdSocketHandle>();
    TIdSocketHandle& h = *socketHandle_;
    TIdStack& stack = *SharedStack();
    h.Allocate(Id_SOCK_STREAM, 0);
    h.IP = boundIP;
    h.Port = boundPort;
    h.ClientPortMin = boundPortMin;
    h.ClientPortMax = boundPortMax;
    h.BindLocal();
    if (!stack.IsAddressLiteral(host)) ReportStatus(hsResolving, {host});
    std::string address = stack.HostToAddress(host);
    h.SetRemote(address, port);
    if (!UseNagle) {
        int32_t on = 1;
        h.SetOption(Id_IPPROTO_TCP, Id_TCP_NODELAY, &on, sizeof on);
    }
    ReportStatus(hsConnecting, {address});
    stack.CheckResult(timeout > 0 ? h.ConnectPeerWithin(Id_PF_INET, timeout) : h.ConnectPeer(Id_PF_INET));
}

}  // namespace nb
