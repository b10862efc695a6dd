// Without the right to open raw sockets the stack falls back to an unprivileged ICMP datagram
// socket and hands out replies with the IPv4 header a raw socket would have delivered. The case
// runs in a child process inside its own network namespace, as an unprivileged user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "net/transport/IdComponent.h"
#include "net/transport/IdException.h"
#include "net/transport/IdSocketHandle.h"

namespace nb {
namespace {

enum ChildResult {
    kPassed = 0,
    kSkipped = 77,
    kNoInvalidSocket = 10,
    kNotDatagram,
    kSendFailed,
    kNoReply,
    kBadReply,
    kNotBothPending,
    kBadError,
    kStillReadable
};

bool WriteText(const char* path, const char* text) {
    int fd = open(path, O_WRONLY);
    if (fd < 0) return false;
    bool ok = write(fd, text, strlen(text)) == static_cast<ssize_t>(strlen(text));
    close(fd);
    return ok;
}

bool LoopbackUp() {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq req{};
    std::strcpy(req.ifr_name, "lo");
    bool ok = ioctl(s, SIOCGIFFLAGS, &req) == 0;
    req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP);
    ok = ok && ioctl(s, SIOCSIFFLAGS, &req) == 0;
    close(s);
    return ok;
}

uint16_t Checksum(const uint8_t* p, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2) sum += static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
    if (n & 1) sum += static_cast<uint32_t>(p[n - 1] << 8);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

int Child() {
    if (unshare(CLONE_NEWNET) != 0 || !LoopbackUp()) return kSkipped;
    if (setgid(65534) != 0 || setuid(65534) != 0) return kSkipped;
    TIdComponent keepStack;
    {
        // The namespace starts with ICMP datagram sockets closed to every group.
        TIdSocketHandle h;
        try {
            h.Allocate(Id_SOCK_RAW, Id_IPPROTO_ICMP);
            return kNoInvalidSocket;
        } catch (const EIdInvalidSocket&) {
        }
    }
    return kPassed;
}

int ChildWithGroupsAllowed() {
    if (unshare(CLONE_NEWNET) != 0 || !LoopbackUp()) return kSkipped;
    if (!WriteText("/proc/sys/net/ipv4/ping_group_range", "0 2147483647")) return kSkipped;
    // The kernel answers the echo with its default TTL; an unusual one proves it comes through.
    if (!WriteText("/proc/sys/net/ipv4/ip_default_ttl", "99")) return kSkipped;
    if (setgid(65534) != 0 || setuid(65534) != 0) return kSkipped;
    TIdComponent keepStack;
    TIdSocketHandle h;
    try {
        h.Allocate(Id_SOCK_RAW, Id_IPPROTO_ICMP);
    } catch (const EIdException&) {
        return kNotDatagram;
    }
    int32_t type = 0, len = sizeof type;
    if (SharedStack()->GetSocketOption(h.Socket, Id_SOL_SOCKET, Id_SO_TYPE, &type, len) != 0 || type != Id_SOCK_DGRAM)
        return kNotDatagram;
    int32_t ttl = 42;
    h.SetOption(Id_IPPROTO_IP, Id_IP_TTL, &ttl, sizeof ttl);

    uint8_t echo[16] = {8, 0, 0, 0, 0x12, 0x34, 0, 1, 'n', 'e', 's', 't', 'b', 'r', 'd', 'g'};
    uint16_t sum = Checksum(echo, sizeof echo);
    echo[2] = static_cast<uint8_t>(sum >> 8);
    echo[3] = static_cast<uint8_t>(sum);
    try {
        h.SendToAddress("127.0.0.1", 0, echo, sizeof echo);
    } catch (const EIdException&) {
        return kSendFailed;
    }
    if (!h.WaitReadable(3000)) return kNoReply;
    uint8_t reply[256];
    std::string ip;
    int32_t port = 0;
    int32_t n = h.ReceiveFromPeer(reply, sizeof reply, 0, ip, port);
    if (n != 20 + 16 || ip != "127.0.0.1") return kBadReply;
    bool ok = reply[0] == 0x45 && reply[2] == 0 && reply[3] == 36 && reply[8] == 99 && reply[9] == 1 &&
              std::memcmp(reply + 12, "\x7f\x00\x00\x01", 4) == 0 && Checksum(reply, 20) == 0 && reply[20] == 0 &&
              reply[24] == 0x12 && reply[25] == 0x34 && reply[27] == 1 && std::memcmp(reply + 28, echo + 8, 8) == 0;
    return ok ? kPassed : kBadReply;
}

// A router's "host unreachable" for the request, sent from 127.0.0.9 with TTL 33 through a raw
// socket that writes its own IPv4 header.
bool InjectUnreachable(int raw, const uint8_t* request, size_t requestSize) {
    std::vector<uint8_t> d(20 + 8 + 20);
    d[0] = 0x45;
    d[8] = 33;
    d[9] = 1;
    std::memcpy(d.data() + 12, "\x7f\x00\x00\x09", 4);
    std::memcpy(d.data() + 16, "\x7f\x00\x00\x01", 4);
    d[20] = 3;
    d[21] = 1;
    uint8_t* quoted = d.data() + 28;
    quoted[0] = 0x45;
    quoted[3] = static_cast<uint8_t>(20 + requestSize);
    quoted[8] = 1;
    quoted[9] = 1;
    std::memcpy(quoted + 12, "\x7f\x00\x00\x01", 4);
    std::memcpy(quoted + 16, "\x7f\x00\x00\x01", 4);
    uint16_t sum = Checksum(quoted, 20);
    quoted[10] = static_cast<uint8_t>(sum >> 8);
    quoted[11] = static_cast<uint8_t>(sum);
    d.insert(d.end(), request, request + requestSize);
    d[3] = static_cast<uint8_t>(d.size());
    sum = Checksum(d.data() + 20, d.size() - 20);
    d[22] = static_cast<uint8_t>(sum >> 8);
    d[23] = static_cast<uint8_t>(sum);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sendto(raw, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(d.size());
}

// Waits until both the reply and the error are queued on the socket.
bool BothPending(int s) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, 50) > 0 && (p.revents & POLLIN) && (p.revents & POLLERR)) return true;
    }
    return false;
}

int ChildErrorAndReply() {
    if (unshare(CLONE_NEWNET) != 0 || !LoopbackUp()) return kSkipped;
    if (!WriteText("/proc/sys/net/ipv4/ping_group_range", "0 2147483647")) return kSkipped;
    // Opened while still privileged: it plays the router.
    int raw = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
    int on = 1;
    if (raw < 0 || setsockopt(raw, IPPROTO_IP, IP_HDRINCL, &on, sizeof on) != 0) return kSkipped;
    if (setgid(65534) != 0 || setuid(65534) != 0) return kSkipped;
    TIdComponent keepStack;
    TIdSocketHandle h;
    uint8_t echo[16] = {8, 0, 0, 0, 0x12, 0x34, 0, 7, 'q', 'u', 'o', 't', 'e', 'd', '!', '!'};
    uint16_t sum = Checksum(echo, sizeof echo);
    echo[2] = static_cast<uint8_t>(sum >> 8);
    echo[3] = static_cast<uint8_t>(sum);
    try {
        h.Allocate(Id_SOCK_RAW, Id_IPPROTO_ICMP);
        h.SendToAddress("127.0.0.1", 0, echo, sizeof echo);
    } catch (const EIdException&) {
        return kSendFailed;
    }
    if (!InjectUnreachable(raw, echo, sizeof echo)) return kSendFailed;
    close(raw);
    if (!BothPending(h.Socket)) return kNotBothPending;

    // The error first, rebuilt as the raw socket would have delivered it.
    uint8_t got[256];
    std::string ip;
    int32_t port = 0;
    int32_t n = h.ReceiveFromPeer(got, sizeof got, 0, ip, port);
    if (n != 20 + 8 + 20 + 16 || ip != "127.0.0.9") return kBadError;
    bool ok = got[0] == 0x45 && got[2] == 0 && got[3] == 64 && got[8] == 33 && got[9] == 1 &&
              std::memcmp(got + 12, "\x7f\x00\x00\x09", 4) == 0 && Checksum(got, 20) == 0 && got[20] == 3 &&
              got[21] == 1 && got[28] == 0x45 && got[30] == 0 && got[31] == 36 && got[37] == 1 &&
              std::memcmp(got + 44, "\x7f\x00\x00\x01", 4) == 0 && Checksum(got + 28, 20) == 0 &&
              std::memcmp(got + 48, echo, sizeof echo) == 0;
    if (!ok) return kBadError;

    // Then the reply, which the pending error must not turn into a failed receive.
    try {
        n = h.ReceiveFromPeer(got, sizeof got, 0, ip, port);
        SharedStack()->CheckResult(n);
    } catch (const EIdException&) {
        return kBadReply;
    }
    if (n != 20 + 16 || ip != "127.0.0.1" || got[20] != 0 || got[27] != 7) return kBadReply;
    return h.WaitReadable(0) ? kStillReadable : kPassed;
}

int RunInChild(int (*body)()) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(IcmpDatagramFallback, RepliesLookLikeRawOnes) {
    int r = RunInChild(ChildWithGroupsAllowed);
    if (r == kSkipped) GTEST_SKIP() << "cannot create a network namespace with an unprivileged user";
    EXPECT_EQ(r, kPassed);
}

TEST(IcmpDatagramFallback, RouterErrorsComeFirstAndLookLikeRawOnes) {
    int r = RunInChild(ChildErrorAndReply);
    if (r == kSkipped) GTEST_SKIP() << "cannot create a network namespace with an unprivileged user";
    EXPECT_EQ(r, kPassed);
}

TEST(IcmpDatagramFallback, NoSocketAtAllIsInvalidSocket) {
    int r = RunInChild(Child);
    if (r == kSkipped) GTEST_SKIP() << "cannot create a network namespace with an unprivileged user";
    EXPECT_EQ(r, kPassed);
}

}  // namespace
}  // namespace nb
