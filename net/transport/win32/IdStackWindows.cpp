// TIdStack over Windows Sockets 2. WS2_32.DLL is loaded when the first stack starts and each
// function is bound on its first use, so a machine without the library gets a clear error rather
// than a program that does not load. Error numbers and texts are the system's own.
//
// Socket handles travel as TIdStackSocketHandle (int32_t): Windows socket handles are kernel
// handles, which the system keeps within 32 bits (so 32- and 64-bit processes can share them);
// sign extension turns -1 back into INVALID_SOCKET.
#include "net/transport/win32/IdStackWindows.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "net/transport/IdException.h"
#include "platform/Format.h"

namespace nb {

namespace {

constexpr int32_t kWSANOTINITIALISED = 10093;
constexpr int32_t kMaxSendBatch = 64;

enum Fn {
    fWSAStartup,
    fWSACleanup,
    fWSAGetLastError,
    fWSASetLastError,
    fSocket,
    fBind,
    fCloseSocket,
    fConnect,
    fGetHostByName,
    fHtons,
    fNtohs,
    fHtonl,
    fNtohl,
    fListen,
    fAccept,
    fRecv,
    fRecvFrom,
    fSelect,
    fSend,
    fWSASend,
    fSendTo,
    fSetSockOpt,
    fGetSockOpt,
    fShutdown,
    fGetPeerName,
    fGetSockName,
    fIoctlSocket,
    fCount
};
constexpr const char* kFnNames[fCount] = {
    "WSAStartup", "WSACleanup",    "WSAGetLastError", "WSASetLastError", "socket",      "bind",        "closesocket",
    "connect",    "gethostbyname", "htons",           "ntohs",           "htonl",       "ntohl",       "listen",
    "accept",     "recv",          "recvfrom",        "select",          "send",        "WSASend",     "sendto",
    "setsockopt", "getsockopt",    "shutdown",        "getpeername",     "getsockname", "ioctlsocket",
};

std::mutex gLoadLock;
std::string gLibraryName = "WS2_32.DLL";
std::atomic<HMODULE> gLibrary{nullptr};
std::atomic<bool> gStarted{false};
std::atomic<FARPROC> gSlots[fCount];
std::atomic<bool> gRawForbidden{false};

std::string Utf8Of(const wchar_t* text, int length) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring WideOf(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// The system's own text for an error code, without its line end ("" when it has none).
std::string SystemText(DWORD code) {
    wchar_t* text = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n ? Utf8Of(text, static_cast<int>(n)) : std::string();
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out;
}

[[noreturn]] void ThrowCallError(Fn f, DWORD code) {
    throw EIdWS2StubError(Format("Error on call Winsock2 library function %s", kFnNames[f]), static_cast<int32_t>(code),
                          SystemText(code));
}

template <typename T>
T* Ws(Fn f) {
    FARPROC p = gSlots[f].load(std::memory_order_acquire);
    if (!p) {
        HMODULE library = gLibrary.load(std::memory_order_acquire);
        if (!library) ThrowCallError(f, kWSANOTINITIALISED);
        p = GetProcAddress(library, kFnNames[f]);
        // A library without the function: the same error, with the system's reason.
        if (!p) ThrowCallError(f, GetLastError());
        gSlots[f].store(p, std::memory_order_release);
    }
    // Through void(*)(): the one function type the compiler accepts any other from.
    return reinterpret_cast<T*>(reinterpret_cast<void (*)()>(p));
}

void Unbind() {
    for (auto& slot : gSlots) slot.store(nullptr);
}

void StartWinsock() {
    std::lock_guard<std::mutex> lock(gLoadLock);
    if (gStarted.load()) return;
    if (!gLibrary.load()) {
        HMODULE library = LoadLibraryW(WideOf(gLibraryName).c_str());
        if (!library) {
            DWORD code = GetLastError();
            throw EIdWS2StubError(Format("Error on loading Winsock2 library (%s)", gLibraryName.c_str()),
                                  static_cast<int32_t>(code), SystemText(code));
        }
        gLibrary.store(library);
    }
    WSADATA data{};
    if (Ws<int WSAAPI(WORD, LPWSADATA)>(fWSAStartup)(0x0202, &data) != 0) throw EIdStackInitializationFailed();
    gStarted.store(true);
}

void StopWinsock(bool unload) {
    std::lock_guard<std::mutex> lock(gLoadLock);
    HMODULE library = gLibrary.load();
    if (library && gStarted.load()) Ws<int WSAAPI()>(fWSACleanup)();
    gStarted.store(false);
    Unbind();
    gLibrary.store(nullptr);
    if (library && unload) FreeLibrary(library);
}

// Process end cleans up what the first stack started.
struct ProcessEnd {
    ~ProcessEnd() { StopWinsock(true); }
} gProcessEnd;

SOCKET Native(TIdStackSocketHandle s) { return static_cast<SOCKET>(static_cast<intptr_t>(s)); }
TIdStackSocketHandle Handle(SOCKET s) { return static_cast<TIdStackSocketHandle>(static_cast<intptr_t>(s)); }

int32_t Fail(int32_t code) {
    Ws<void WSAAPI(int)>(fWSASetLastError)(code);
    return Id_SOCKET_ERROR;
}

int32_t Result(int r) { return r == SOCKET_ERROR ? Id_SOCKET_ERROR : r; }

uint16_t Checksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (length & 1) sum += static_cast<uint32_t>(data[length - 1] << 8);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// ---- The echo service: IcmpSendEcho2 behind a socket handle -----------------------------------

constexpr int kIpHeaderSize = 20;
constexpr int kIcmpHeaderSize = 8;
// IcmpSendEcho2 takes no wait from our callers, who wait with select afterwards; the echo
// client's own default bounds it.
constexpr DWORD kEchoTimeoutMs = 5000;

using IcmpCreateFileFn = HANDLE WINAPI();
using IcmpCloseHandleFn = BOOL WINAPI(HANDLE);
using IcmpSendEcho2Fn = DWORD WINAPI(HANDLE, HANDLE, FARPROC, PVOID, IPAddr, LPVOID, WORD, PIP_OPTION_INFORMATION,
                                     LPVOID, DWORD, DWORD);

struct EchoLibrary {
    HMODULE Module = nullptr;
    IcmpCreateFileFn* Create = nullptr;
    IcmpCloseHandleFn* Close = nullptr;
    IcmpSendEcho2Fn* Send = nullptr;

    bool Load() {
        if (Send) return true;
        if (!Module) Module = LoadLibraryW(L"iphlpapi.dll");
        if (!Module) return false;
        auto bind = [&](const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(Module, name)); };
        Create = reinterpret_cast<IcmpCreateFileFn*>(bind("IcmpCreateFile"));
        Close = reinterpret_cast<IcmpCloseHandleFn*>(bind("IcmpCloseHandle"));
        Send = Create && Close ? reinterpret_cast<IcmpSendEcho2Fn*>(bind("IcmpSendEcho2")) : nullptr;
        return Send != nullptr;
    }
    ~EchoLibrary() {
        if (Module) FreeLibrary(Module);
    }
};

// One "raw ICMP socket" without the right to open one: a loopback datagram socket stands in as
// the handle, so that select, options and close work on it; each reply IcmpSendEcho2 brings is
// queued as the datagram a raw socket would have delivered, and a one-byte note sent to the
// stand-in makes it readable.
struct EchoSocket {
    HANDLE Icmp = INVALID_HANDLE_VALUE;
    UCHAR Ttl = 128;
    sockaddr_in Self{};
    struct Datagram {
        std::vector<uint8_t> Bytes;
        sockaddr_in From{};
    };
    std::deque<Datagram> Queue;
};

void PutIpHeader(uint8_t* h, size_t total, uint8_t ttl, const void* source, const void* destination) {
    std::memset(h, 0, kIpHeaderSize);
    h[0] = 0x45;
    h[2] = static_cast<uint8_t>(total >> 8);
    h[3] = static_cast<uint8_t>(total);
    h[8] = ttl;
    h[9] = 1;
    std::memcpy(h + 12, source, 4);
    std::memcpy(h + 16, destination, 4);
    uint16_t sum = Checksum(h, kIpHeaderSize);
    h[10] = static_cast<uint8_t>(sum >> 8);
    h[11] = static_cast<uint8_t>(sum);
}

// The ICMP type and code a status of IcmpSendEcho2 stands for; false for statuses that are not
// answers from the network.
bool IcmpTypeOf(ULONG status, uint8_t& type, uint8_t& code) {
    switch (status) {
        case IP_SUCCESS:
            type = 0;
            code = 0;
            return true;
        case IP_DEST_NET_UNREACHABLE:
            type = 3;
            code = 0;
            return true;
        case IP_DEST_HOST_UNREACHABLE:
            type = 3;
            code = 1;
            return true;
        case IP_DEST_PROT_UNREACHABLE:
            type = 3;
            code = 2;
            return true;
        case IP_DEST_PORT_UNREACHABLE:
            type = 3;
            code = 3;
            return true;
        case IP_PACKET_TOO_BIG:
            type = 3;
            code = 4;
            return true;
        case IP_DEST_UNREACHABLE:
            type = 3;
            code = 1;
            return true;
        case IP_TTL_EXPIRED_TRANSIT:
            type = 11;
            code = 0;
            return true;
        case IP_TTL_EXPIRED_REASSEM:
            type = 11;
            code = 1;
            return true;
        default: return false;
    }
}

// The datagram a raw socket would have received for this answer to `request` (the caller's whole
// ICMP message): an echo reply carries the request's identifier, sequence and the data the host
// echoed; an error quotes the request behind its own IPv4 header, as routers do.
EchoSocket::Datagram Rebuild(const ICMP_ECHO_REPLY& reply, const uint8_t* request, int32_t requestLength,
                             IPAddr destination) {
    EchoSocket::Datagram d;
    uint8_t type = 0, code = 0;
    IcmpTypeOf(reply.Status, type, code);
    const in_addr none{};
    std::vector<uint8_t>& b = d.Bytes;
    if (type == 0) {
        size_t dataSize = reply.Data ? reply.DataSize : 0;
        b.resize(kIpHeaderSize + kIcmpHeaderSize + dataSize);
        uint8_t* icmp = b.data() + kIpHeaderSize;
        std::memcpy(icmp + 4, request + 4, 4);  // identifier and sequence, as the host echoes them
        if (dataSize) std::memcpy(icmp + kIcmpHeaderSize, reply.Data, dataSize);
    } else {
        b.resize(kIpHeaderSize + kIcmpHeaderSize + kIpHeaderSize + static_cast<size_t>(requestLength));
        uint8_t* icmp = b.data() + kIpHeaderSize;
        icmp[1] = code;
        uint8_t* quoted = icmp + kIcmpHeaderSize;
        PutIpHeader(quoted, kIpHeaderSize + static_cast<size_t>(requestLength), 1, &none, &destination);
        std::memcpy(quoted + kIpHeaderSize, request, static_cast<size_t>(requestLength));
    }
    uint8_t* icmp = b.data() + kIpHeaderSize;
    icmp[0] = type;
    uint16_t sum = Checksum(icmp, b.size() - kIpHeaderSize);
    icmp[2] = static_cast<uint8_t>(sum >> 8);
    icmp[3] = static_cast<uint8_t>(sum);
    PutIpHeader(b.data(), b.size(), reply.Options.Ttl, &reply.Address, &none);
    d.From.sin_family = AF_INET;
    std::memcpy(&d.From.sin_addr, &reply.Address, 4);
    return d;
}

class TIdStackWindows : public TIdStack {
public:
    TIdStackWindows() {
        StartWinsock();
        StartSockets();
    }

    ~TIdStackWindows() override {
        for (auto& entry : echoSockets_) CloseEcho(*entry.second);
    }

    TIdStackSocketHandle AcceptSocket(TIdStackSocketHandle s, std::string& ip, int32_t& port) override {
        sockaddr_in sa{};
        int len = sizeof sa;
        SOCKET r =
            Ws<SOCKET WSAAPI(SOCKET, sockaddr*, int*)>(fAccept)(Native(s), reinterpret_cast<sockaddr*>(&sa), &len);
        if (r == INVALID_SOCKET) return Id_INVALID_SOCKET;
        ip = TextOf(sa.sin_addr);
        port = ntohs(sa.sin_port);
        return Handle(r);
    }

    int32_t BindSocket(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port) override {
        sockaddr_in sa = MakeAddress(family, ip, port);
        return Result(Ws<int WSAAPI(SOCKET, const sockaddr*, int)>(fBind)(Native(s), reinterpret_cast<sockaddr*>(&sa),
                                                                          sizeof sa));
    }

    int32_t ReleaseSocket(TIdStackSocketHandle s) override {
        if (hasEcho_.load()) {
            std::lock_guard<std::mutex> lock(echoLock_);
            auto it = echoSockets_.find(s);
            if (it != echoSockets_.end()) {
                CloseEcho(*it->second);
                echoSockets_.erase(it);
                hasEcho_.store(!echoSockets_.empty());
            }
        }
        return Result(Ws<int WSAAPI(SOCKET)>(fCloseSocket)(Native(s)));
    }

    int32_t ConnectSocket(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port) override {
        if (ip.empty()) TextToAddress(ip);
        sockaddr_in sa = MakeAddress(family, ip, port);
        return Result(Ws<int WSAAPI(SOCKET, const sockaddr*, int)>(fConnect)(
            Native(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa));
    }

    int32_t ConnectSocketWithin(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port,
                                int32_t timeoutMs) override {
        if (timeoutMs <= 0) return ConnectSocket(s, family, ip, port);
        if (ip.empty()) TextToAddress(ip);
        sockaddr_in sa = MakeAddress(family, ip, port);
        auto ioctl = Ws<int WSAAPI(SOCKET, long, u_long*)>(fIoctlSocket);
        u_long on = 1, off = 0;
        if (ioctl(Native(s), static_cast<long>(FIONBIO), &on) != 0) return Id_SOCKET_ERROR;
        int32_t result = 0;
        if (Ws<int WSAAPI(SOCKET, const sockaddr*, int)>(fConnect)(Native(s), reinterpret_cast<sockaddr*>(&sa),
                                                                   sizeof sa) != 0) {
            result = LastSocketError() == 10035 ? FinishConnect(s, timeoutMs) : Id_SOCKET_ERROR;
        }
        int32_t saved = LastSocketError();
        (void)ioctl(Native(s), static_cast<long>(FIONBIO), &off);
        if (result != 0) Fail(saved);
        return result;
    }

    std::string LookupHost(const std::string& host) override {
        hostent* answer = Ws<hostent * WSAAPI(const char*)>(fGetHostByName)(host.c_str());
        if (!answer || answer->h_addrtype != AF_INET || !answer->h_addr_list || !answer->h_addr_list[0]) {
            if (answer) Fail(Id_WSAHOST_NOT_FOUND);
            CheckResult(Id_SOCKET_ERROR);
        }
        in_addr first;
        std::memcpy(&first, answer->h_addr_list[0], 4);
        return TextOf(first);
    }

    uint16_t HToNs(uint16_t value) override { return Ws<u_short WSAAPI(u_short)>(fHtons)(value); }
    uint16_t NToHs(uint16_t value) override { return Ws<u_short WSAAPI(u_short)>(fNtohs)(value); }
    uint32_t HToNl(uint32_t value) override { return Ws<u_long WSAAPI(u_long)>(fHtonl)(value); }
    uint32_t NToHl(uint32_t value) override { return Ws<u_long WSAAPI(u_long)>(fNtohl)(value); }

    int32_t ListenSocket(TIdStackSocketHandle s, int32_t backlog) override {
        return Result(Ws<int WSAAPI(SOCKET, int)>(fListen)(Native(s), backlog));
    }

    int32_t ReceiveOn(TIdStackSocketHandle s, void* buffer, int32_t length, int flags) override {
        if (hasEcho_.load()) {
            sockaddr_in from{};
            int32_t n = 0;
            if (ReceiveEcho(s, buffer, length, flags, from, n)) return n;
        }
        return Result(
            Ws<int WSAAPI(SOCKET, char*, int, int)>(fRecv)(Native(s), static_cast<char*>(buffer), length, flags));
    }

    int32_t ReceiveFromOn(TIdStackSocketHandle s, void* buffer, int32_t length, int flags, std::string& ip,
                          int32_t& port) override {
        sockaddr_in sa{};
        int32_t n = 0;
        if (!hasEcho_.load() || !ReceiveEcho(s, buffer, length, flags, sa, n)) {
            int len = sizeof sa;
            n = Result(Ws<int WSAAPI(SOCKET, char*, int, int, sockaddr*, int*)>(fRecvFrom)(
                Native(s), static_cast<char*>(buffer), length, flags, reinterpret_cast<sockaddr*>(&sa), &len));
        }
        if (n >= 0) {
            ip = TextOf(sa.sin_addr);
            port = ntohs(sa.sin_port);
        }
        return n;
    }

    int32_t SelectSockets(TIdSocketList* readList, TIdSocketList* writeList, TIdSocketList* errorList,
                          int32_t timeoutMs) override {
        TIdSocketList* lists[3] = {readList, writeList, errorList};
        fd_set sets[3];
        fd_set* given[3] = {nullptr, nullptr, nullptr};
        for (int k = 0; k < 3; ++k) {
            if (!lists[k]) continue;
            // Windows' fd_set is an array of FD_SETSIZE (64) handles.
            if (lists[k]->size() > FD_SETSIZE) throw EIdStackSetSizeExceeded();
            sets[k].fd_count = 0;
            for (TIdStackSocketHandle s : *lists[k]) sets[k].fd_array[sets[k].fd_count++] = Native(s);
            given[k] = &sets[k];
        }
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int r = Ws<int WSAAPI(int, fd_set*, fd_set*, fd_set*, const timeval*)>(fSelect)(
            0, given[0], given[1], given[2], timeoutMs == -2 ? nullptr : &tv);
        if (r == SOCKET_ERROR) return Id_SOCKET_ERROR;
        for (int k = 0; k < 3; ++k) {
            if (!lists[k]) continue;
            lists[k]->clear();
            for (u_int i = 0; i < sets[k].fd_count; ++i) lists[k]->push_back(Handle(sets[k].fd_array[i]));
        }
        return r;
    }

    int32_t SendOn(TIdStackSocketHandle s, const void* buffer, int32_t length, int flags) override {
        return Result(Ws<int WSAAPI(SOCKET, const char*, int, int)>(fSend)(Native(s), static_cast<const char*>(buffer),
                                                                           length, flags));
    }

    // One WSASend gathers the chunks; on a blocking stream socket it takes them all or fails, and
    // the count it reports is spread over the chunks in order.
    int32_t SendManyOn(TIdStackSocketHandle s, TIdSendChunk* chunks, int32_t count, int flags) override {
        count = std::min<int32_t>(count, kMaxSendBatch);
        WSABUF pieces[kMaxSendBatch];
        for (int32_t i = 0; i < count; ++i) {
            chunks[i].Sent = 0;
            pieces[i].len = static_cast<ULONG>(chunks[i].Length);
            pieces[i].buf = static_cast<char*>(const_cast<void*>(chunks[i].Buffer));
        }
        DWORD sent = 0;
        int r = Ws<int WSAAPI(SOCKET, LPWSABUF, DWORD, LPDWORD, DWORD, LPWSAOVERLAPPED,
                              LPWSAOVERLAPPED_COMPLETION_ROUTINE)>(fWSASend)(
            Native(s), pieces, static_cast<DWORD>(count), &sent, static_cast<DWORD>(flags), nullptr, nullptr);
        if (r == SOCKET_ERROR) return Id_SOCKET_ERROR;
        for (int32_t i = 0; i < count; ++i) {
            chunks[i].Sent = static_cast<int32_t>(std::min<DWORD>(sent, static_cast<DWORD>(chunks[i].Length)));
            sent -= static_cast<DWORD>(chunks[i].Sent);
            if (chunks[i].Sent < chunks[i].Length) return i + 1;
        }
        return count;
    }

    int32_t SendToOn(TIdStackSocketHandle s, const void* buffer, int32_t length, int flags, const std::string& ip,
                     int32_t port) override {
        sockaddr_in sa = MakeAddress(AF_INET, ip.empty() ? std::string("0.0.0.0") : ip, port);
        if (hasEcho_.load()) {
            int32_t n = 0;
            if (SendEcho(s, buffer, length, sa, n)) return n;
        }
        return Result(Ws<int WSAAPI(SOCKET, const char*, int, int, const sockaddr*, int)>(fSendTo)(
            Native(s), static_cast<const char*>(buffer), length, flags, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
    }

    int32_t SetSocketOption(TIdStackSocketHandle s, int level, int optName, const void* value,
                            int32_t length) override {
        int r = Ws<int WSAAPI(SOCKET, int, int, const char*, int)>(fSetSockOpt)(
            Native(s), level, optName, static_cast<const char*>(value), length);
        if (r == 0 && level == Id_IPPROTO_IP && optName == Id_IP_TTL && length >= 1 && hasEcho_.load()) {
            std::lock_guard<std::mutex> lock(echoLock_);
            auto it = echoSockets_.find(s);
            int ttl = 0;
            std::memcpy(&ttl, value, static_cast<size_t>(std::min<int32_t>(length, sizeof ttl)));
            if (it != echoSockets_.end()) it->second->Ttl = static_cast<UCHAR>(ttl);
        }
        return Result(r);
    }

    int32_t GetSocketOption(TIdStackSocketHandle s, int level, int optName, void* value, int32_t& length) override {
        int len = length;
        int r = Ws<int WSAAPI(SOCKET, int, int, char*, int*)>(fGetSockOpt)(Native(s), level, optName,
                                                                           static_cast<char*>(value), &len);
        if (r == 0) length = len;
        return Result(r);
    }

    TIdStackSocketHandle OpenSocket(int family, int type, int protocol) override {
        auto open = Ws<SOCKET WSAAPI(int, int, int)>(fSocket);
        bool rawIcmp = family == AF_INET && type == SOCK_RAW && protocol == IPPROTO_ICMP;
        if (!rawIcmp || !gRawForbidden.load()) {
            SOCKET s = open(family, type, protocol);
            if (s != INVALID_SOCKET) return Handle(s);
            if (!rawIcmp || LastSocketError() != 10013) return Id_INVALID_SOCKET;
        }
        return OpenEcho();
    }

    int32_t ShutdownSocket(TIdStackSocketHandle s, int how) override {
        return Result(Ws<int WSAAPI(SOCKET, int)>(fShutdown)(Native(s), how));
    }

    std::string SocketErrorText(int32_t code) override {
        return Format("Socket Error # %d\r\n%s", code, SocketErrorTableText(code).c_str());
    }

    int32_t LastSocketError() override { return Ws<int WSAAPI()>(fWSAGetLastError)(); }
    int32_t FailWith(int32_t code) override { return Fail(code); }

    void PeerAddressOf(TIdStackSocketHandle s, int& family, std::string& ip, int32_t& port) override {
        AddressOf(fGetPeerName, s, family, ip, port);
    }

    void LocalAddressOf(TIdStackSocketHandle s, int& family, std::string& ip, int32_t& port) override {
        AddressOf(fGetSockName, s, family, ip, port);
    }

private:
    std::mutex echoLock_;
    std::map<TIdStackSocketHandle, std::unique_ptr<EchoSocket>> echoSockets_;
    std::atomic<bool> hasEcho_{false};
    EchoLibrary echo_;

    sockaddr_in MakeAddress(int family, const std::string& ip, int32_t port) {
        sockaddr_in sa{};
        sa.sin_family = static_cast<short>(family);
        sa.sin_port = htons(static_cast<u_short>(port));
        if (!ip.empty()) {
            TIdIPv4Bytes b = TextToAddress(ip);
            std::memcpy(&sa.sin_addr, b.Bytes, 4);
        }
        return sa;
    }

    std::string TextOf(const in_addr& addr) {
        TIdIPv4Bytes b;
        std::memcpy(b.Bytes, &addr, 4);
        return AddressToText(b);
    }

    static u_short htons(u_short v) { return static_cast<u_short>((v >> 8) | (v << 8)); }
    static u_short ntohs(u_short v) { return htons(v); }

    int32_t FinishConnect(TIdStackSocketHandle s, int32_t timeoutMs) {
        TIdSocketList writable{s}, failed{s};
        int32_t r = SelectSockets(nullptr, &writable, &failed, timeoutMs);
        if (r == Id_SOCKET_ERROR) return r;
        if (r == 0) return Fail(Id_WSAETIMEDOUT);
        int error = 0;
        int32_t len = sizeof error;
        if (GetSocketOption(s, SOL_SOCKET, SO_ERROR, &error, len) != 0) return Id_SOCKET_ERROR;
        return error != 0 ? Fail(error) : 0;
    }

    void AddressOf(Fn query, TIdStackSocketHandle s, int& family, std::string& ip, int32_t& port) {
        sockaddr_in sa{};
        int len = sizeof sa;
        CheckResult(
            Result(Ws<int WSAAPI(SOCKET, sockaddr*, int*)>(query)(Native(s), reinterpret_cast<sockaddr*>(&sa), &len)));
        family = sa.sin_family;
        ip = TextOf(sa.sin_addr);
        port = ntohs(sa.sin_port);
    }

    // The stand-in of a raw ICMP socket; fails as the raw socket did (10013) when the echo
    // service cannot be reached either.
    TIdStackSocketHandle OpenEcho() {
        std::lock_guard<std::mutex> lock(echoLock_);
        if (!echo_.Load()) return Fail(10013);
        auto state = std::make_unique<EchoSocket>();
        state->Icmp = echo_.Create();
        if (state->Icmp == INVALID_HANDLE_VALUE) return Fail(10013);
        SOCKET s = Ws<SOCKET WSAAPI(int, int, int)>(fSocket)(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        if (s == INVALID_SOCKET) {
            CloseEcho(*state);
            return Id_INVALID_SOCKET;
        }
        sockaddr_in& self = state->Self;
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = 0x0100007f;  // 127.0.0.1 in network order
        int len = sizeof self;
        if (Ws<int WSAAPI(SOCKET, const sockaddr*, int)>(fBind)(s, reinterpret_cast<sockaddr*>(&self), sizeof self) !=
                0 ||
            Ws<int WSAAPI(SOCKET, sockaddr*, int*)>(fGetSockName)(s, reinterpret_cast<sockaddr*>(&self), &len) != 0) {
            int32_t code = LastSocketError();
            CloseEcho(*state);
            Ws<int WSAAPI(SOCKET)>(fCloseSocket)(s);
            return Fail(code);
        }
        echoSockets_[Handle(s)] = std::move(state);
        hasEcho_.store(true);
        return Handle(s);
    }

    void CloseEcho(EchoSocket& e) {
        if (e.Icmp != INVALID_HANDLE_VALUE) echo_.Close(e.Icmp);
        e.Icmp = INVALID_HANDLE_VALUE;
    }

    // One echo through IcmpSendEcho2, which waits for its answer; the answer (if any) is queued.
    // The caller's message is an ICMP echo request: the service builds its own header and sends
    // only the data after it.
    bool SendEcho(TIdStackSocketHandle s, const void* buffer, int32_t length, const sockaddr_in& to, int32_t& n) {
        std::lock_guard<std::mutex> lock(echoLock_);
        auto it = echoSockets_.find(s);
        if (it == echoSockets_.end()) return false;
        EchoSocket& e = *it->second;
        const uint8_t* request = static_cast<const uint8_t*>(buffer);
        if (length < kIcmpHeaderSize || request[0] != 8) {
            n = Fail(10045);  // the service sends echo requests only
            return true;
        }
        IP_OPTION_INFORMATION options{};
        options.Ttl = e.Ttl;
        WORD dataSize = static_cast<WORD>(length - kIcmpHeaderSize);
        std::vector<uint8_t> data(request + kIcmpHeaderSize, request + length);
        std::vector<uint8_t> answer(sizeof(ICMP_ECHO_REPLY) + dataSize + 8 + 2 * sizeof(void*) + 256);
        IPAddr destination = to.sin_addr.s_addr;
        DWORD replies = echo_.Send(e.Icmp, nullptr, nullptr, nullptr, destination, data.data(), dataSize, &options,
                                   answer.data(), static_cast<DWORD>(answer.size()), kEchoTimeoutMs);
        n = length;
        if (replies == 0) {
            DWORD error = GetLastError();
            if (error != IP_REQ_TIMED_OUT) n = Fail(error == ERROR_INVALID_PARAMETER ? 10022 : 10065);
            return true;
        }
        const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(answer.data());
        uint8_t type = 0, code = 0;
        if (!IcmpTypeOf(reply->Status, type, code)) {
            if (reply->Status != IP_REQ_TIMED_OUT) n = Fail(10065);
            return true;
        }
        e.Queue.push_back(Rebuild(*reply, request, length, destination));
        const char note = 0;
        (void)Ws<int WSAAPI(SOCKET, const char*, int, int, const sockaddr*, int)>(fSendTo)(
            Native(s), &note, 1, 0, reinterpret_cast<const sockaddr*>(&e.Self), sizeof e.Self);
        return true;
    }

    // A queued answer, cut to the caller's buffer as a datagram receive cuts it. Without one the
    // receive waits on the stand-in as any blocking receive would.
    bool ReceiveEcho(TIdStackSocketHandle s, void* buffer, int32_t length, int flags, sockaddr_in& from, int32_t& n) {
        std::unique_lock<std::mutex> lock(echoLock_);
        auto it = echoSockets_.find(s);
        if (it == echoSockets_.end()) return false;
        EchoSocket& e = *it->second;
        if (e.Queue.empty()) {
            lock.unlock();
            char note[16];
            int r = Ws<int WSAAPI(SOCKET, char*, int, int)>(fRecv)(Native(s), note, sizeof note, flags);
            if (r == SOCKET_ERROR) {
                n = Id_SOCKET_ERROR;
                return true;
            }
            lock.lock();
            it = echoSockets_.find(s);
            if (it == echoSockets_.end() || it->second->Queue.empty()) {
                n = Fail(10038);
                return true;
            }
        } else {
            // The note that made the stand-in readable, if it is still there.
            u_long waiting = 0;
            char note[16];
            if (Ws<int WSAAPI(SOCKET, long, u_long*)>(fIoctlSocket)(Native(s), static_cast<long>(FIONREAD), &waiting) ==
                    0 &&
                waiting > 0)
                (void)Ws<int WSAAPI(SOCKET, char*, int, int)>(fRecv)(Native(s), note, sizeof note, 0);
        }
        EchoSocket::Datagram d = std::move(it->second->Queue.front());
        it->second->Queue.pop_front();
        n = static_cast<int32_t>(std::min<size_t>(d.Bytes.size(), static_cast<size_t>(std::max(length, 0))));
        if (n > 0) std::memcpy(buffer, d.Bytes.data(), static_cast<size_t>(n));
        from = d.From;
        return true;
    }
};

}  // namespace

void SetWinsockLibraryName(const std::string& fileName) {
    std::lock_guard<std::mutex> lock(gLoadLock);
    gLibraryName = fileName;
}

// Wine's WS2_32 does not survive being unloaded and loaded again within one process, so the
// module stays mapped (its reference is given up at process end); to the stack it is unloaded.
void ShutDownWinsock() { StopWinsock(false); }

void SetRawSocketsForbidden(bool forbidden) { gRawForbidden.store(forbidden); }

std::unique_ptr<TIdStack> NewPlatformStack() { return std::make_unique<TIdStackWindows>(); }

}  // namespace nb
