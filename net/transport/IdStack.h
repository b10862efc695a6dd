#pragma once
// The process-wide socket stack: every socket call of the system goes through SharedStack().
// Error codes are the Windows Sockets numbers; native codes are mapped onto them.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace nb {

using TIdStackSocketHandle = int32_t;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = -1;
constexpr int32_t Id_SOCKET_ERROR = -1;

constexpr int Id_PF_INET = 2;
constexpr int Id_SOCK_STREAM = 1;
constexpr int Id_SOCK_DGRAM = 2;
constexpr int Id_SOCK_RAW = 3;
constexpr int Id_IPPROTO_IP = 0;
constexpr int Id_IPPROTO_ICMP = 1;
constexpr int Id_IPPROTO_TCP = 6;
constexpr int Id_TCP_NODELAY = 1;
constexpr int Id_IP_TTL = 4;
constexpr int Id_SOL_SOCKET = 0xffff;
constexpr int Id_SO_REUSEADDR = 0x0004;
constexpr int Id_SO_KEEPALIVE = 0x0008;
constexpr int Id_SO_LINGER = 0x0080;
constexpr int Id_SO_SNDBUF = 0x1001;
constexpr int Id_SO_SNDTIMEO = 0x1005;
constexpr int Id_SO_RCVBUF = 0x1002;
constexpr int Id_SO_ERROR = 0x1007;
constexpr int Id_SO_TYPE = 0x1008;
constexpr int Id_SD_Recv = 0;
constexpr int Id_SD_Send = 1;
constexpr int Id_SD_Both = 2;

// Windows Sockets error numbers used by the callers' tolerance lists.
constexpr int32_t Id_WSAEINTR = 10004;
constexpr int32_t Id_WSAENOTSOCK = 10038;
constexpr int32_t Id_WSAEMSGSIZE = 10040;
constexpr int32_t Id_WSAEADDRINUSE = 10048;
constexpr int32_t Id_WSAENETDOWN = 10050;
constexpr int32_t Id_WSAENETUNREACH = 10051;
constexpr int32_t Id_WSAECONNABORTED = 10053;
constexpr int32_t Id_WSAECONNRESET = 10054;
constexpr int32_t Id_WSAESHUTDOWN = 10058;
constexpr int32_t Id_WSAETIMEDOUT = 10060;
constexpr int32_t Id_WSAECONNREFUSED = 10061;
constexpr int32_t Id_WSAEHOSTUNREACH = 10065;
constexpr int32_t Id_WSAHOST_NOT_FOUND = 11001;

enum class TIdIPAddressKind { Invalid, Dotted, Numeric };
struct TIdIPv4Bytes {
    uint8_t Bytes[4] = {0, 0, 0, 0};  // network order: the first number of the dotted form first
};
using TIdSocketList = std::vector<TIdStackSocketHandle>;

// One piece of a batched send: Length bytes at Buffer; Sent receives how many of them went out.
struct TIdSendChunk {
    const void* Buffer = nullptr;
    int32_t Length = 0;
    int32_t Sent = 0;
};

// Sends the chunks one by one with sendOne, stopping at the first one not taken whole. Answers
// the number of chunks that went out (the last of them possibly in part), or -1 when a send
// failed; Sent is filled in for every chunk either way.
int32_t SendChunksInTurn(TIdSendChunk* chunks, int32_t count,
                         const std::function<int32_t(const void* buffer, int32_t length)>& sendOne);

class TIdStack {
public:
    virtual ~TIdStack() = default;
    TIdStack() = default;
    TIdStack(const TIdStack&) = delete;
    TIdStack& operator=(const TIdStack&) = delete;

    int32_t LastErrorCode = 0;

    virtual TIdStackSocketHandle AcceptSocket(TIdStackSocketHandle s, std::string& ip, int32_t& port) = 0;
    virtual int32_t BindSocket(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port) = 0;
    virtual int32_t ReleaseSocket(TIdStackSocketHandle s) = 0;
    virtual int32_t ConnectSocket(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port) = 0;
    // A connect bounded by timeoutMs (> 0); running out fails with 10060. Others: ConnectSocket.
    virtual int32_t ConnectSocketWithin(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port,
                                        int32_t timeoutMs);
    virtual std::string LookupHost(const std::string& host) = 0;
    virtual uint16_t HToNs(uint16_t value) = 0;
    virtual int32_t ListenSocket(TIdStackSocketHandle s, int32_t backlog) = 0;
    virtual uint16_t NToHs(uint16_t value) = 0;
    virtual uint32_t HToNl(uint32_t value) = 0;
    virtual uint32_t NToHl(uint32_t value) = 0;
    virtual int32_t ReceiveOn(TIdStackSocketHandle s, void* buffer, int32_t length, int flags) = 0;
    virtual int32_t ReceiveFromOn(TIdStackSocketHandle s, void* buffer, int32_t length, int flags, std::string& ip,
                                  int32_t& port) = 0;
    // Lists that are given are replaced by their ready sockets. -2 waits without limit.
    virtual int32_t SelectSockets(TIdSocketList* readList, TIdSocketList* writeList, TIdSocketList* errorList,
                                  int32_t timeoutMs) = 0;
    virtual int32_t SendOn(TIdStackSocketHandle s, const void* buffer, int32_t length, int flags) = 0;
    // Bounds every later send on s (SendOn, SendManyOn): one that can hand nothing to the
    // connection for timeoutMs fails with 10060 (0: no limit). This one sets the Windows
    // Sockets SO_SNDTIMEO (milliseconds) through SetSocketOption.
    virtual int32_t SetSendTimeout(TIdStackSocketHandle s, int32_t timeoutMs);
    // Each chunk goes out as its own send, in one platform call where the platform has one; may
    // take fewer chunks than offered. Answers as SendChunksInTurn.
    virtual int32_t SendManyOn(TIdStackSocketHandle s, TIdSendChunk* chunks, int32_t count, int flags);
    virtual int32_t SendToOn(TIdStackSocketHandle s, const void* buffer, int32_t length, int flags,
                             const std::string& ip, int32_t port) = 0;
    // Levels and option names are the Windows Sockets numbers (Id_IPPROTO_IP/Id_IP_TTL,
    // Id_SOL_SOCKET/...); other levels pass through unchanged.
    virtual int32_t SetSocketOption(TIdStackSocketHandle s, int level, int optName, const void* value,
                                    int32_t length) = 0;
    virtual TIdStackSocketHandle OpenSocket(int family, int type, int protocol) = 0;
    virtual int32_t ShutdownSocket(TIdStackSocketHandle s, int how) = 0;
    // "Socket Error # %d\r\n%s" with the code and its table text.
    virtual std::string SocketErrorText(int32_t code);
    virtual int32_t LastSocketError() = 0;
    // Sets code as the last socket error, as a call that failed with it would; answers Id_SOCKET_ERROR.
    virtual int32_t FailWith(int32_t code) = 0;
    virtual void PeerAddressOf(TIdStackSocketHandle s, int& family, std::string& ip, int32_t& port) = 0;
    virtual void LocalAddressOf(TIdStackSocketHandle s, int& family, std::string& ip, int32_t& port) = 0;
    virtual int32_t GetSocketOption(TIdStackSocketHandle s, int level, int optName, void* value, int32_t& length) = 0;
    virtual std::string AddressToText(const TIdIPv4Bytes& address);
    virtual TIdIPv4Bytes TextToAddress(const std::string& text);

    void StartSockets();
    // False when result is not -1; true when it is -1 with a tolerated code; raises otherwise.
    bool CheckResult(int32_t result, std::initializer_list<int32_t> tolerated = {});
    [[noreturn]] void ThrowSocketError(int32_t code);
    TIdStackSocketHandle NewSocket(int type, int protocol);
    std::string HostToAddress(const std::string& host);
    bool IsAddressLiteral(const std::string& text);
    static TIdIPAddressKind ParseAddress(const std::string& text, TIdIPv4Bytes& address);
};

// The table text of a Windows Sockets code ("" for codes without one).
std::string SocketErrorTableText(int32_t code);

// The one stack of the process; null while no network component exists.
TIdStack* SharedStack();
void AcquireSharedStack();
void ReleaseSharedStack();

}  // namespace nb
