#include "net/transport/IdIOHandlerSocket.h"

#include "net/transport/IdException.h"

namespace nb {

TIdIOHandlerSocket::~TIdIOHandlerSocket() { Close(); }

void TIdIOHandlerSocket::Open() {
    TIdIOHandler::Open();
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
    if (socketHandle_) socketHandle_->Release();
}

bool TIdIOHandlerSocket::IsOpen() { return socketHandle_ && socketHandle_->Allocated; }

bool TIdIOHandlerSocket::WaitReadable(int32_t milliseconds) {
    if (!socketHandle_) throw EIdConnClosedGracefully();
    return socketHandle_->WaitReadable(milliseconds);
}

int32_t TIdIOHandlerSocket::Receive(void* buffer, int32_t length) {
    if (!IsOpen()) throw EIdClosedSocket();
    return socketHandle_->ReceiveRaw(buffer, length, 0);
}

int32_t TIdIOHandlerSocket::Send(const void* buffer, int32_t length) {
    if (!IsOpen()) throw EIdClosedSocket();
    return socketHandle_->SendRaw(buffer, length, 0);
}

int32_t TIdIOHandlerSocket::SendMany(TIdSendChunk* chunks, int32_t count) {
    if (!IsOpen()) throw EIdClosedSocket();
    return socketHandle_->SendManyRaw(chunks, count, 0);
}

void TIdIOHandlerSocket::SetSendTimeout(int32_t timeoutMs) {
    if (IsOpen()) socketHandle_->SetSendTimeout(timeoutMs);
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
