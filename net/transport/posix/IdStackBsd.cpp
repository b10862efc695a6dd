// TIdStack over BSD sockets (IPv4). Failed calls leave the Windows Sockets number of their errno
// in a per-thread slot that LastSocketError reads, as WSAGetLastError would.
#include "net/transport/posix/IdStackBsd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "net/transport/IdException.h"

namespace nb {

namespace {

constexpr size_t kMaxSetSize = 64;
constexpr int32_t kMaxSendBatch = 64;
constexpr int kIpHeaderSize = 20;

thread_local int32_t tLastError = 0;

int32_t Fail(int32_t code) {
    tLastError = code;
    return Id_SOCKET_ERROR;
}
int32_t FailErrno() { return Fail(WinsockCodeOfErrno(errno)); }
// Stream sockets stay blocking here, so a send that answers "would block" ran out of its send
// time-out; Windows Sockets reports that as 10060.
int32_t FailSend() { return errno == EAGAIN || errno == EWOULDBLOCK ? Fail(Id_WSAETIMEDOUT) : FailErrno(); }

int32_t GaiCode(int gaiError) {
    switch (gaiError) {
        case EAI_NONAME:
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
#endif
            return 11001;              // WSAHOST_NOT_FOUND
        case EAI_AGAIN: return 11002;  // WSATRY_AGAIN
        case EAI_MEMORY: return 10055;
        case EAI_SYSTEM: return WinsockCodeOfErrno(errno);
        default: return 11003;  // WSANO_RECOVERY
    }
}

sockaddr_in MakeAddress(TIdStack& stack, int family, const std::string& ip, int32_t port) {
    sockaddr_in sa{};
    sa.sin_family = static_cast<sa_family_t>(family);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (!ip.empty()) {
        TIdIPv4Bytes b = stack.TextToAddress(ip);
        std::memcpy(&sa.sin_addr, b.Bytes, 4);
    }
    return sa;
}

std::string TextOf(TIdStack& stack, const in_addr& addr) {
    TIdIPv4Bytes b;
    std::memcpy(b.Bytes, &addr, 4);
    return stack.AddressToText(b);
}

// Windows Sockets option numbers onto Linux ones.
bool TranslateOption(int& level, int& name) {
    if (level == Id_IPPROTO_IP) {
        switch (name) {
            case 1: name = IP_OPTIONS; return true;
            case 2: name = IP_HDRINCL; return true;
            case 3: name = IP_TOS; return true;
            case Id_IP_TTL: name = IP_TTL; return true;
            default: return true;
        }
    }
    if (level == Id_SOL_SOCKET) {
        level = SOL_SOCKET;
        switch (name) {
            case Id_SO_REUSEADDR: name = SO_REUSEADDR; return true;
            case Id_SO_KEEPALIVE: name = SO_KEEPALIVE; return true;
            case Id_SO_LINGER: name = SO_LINGER; return true;
            case Id_SO_SNDBUF: name = SO_SNDBUF; return true;
            case Id_SO_RCVBUF: name = SO_RCVBUF; return true;
            case Id_SO_ERROR: name = SO_ERROR; return true;
            case Id_SO_TYPE: name = SO_TYPE; return true;
            default: return false;
        }
    }
    return true;
}

// An unprivileged ICMP socket stands in for a raw one where the process may not open raw sockets.
bool IsIcmpDatagram(int s) {
    int value = 0;
    socklen_t len = sizeof value;
    if (getsockopt(s, SOL_SOCKET, SO_PROTOCOL, &value, &len) != 0 || value != IPPROTO_ICMP) return false;
    len = sizeof value;
    return getsockopt(s, SOL_SOCKET, SO_TYPE, &value, &len) == 0 && value == SOCK_DGRAM;
}

uint16_t HeaderChecksum(const uint8_t* header) {
    uint32_t sum = 0;
    for (int i = 0; i < kIpHeaderSize; i += 2) sum += static_cast<uint32_t>(header[i] << 8 | header[i + 1]);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

constexpr int kIcmpHeaderSize = 8;
// Outer IPv4 header, ICMP error header, quoted IPv4 header; the quoted echo request follows.
constexpr int kErrorPrefixSize = kIpHeaderSize + kIcmpHeaderSize + kIpHeaderSize;
// The socket does not always report the TTL (IP_RECVTTL refused, or no control message); 64 is
// the default of Linux and most hosts, so a reader sees an ordinary value rather than 0.
constexpr int kUnknownTtl = 64;

// One recvmsg whose payload lands after the first `reserved` bytes of the caller's buffer, the
// room the synthesized headers take.
struct IcmpMessage {
    ssize_t Length = -1;
    sockaddr_in Sender{};
    int Ttl = kUnknownTtl;
    bool HasError = false;
    sock_extended_err Error{};
    sockaddr_in Offender{};
};

bool ReadIcmpMessage(int s, void* buffer, int32_t length, int32_t reserved, int flags, IcmpMessage& m) {
    uint8_t discard[1];
    iovec iov{};
    if (length > reserved) {
        iov.iov_base = static_cast<uint8_t*>(buffer) + reserved;
        iov.iov_len = static_cast<size_t>(length - reserved);
    } else {
        iov.iov_base = discard;  // no room for the payload: the datagram is cut to the headers
        iov.iov_len = 0;
    }
    alignas(cmsghdr) char control[256];
    msghdr msg{};
    msg.msg_name = &m.Sender;
    msg.msg_namelen = sizeof m.Sender;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    do m.Length = recvmsg(s, &msg, flags);
    while (m.Length < 0 && errno == EINTR);
    if (m.Length < 0) return false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != IPPROTO_IP) continue;
        if (c->cmsg_type == IP_TTL) {
            std::memcpy(&m.Ttl, CMSG_DATA(c), sizeof m.Ttl);
        } else if (c->cmsg_type == IP_RECVERR && c->cmsg_len >= CMSG_LEN(sizeof m.Error)) {
            m.HasError = true;
            std::memcpy(&m.Error, CMSG_DATA(c), sizeof m.Error);
            if (c->cmsg_len >= CMSG_LEN(sizeof m.Error + sizeof m.Offender))
                std::memcpy(&m.Offender, CMSG_DATA(c) + sizeof m.Error, sizeof m.Offender);
        }
    }
    return true;
}

void PutIpHeader(uint8_t* h, size_t total, int ttl, const in_addr& source, const in_addr& destination) {
    std::memset(h, 0, kIpHeaderSize);
    h[0] = 0x45;
    h[2] = static_cast<uint8_t>(total >> 8);
    h[3] = static_cast<uint8_t>(total);
    h[8] = static_cast<uint8_t>(ttl);
    h[9] = IPPROTO_ICMP;
    std::memcpy(h + 12, &source, 4);
    std::memcpy(h + 16, &destination, 4);
    uint16_t sum = HeaderChecksum(h);
    h[10] = static_cast<uint8_t>(sum >> 8);
    h[11] = static_cast<uint8_t>(sum);
}

// The headers go in front of the payload already in the buffer; a short buffer cuts the
// datagram as a raw receive would.
int32_t Deliver(void* buffer, int32_t length, const uint8_t* prefix, int32_t prefixSize, ssize_t payload) {
    if (length <= 0) return 0;
    std::memcpy(buffer, prefix, static_cast<size_t>(std::min(prefixSize, length)));
    return static_cast<int32_t>(std::min<ssize_t>(prefixSize + payload, length));
}

// An ICMP error as a raw socket delivers it: the offender's IPv4 header, the error's ICMP header
// (its checksum left 0: nothing reads it, and the kernel verified the original), the quoted IPv4
// header (the original destination; our own source address is not reported and stays 0.0.0.0)
// and the quoted echo request the error queue hands back as payload.
int32_t DeliverIcmpError(void* buffer, int32_t length, const IcmpMessage& m) {
    uint8_t prefix[kErrorPrefixSize] = {};
    const in_addr none{};
    const size_t quoted = kIpHeaderSize + static_cast<size_t>(m.Length);
    PutIpHeader(prefix, kIpHeaderSize + kIcmpHeaderSize + quoted, m.Ttl, m.Offender.sin_addr, none);
    uint8_t* icmp = prefix + kIpHeaderSize;
    icmp[0] = m.Error.ee_type;
    icmp[1] = m.Error.ee_code;
    if (m.Error.ee_type == 3 && m.Error.ee_code == 4) {  // fragmentation needed: the next hop's MTU
        icmp[6] = static_cast<uint8_t>(m.Error.ee_info >> 8);
        icmp[7] = static_cast<uint8_t>(m.Error.ee_info);
    }
    PutIpHeader(icmp + kIcmpHeaderSize, quoted, 0, none, m.Sender.sin_addr);
    return Deliver(buffer, length, prefix, kErrorPrefixSize, m.Length);
}

// Receives one ICMP message from an unprivileged ICMP socket and puts the IPv4 header a raw
// socket would deliver in front of it. The destination stays 0.0.0.0: the datagram socket does
// not report it, and readers of echo replies look only at the source, the TTL and the protocol.
// Errors the routers sent back wait on the error queue (IP_RECVERR); they are taken first, since
// while one is pending an ordinary receive fails with its errno instead of returning data.
int32_t ReceiveIcmpDatagram(int s, void* buffer, int32_t length, int flags, sockaddr_in* from) {
    int localErrno = 0;
    for (;;) {
        IcmpMessage m;
        if (!ReadIcmpMessage(s, buffer, length, kErrorPrefixSize, MSG_ERRQUEUE | MSG_DONTWAIT, m)) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            return FailErrno();
        }
        if (m.HasError && m.Error.ee_origin == SO_EE_ORIGIN_ICMP) {
            if (from) {
                *from = m.Offender;
                from->sin_port = 0;
            }
            return DeliverIcmpError(buffer, length, m);
        }
        // A local error: the send that caused it has already failed with the same errno.
        if (m.HasError) localErrno = static_cast<int>(m.Error.ee_errno);
    }
    // After a discarded local error the readiness wait may have woken for it alone; do not block.
    IcmpMessage m;
    if (!ReadIcmpMessage(s, buffer, length, kIpHeaderSize, localErrno ? flags | MSG_DONTWAIT : flags, m)) {
        if (localErrno && (errno == EAGAIN || errno == EWOULDBLOCK)) return Fail(WinsockCodeOfErrno(localErrno));
        return FailErrno();
    }
    uint8_t prefix[kIpHeaderSize];
    PutIpHeader(prefix, kIpHeaderSize + static_cast<size_t>(m.Length), m.Ttl, m.Sender.sin_addr, in_addr{});
    if (from) *from = m.Sender;
    return Deliver(buffer, length, prefix, kIpHeaderSize, m.Length);
}

// The kernel replaces an echo's identifier with the datagram socket's local port; binding the
// port to the identifier first keeps the bytes on the wire as the caller built them.
void BindIcmpIdentifier(int s, const void* buffer, int32_t length) {
    if (length < 8) return;
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&bound), &len) != 0 || bound.sin_port != 0) return;
    const uint8_t* icmp = static_cast<const uint8_t*>(buffer);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_port, icmp + 4, 2);
    int saved = errno;
    if (sa.sin_port != 0) (void)bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    errno = saved;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Waits for a non-blocking connect; -1 waits without limit.
int32_t FinishConnect(int s, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    pollfd p{s, POLLOUT, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs < 0 ? -1 : RemainingMs(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return FailErrno();
        if (r == 0) return Fail(Id_WSAETIMEDOUT);
        break;
    }
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return FailErrno();
    if (error != 0) return Fail(WinsockCodeOfErrno(error));
    return 0;
}

class TIdStackBsd : public TIdStack {
public:
    TIdStackBsd() { StartSockets(); }

    TIdStackSocketHandle AcceptSocket(TIdStackSocketHandle s, std::string& ip, int32_t& port) override {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        int r;
        do r = accept4(s, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
        while (r < 0 && errno == EINTR);
        if (r < 0) return FailErrno();
        ip = TextOf(*this, sa.sin_addr);
        port = ntohs(sa.sin_port);
        return r;
    }

    int32_t BindSocket(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port) override {
        sockaddr_in sa = MakeAddress(*this, family, ip, port);
        return bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? 0 : FailErrno();
    }

    int32_t ReleaseSocket(TIdStackSocketHandle s) override { return close(s) == 0 ? 0 : FailErrno(); }

    int32_t ConnectSocket(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port) override {
        if (ip.empty()) TextToAddress(ip);
        sockaddr_in sa = MakeAddress(*this, family, ip, port);
        if (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return 0;
        // An interrupted connect goes on in the background; wait for it as the caller asked.
        if (errno == EINTR) return FinishConnect(s, -1);
        return FailErrno();
    }

    int32_t ConnectSocketWithin(TIdStackSocketHandle s, int family, const std::string& ip, int32_t port,
                                int32_t timeoutMs) override {
        if (timeoutMs <= 0) return ConnectSocket(s, family, ip, port);
        if (ip.empty()) TextToAddress(ip);
        sockaddr_in sa = MakeAddress(*this, family, ip, port);
        int flags = fcntl(s, F_GETFL);
        if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return FailErrno();
        int32_t result = 0;
        if (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            if (errno == EINPROGRESS || errno == EINTR)
                result = FinishConnect(s, timeoutMs);
            else
                result = FailErrno();
        }
        int saved = errno;
        (void)fcntl(s, F_SETFL, flags);
        errno = saved;
        return result;
    }

    std::string LookupHost(const std::string& host) override {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        addrinfo* answer = nullptr;
        int r = getaddrinfo(host.c_str(), nullptr, &hints, &answer);
        if (r != 0 || !answer) {
            Fail(r != 0 ? GaiCode(r) : 11001);
            CheckResult(Id_SOCKET_ERROR);
        }
        std::string text = TextOf(*this, reinterpret_cast<sockaddr_in*>(answer->ai_addr)->sin_addr);
        freeaddrinfo(answer);
        return text;
    }

    uint16_t HToNs(uint16_t value) override { return htons(value); }
    uint16_t NToHs(uint16_t value) override { return ntohs(value); }
    uint32_t HToNl(uint32_t value) override { return htonl(value); }
    uint32_t NToHl(uint32_t value) override { return ntohl(value); }

    int32_t ListenSocket(TIdStackSocketHandle s, int32_t backlog) override {
        return listen(s, backlog) == 0 ? 0 : FailErrno();
    }

    int32_t ReceiveOn(TIdStackSocketHandle s, void* buffer, int32_t length, int flags) override {
        if (IsIcmpDatagram(s)) return ReceiveIcmpDatagram(s, buffer, length, flags, nullptr);
        ssize_t n;
        do n = recv(s, buffer, static_cast<size_t>(length), flags);
        while (n < 0 && errno == EINTR);
        return n < 0 ? FailErrno() : static_cast<int32_t>(n);
    }

    int32_t ReceiveFromOn(TIdStackSocketHandle s, void* buffer, int32_t length, int flags, std::string& ip,
                          int32_t& port) override {
        sockaddr_in sa{};
        int32_t n;
        if (IsIcmpDatagram(s)) {
            n = ReceiveIcmpDatagram(s, buffer, length, flags, &sa);
        } else {
            socklen_t len = sizeof sa;
            ssize_t r;
            do r = recvfrom(s, buffer, static_cast<size_t>(length), flags, reinterpret_cast<sockaddr*>(&sa), &len);
            while (r < 0 && errno == EINTR);
            n = r < 0 ? FailErrno() : static_cast<int32_t>(r);
        }
        if (n >= 0) {
            ip = TextOf(*this, sa.sin_addr);
            port = ntohs(sa.sin_port);
        }
        return n;
    }

    int32_t SelectSockets(TIdSocketList* readList, TIdSocketList* writeList, TIdSocketList* errorList,
                          int32_t timeoutMs) override {
        TIdSocketList* lists[3] = {readList, writeList, errorList};
        for (auto* list : lists)
            if (list && list->size() > kMaxSetSize) throw EIdStackSetSizeExceeded();
        static constexpr short kEvents[3] = {POLLIN, POLLOUT, POLLPRI};
        pollfd fds[kMaxSetSize * 3];
        nfds_t count = 0;
        for (int k = 0; k < 3; ++k) {
            if (!lists[k]) continue;
            for (TIdStackSocketHandle s : *lists[k]) {
                nfds_t i = 0;
                while (i < count && fds[i].fd != s) ++i;
                if (i == count) fds[count++] = pollfd{s, 0, 0};
                fds[i].events = static_cast<short>(fds[i].events | kEvents[k]);
            }
        }
        if (timeoutMs < 0 && timeoutMs != -2) return Fail(10022);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
        int r;
        for (;;) {
            r = poll(fds, count, timeoutMs == -2 ? -1 : RemainingMs(deadline));
            if (r >= 0 || errno != EINTR) break;
        }
        if (r < 0) return FailErrno();
        for (nfds_t i = 0; i < count; ++i)
            if (fds[i].revents & POLLNVAL) return Fail(Id_WSAENOTSOCK);
        // select's sense: a closed or failed socket counts as readable and writable. An ICMP
        // datagram socket signals a queued ICMP error this way, and its receive reads it.
        static constexpr short kReady[3] = {POLLIN | POLLHUP | POLLERR, POLLOUT | POLLHUP | POLLERR, POLLPRI};
        int32_t ready = 0;
        for (int k = 0; k < 3; ++k) {
            if (!lists[k]) continue;
            TIdSocketList kept;
            for (TIdStackSocketHandle s : *lists[k]) {
                nfds_t i = 0;
                while (fds[i].fd != s) ++i;
                if (fds[i].revents & kReady[k]) kept.push_back(s);
            }
            ready += static_cast<int32_t>(kept.size());
            lists[k]->swap(kept);
        }
        return ready;
    }

    int32_t SendOn(TIdStackSocketHandle s, const void* buffer, int32_t length, int flags) override {
        ssize_t n;
        do n = send(s, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n < 0 ? FailSend() : static_cast<int32_t>(n);
    }

    int32_t SetSendTimeout(TIdStackSocketHandle s, int32_t timeoutMs) override {
        timeval limit{};
        if (timeoutMs > 0) {
            limit.tv_sec = timeoutMs / 1000;
            limit.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
        }
        return setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0 ? 0 : FailErrno();
    }

    // Linux runs each message of sendmmsg as a send of its own and, on a stream socket, stops after
    // one that went out in part. A failure after the first message goes unreported, and the next
    // call meets the broken connection (a reset noticed that way reads as a shutdown, 10058).
    int32_t SendManyOn(TIdStackSocketHandle s, TIdSendChunk* chunks, int32_t count, int flags) override {
        count = std::min<int32_t>(count, kMaxSendBatch);
        mmsghdr messages[kMaxSendBatch];
        iovec pieces[kMaxSendBatch];
        for (int32_t i = 0; i < count; ++i) {
            chunks[i].Sent = 0;
            pieces[i].iov_base = const_cast<void*>(chunks[i].Buffer);
            pieces[i].iov_len = static_cast<size_t>(chunks[i].Length);
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_iov = &pieces[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        int r;
        do r = sendmmsg(s, messages, static_cast<unsigned>(count), flags | MSG_NOSIGNAL);
        while (r < 0 && errno == EINTR);
        if (r < 0) return FailSend();
        for (int i = 0; i < r; ++i) {
            chunks[i].Sent = static_cast<int32_t>(messages[i].msg_len);
            if (chunks[i].Sent < chunks[i].Length) return i + 1;
        }
        return r;
    }

    int32_t SendToOn(TIdStackSocketHandle s, const void* buffer, int32_t length, int flags, const std::string& ip,
                     int32_t port) override {
        sockaddr_in sa = MakeAddress(*this, AF_INET, ip.empty() ? std::string("0.0.0.0") : ip, port);
        if (IsIcmpDatagram(s)) BindIcmpIdentifier(s, buffer, length);
        ssize_t n;
        do
            n = sendto(s, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa),
                       sizeof sa);
        while (n < 0 && errno == EINTR);
        return n < 0 ? FailErrno() : static_cast<int32_t>(n);
    }

    int32_t SetSocketOption(TIdStackSocketHandle s, int level, int optName, const void* value,
                            int32_t length) override {
        if (!TranslateOption(level, optName)) return Fail(10042);
        return setsockopt(s, level, optName, value, static_cast<socklen_t>(length)) == 0 ? 0 : FailErrno();
    }

    int32_t GetSocketOption(TIdStackSocketHandle s, int level, int optName, void* value, int32_t& length) override {
        if (!TranslateOption(level, optName)) return Fail(10042);
        socklen_t len = static_cast<socklen_t>(length);
        if (getsockopt(s, level, optName, value, &len) != 0) return FailErrno();
        length = static_cast<int32_t>(len);
        return 0;
    }

    TIdStackSocketHandle OpenSocket(int family, int type, int protocol) override {
        int s = socket(family, type | SOCK_CLOEXEC, protocol);
        if (s >= 0) return s;
        if (type == SOCK_RAW && protocol == IPPROTO_ICMP && (errno == EPERM || errno == EACCES)) {
            s = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
            if (s >= 0) {
                // Without IP_RECVTTL replies carry kUnknownTtl; without IP_RECVERR the routers'
                // errors never arrive and the echo times out instead.
                int on = 1;
                (void)setsockopt(s, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
                (void)setsockopt(s, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
                return s;
            }
        }
        return FailErrno();
    }

    int32_t ShutdownSocket(TIdStackSocketHandle s, int how) override { return shutdown(s, how) == 0 ? 0 : FailErrno(); }

    int32_t LastSocketError() override { return tLastError; }
    int32_t FailWith(int32_t code) override { return Fail(code); }

    void PeerAddressOf(TIdStackSocketHandle s, int& family, std::string& ip, int32_t& port) override {
        AddressOf(getpeername, s, family, ip, port);
    }

    void LocalAddressOf(TIdStackSocketHandle s, int& family, std::string& ip, int32_t& port) override {
        AddressOf(getsockname, s, family, ip, port);
    }

private:
    void AddressOf(int (*query)(int, sockaddr*, socklen_t*), TIdStackSocketHandle s, int& family, std::string& ip,
                   int32_t& port) {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        CheckResult(query(s, reinterpret_cast<sockaddr*>(&sa), &len) == 0 ? 0 : FailErrno());
        family = sa.sin_family;
        ip = TextOf(*this, sa.sin_addr);
        port = ntohs(sa.sin_port);
    }
};

}  // namespace

int32_t WinsockCodeOfErrno(int errnum) {
    switch (errnum) {
        case EINTR: return 10004;
        case EACCES:
        case EPERM: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE:
        case ENFILE: return 10024;
        case EWOULDBLOCK: return 10035;
        case EINPROGRESS: return 10036;
        case EALREADY: return 10037;
        case EBADF:
        case ENOTSOCK: return 10038;
        case EDESTADDRREQ: return 10039;
        case EMSGSIZE: return 10040;
        case EPROTOTYPE: return 10041;
        case ENOPROTOOPT: return 10042;
        case EPROTONOSUPPORT: return 10043;
        case ESOCKTNOSUPPORT: return 10044;
        case EOPNOTSUPP: return 10045;
        case EPFNOSUPPORT: return 10046;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ENETRESET: return 10052;
        case ECONNABORTED: return 10053;
        case ECONNRESET: return 10054;
        case ENOBUFS:
        case ENOMEM: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        case EPIPE:
        case ESHUTDOWN: return 10058;
        case ETOOMANYREFS: return 10059;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        case ELOOP: return 10062;
        case ENAMETOOLONG: return 10063;
        case EHOSTDOWN: return 10064;
        case EHOSTUNREACH: return 10065;
        case ENOTEMPTY: return 10066;
        default: return errnum;
    }
}

std::unique_ptr<TIdStack> NewPlatformStack() { return std::make_unique<TIdStackBsd>(); }

}  // namespace nb
