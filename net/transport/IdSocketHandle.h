#pragma once
// One socket with its local and remote IPv4 address and port, and each operation's error policy.
#include <cstdint>
#include <string>

#include "net/transport/IdDeadline.h"
#include "net/transport/IdStack.h"

namespace nb {

class TIdSocketHandle {
public:
    TIdSocketHandle();
    virtual ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    TIdStackSocketHandle Socket = Id_INVALID_SOCKET;
    bool Allocated = false;
    std::string IP;  // local address; before binding, the address to bind to (empty = any)
    std::string RemoteIP;
    int32_t Port = 0;  // local port; before binding, the port to bind to (0 = any)
    int32_t RemotePort = 0;
    int32_t ClientPortMin = 0;
    int32_t ClientPortMax = 0;
    // The send time-out set on Socket (ms, 0: none).
    int32_t SendTimeout = 0;

    virtual void Release();
    virtual int32_t ConnectPeer(int family);
    // ConnectPeer bounded by timeoutMs (> 0; running out fails with 10060); others wait as ConnectPeer.
    int32_t ConnectPeerWithin(int family, int32_t timeoutMs);

    void Allocate(int socketType, int protocol);
    void ClearState(bool resetLocal);
    void BindLocal();
    bool TryBindLocal();
    void SetRemote(const std::string& ip, int32_t port);
    void ListenFor(int32_t backlog);
    bool AcceptFrom(TIdStackSocketHandle listeningSocket);
    bool WaitReadable(int32_t milliseconds);
    int32_t ReceiveRaw(void* buffer, int32_t length, int flags);
    int32_t SendRaw(const void* buffer, int32_t length, int flags);
    int32_t SendManyRaw(TIdSendChunk* chunks, int32_t count, int flags);
    int32_t ReceiveFromPeer(void* buffer, int32_t length, int flags, std::string& ip, int32_t& port);
    void SendToAddress(const std::string& ip, int32_t port, const void* buffer, int32_t length);
    void SetOption(int level, int optName, const void* value, int32_t length);
    // Sets the socket's send time-out unless it is already timeoutMs.
    void SetSendTimeout(int32_t timeoutMs);
    // Every later send (SendRaw, SendManyRaw) may wait only for what is left until deadline;
    // once it has passed, a send fails with 10060 untried.
    void SetSendDeadline(const TIdDeadline& deadline) { sendDeadline_ = deadline; }
    void RefreshLocal();
    void RefreshRemote();

private:
    // The send time-out for what is left of the deadline; false once it has passed.
    bool ApplySendDeadline();

    TIdDeadline sendDeadline_;
};

}  // namespace nb
