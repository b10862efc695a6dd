// The platform-independent half of the stack: error texts, result checks, address parsing and
// the reference-counted shared instance.
#include "net/transport/IdStack.h"

#include <atomic>
#include <cctype>
#include <memory>
#include <mutex>

#include "net/transport/IdException.h"
#include "net/transport/IdStackPlatform.h"
#include "platform/Format.h"

namespace nb {

namespace {

struct ErrorText {
    int32_t Code;
    const char* Text;
};

constexpr ErrorText kErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

// Plain decimal digits only; anything else (empty, signs, hex, overflow) is -1.
int64_t PartValue(const std::string& part) {
    if (part.empty() || part.size() > 10) return -1;
    int64_t value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool InRange(int64_t v, int64_t max) { return v >= 0 && v <= max; }

std::mutex gSharedLock;
int gSharedCount = 0;
std::unique_ptr<TIdStack> gSharedOwner;
std::atomic<TIdStack*> gShared{nullptr};
std::atomic<bool> gSocketsStarted{false};

}  // namespace

std::string SocketErrorTableText(int32_t code) {
    for (const auto& e : kErrorTexts)
        if (e.Code == code) return e.Text;
    return {};
}

std::string TIdStack::SocketErrorText(int32_t code) {
    return Format("Socket Error # %d\r\n%s", code, SocketErrorTableText(code).c_str());
}

std::string TIdStack::AddressToText(const TIdIPv4Bytes& address) {
    return Format("%u.%u.%u.%u", address.Bytes[0], address.Bytes[1], address.Bytes[2], address.Bytes[3]);
}

TIdIPv4Bytes TIdStack::TextToAddress(const std::string& text) {
    TIdIPv4Bytes address;
    if (ParseAddress(text, address) == TIdIPAddressKind::Invalid)
        throw EIdInvalidIPAddress(Format("%s is not a valid IP address.", text.c_str()));
    return address;
}

void TIdStack::StartSockets() {
    // BSD sockets need no library start-up; the flag only keeps the once-per-process rule.
    gSocketsStarted.store(true);
}

bool TIdStack::CheckResult(int32_t result, std::initializer_list<int32_t> tolerated) {
    if (result != Id_SOCKET_ERROR) return false;
    LastErrorCode = LastSocketError();
    for (int32_t code : tolerated)
        if (code == LastErrorCode) return true;
    ThrowSocketError(LastErrorCode);
}

void TIdStack::ThrowSocketError(int32_t code) { throw EIdSocketError(code, SocketErrorText(code)); }

TIdStackSocketHandle TIdStack::NewSocket(int type, int protocol) {
    TIdStackSocketHandle s = OpenSocket(Id_PF_INET, type, protocol);
    if (s == Id_INVALID_SOCKET) throw EIdInvalidSocket();
    return s;
}

std::string TIdStack::HostToAddress(const std::string& host) {
    static const char kLocal[] = "LOCALHOST";
    bool isLocal = host.size() == sizeof(kLocal) - 1;
    for (size_t i = 0; isLocal && i < host.size(); ++i)
        isLocal = std::toupper(static_cast<unsigned char>(host[i])) == kLocal[i];
    if (isLocal) return "127.0.0.1";
    if (IsAddressLiteral(host)) return host;
    return LookupHost(host);
}

bool TIdStack::IsAddressLiteral(const std::string& text) {
    TIdIPv4Bytes unused;
    return ParseAddress(text, unused) != TIdIPAddressKind::Invalid;
}

TIdIPAddressKind TIdStack::ParseAddress(const std::string& text, TIdIPv4Bytes& address) {
    std::string parts[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        if (start > text.size()) break;
        size_t dot = i < 3 ? text.find('.', start) : std::string::npos;
        if (dot == std::string::npos) {
            parts[i] = text.substr(start);
            break;
        }
        parts[i] = text.substr(start, dot - start);
        start = dot + 1;
    }
    int64_t v[4];
    for (int i = 0; i < 4; ++i) v[i] = PartValue(parts[i]);
    uint8_t* b = address.Bytes;
    if (parts[1].empty()) {
        if (!InRange(v[0], 4294967295LL)) return TIdIPAddressKind::Invalid;
        for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v[0] >> (24 - 8 * i));
        return TIdIPAddressKind::Numeric;
    }
    if (parts[2].empty()) {
        if (!InRange(v[0], 255) || !InRange(v[1], 16777215)) return TIdIPAddressKind::Invalid;
        b[0] = static_cast<uint8_t>(v[0]);
        for (int i = 1; i < 4; ++i) b[i] = static_cast<uint8_t>(v[1] >> (24 - 8 * i));
        return TIdIPAddressKind::Dotted;
    }
    if (parts[3].empty()) {
        if (!InRange(v[0], 255) || !InRange(v[1], 255) || !InRange(v[2], 65535)) return TIdIPAddressKind::Invalid;
        b[0] = static_cast<uint8_t>(v[0]);
        b[1] = static_cast<uint8_t>(v[1]);
        b[2] = static_cast<uint8_t>(v[2] >> 8);
        b[3] = static_cast<uint8_t>(v[2]);
        return TIdIPAddressKind::Dotted;
    }
    for (int i = 0; i < 4; ++i) {
        if (!InRange(v[i], 255)) return TIdIPAddressKind::Invalid;
        b[i] = static_cast<uint8_t>(v[i]);
    }
    return TIdIPAddressKind::Dotted;
}

int32_t TIdStack::ConnectSocketWithin(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port,
                                      int32_t) {
    return ConnectSocket(s, family, ip, port);
}

int32_t TIdStack::SetSendTimeout(TIdStackSocketHandle s, int32_t timeoutMs) {
    const uint32_t value = static_cast<uint32_t>(timeoutMs < 0 ? 0 : timeoutMs);
    return SetSocketOption(s, Id_SOL_SOCKET, Id_SO_SNDTIMEO, &value, static_cast<int32_t>(sizeof value));
}

int32_t TIdStack::SendManyOn(TIdStackSocketHandle s, TIdSendChunk* chunks, int32_t count, int flags) {
    return SendChunksInTurn(chunks, count,
                            [&](const void* buffer, int32_t length) { return SendOn(s, buffer, length, flags); });
}

int32_t SendChunksInTurn(TIdSendChunk* chunks, int32_t count,
                         const std::function<int32_t(const void* buffer, int32_t length)>& sendOne) {
    for (int32_t i = 0; i < count; ++i) chunks[i].Sent = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t n = sendOne(chunks[i].Buffer, chunks[i].Length);
        if (n == Id_SOCKET_ERROR) return Id_SOCKET_ERROR;
        chunks[i].Sent = n;
        if (n < chunks[i].Length) return i + 1;
    }
    return count;
}

TIdStack* SharedStack() { return gShared.load(std::memory_order_acquire); }

void AcquireSharedStack() {
    std::lock_guard<std::mutex> lock(gSharedLock);
    if (gSharedCount == 0) {
        gSharedOwner = NewPlatformStack();
        gShared.store(gSharedOwner.get(), std::memory_order_release);
    }
    ++gSharedCount;
}

void ReleaseSharedStack() {
    std::lock_guard<std::mutex> lock(gSharedLock);
    if (gSharedCount == 1) {
        gShared.store(nullptr, std::memory_order_release);
        gSharedOwner.reset();
    }
    if (gSharedCount > 0) --gSharedCount;
}

}  // namespace nb
