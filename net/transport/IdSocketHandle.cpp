#include "net/transport/IdSocketHandle.h"

#include "net/transport/IdException.h"
#include "platform/Format.h"

namespace nb {

namespace {

TIdStack& Stack() { return *SharedStack(); }

}  // namespace

// A handle keeps the shared stack alive itself, so that it may outlive its component's base.
TIdSocketHandle::TIdSocketHandle() {
    AcquireSharedStack();
    ClearState(true);
}

TIdSocketHandle::~TIdSocketHandle() {
    Release();
    ReleaseSharedStack();
}

void TIdSocketHandle::Release() {
    if (!Allocated) return;
    Allocated = false;
    (void)Stack().ShutdownSocket(Socket, Id_SD_Send);
    (void)Stack().ReleaseSocket(Socket);
}

int32_t TIdSocketHandle::ConnectPeer(int family) {
    int32_t result = Stack().ConnectSocket(Socket, family, RemoteIP, RemotePort);
    if (result != Id_SOCKET_ERROR) {
        RefreshLocal();
        RefreshRemote();
    }
    return result;
}

int32_t TIdSocketHandle::ConnectPeerWithin(int family, int32_t timeoutMs) {
    int32_t result = Stack().ConnectSocketWithin(Socket, family, RemoteIP, RemotePort, timeoutMs);
    if (result != Id_SOCKET_ERROR) {
        RefreshLocal();
        RefreshRemote();
    }
    return result;
}

void TIdSocketHandle::Allocate(int socketType, int protocol) {
    Release();
    Socket = Stack().NewSocket(socketType, protocol);
    Allocated = true;
    SendTimeout = 0;
    sendDeadline_ = {};
}

void TIdSocketHandle::ClearState(bool resetLocal) {
    Allocated = false;
    Socket = Id_INVALID_SOCKET;
    SendTimeout = 0;
    sendDeadline_ = {};
    if (resetLocal) {
        IP.clear();
        Port = 0;
    }
    RemoteIP.clear();
    RemotePort = 0;
}

void TIdSocketHandle::BindLocal() {
    if (Port != 0 || ClientPortMin == 0 || ClientPortMax == 0) {
        if (!TryBindLocal()) throw EIdCouldNotBindSocket();
        return;
    }
    if (ClientPortMax < ClientPortMin)
        throw EIdInvalidPortRange(Format("Invalid Port Range (%d - %d)", ClientPortMin, ClientPortMax));
    for (int32_t port = ClientPortMax; port >= ClientPortMin; --port) {
        Port = port;
        if (TryBindLocal()) return;
    }
    throw EIdCanNotBindPortInRange(Format("Can not bind in port range (%d - %d)", ClientPortMin, ClientPortMax));
}

bool TIdSocketHandle::TryBindLocal() {
    if (Stack().CheckResult(Stack().BindSocket(Socket, Id_PF_INET, IP, Port), {Id_WSAEADDRINUSE})) return false;
    RefreshLocal();
    return true;
}

void TIdSocketHandle::SetRemote(const std::string& ip, int32_t port) {
    RemoteIP = ip;
    RemotePort = port;
}

void TIdSocketHandle::ListenFor(int32_t backlog) { Stack().CheckResult(Stack().ListenSocket(Socket, backlog)); }

bool TIdSocketHandle::AcceptFrom(TIdStackSocketHandle listeningSocket) {
    ClearState(true);
    std::string ip;
    int32_t port = 0;
    TIdStackSocketHandle s = Stack().AcceptSocket(listeningSocket, ip, port);
    if (Stack().CheckResult(s, {Id_WSAEINTR, Id_WSAENOTSOCK})) return false;
    Socket = s;
    Allocated = true;
    RefreshLocal();
    RefreshRemote();
    return true;
}

bool TIdSocketHandle::WaitReadable(int32_t milliseconds) {
    if (!Allocated) throw EIdConnClosedGracefully();
    TIdSocketList readList{Socket};
    return Stack().SelectSockets(&readList, nullptr, nullptr, milliseconds) == 1;
}

int32_t TIdSocketHandle::ReceiveRaw(void* buffer, int32_t length, int flags) {
    return Stack().ReceiveOn(Socket, buffer, length, flags);
}

bool TIdSocketHandle::ApplySendDeadline() {
    if (!sendDeadline_.Limited()) {
        SetSendTimeout(0);
        return true;
    }
    const int32_t left = sendDeadline_.Remaining();
    if (left <= 0) return false;
    SetSendTimeout(left);
    return true;
}

int32_t TIdSocketHandle::SendRaw(const void* buffer, int32_t length, int flags) {
    if (!ApplySendDeadline()) return Stack().FailWith(Id_WSAETIMEDOUT);
    return Stack().SendOn(Socket, buffer, length, flags);
}

// A platform call that sends each chunk as a send of its own may give each the whole time-out,
// so one call can outlast the deadline; the next then fails untried.
int32_t TIdSocketHandle::SendManyRaw(TIdSendChunk* chunks, int32_t count, int flags) {
    if (!ApplySendDeadline()) {
        for (int32_t i = 0; i < count; ++i) chunks[i].Sent = 0;
        return Stack().FailWith(Id_WSAETIMEDOUT);
    }
    return Stack().SendManyOn(Socket, chunks, count, flags);
}

int32_t TIdSocketHandle::ReceiveFromPeer(void* buffer, int32_t length, int flags, std::string& ip, int32_t& port) {
    return Stack().ReceiveFromOn(Socket, buffer, length, flags, ip, port);
}

void TIdSocketHandle::SendToAddress(const std::string& ip, int32_t port, const void* buffer, int32_t length) {
    int32_t sent = Stack().SendToOn(Socket, buffer, length, 0, ip, port);
    if (sent == Id_SOCKET_ERROR) {
        if (Stack().LastSocketError() == Id_WSAEMSGSIZE) throw EIdPackageSizeTooBig();
        Stack().CheckResult(Id_SOCKET_ERROR);
    }
    if (sent != length) throw EIdNotAllBytesSent();
}

void TIdSocketHandle::SetOption(int level, int optName, const void* value, int32_t length) {
    Stack().CheckResult(Stack().SetSocketOption(Socket, level, optName, value, length));
}

void TIdSocketHandle::SetSendTimeout(int32_t timeoutMs) {
    if (timeoutMs == SendTimeout) return;
    Stack().CheckResult(Stack().SetSendTimeout(Socket, timeoutMs));
    SendTimeout = timeoutMs;
}

void TIdSocketHandle::RefreshLocal() {
    int family = 0;
    Stack().LocalAddressOf(Socket, family, IP, Port);
}

void TIdSocketHandle::RefreshRemote() {
    int family = 0;
    Stack().PeerAddressOf(Socket, family, RemoteIP, RemotePort);
}

}  // namespace nb
