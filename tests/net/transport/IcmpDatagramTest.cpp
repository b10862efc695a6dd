// Without the right to open raw sockets the stack falls back to an unprivileged ICMP datagram
// socket and hands out replies with the IPv4 header a raw socket would have delivered. The case
// runs in a child process inside its own network namespace, as an unprivileged user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "net/transport/IdComponent.h"
#include "net/transport/IdException.h"
#include "net/transport/IdSocketHandle.h"

namespace nb {
namespace {

enum ChildResult { kPassed = 0, kSkipped = 77, kNoInvalidSocket = 10, kNotDatagram, kSendFailed, kNoReply, kBadReply };

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
    if (SharedStack()->GetSocketOption(h.Socket, Id_SOL_SOCKET, Id_SO_TYPE, &type, len) != 0 ||
        type != Id_SOCK_DGRAM)
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
              std::memcmp(reply + 12, "\x7f\x00\x00\x01", 4) == 0 && Checksum(reply, 20) == 0 &&
              reply[20] == 0 && reply[24] == 0x12 && reply[25] == 0x34 && reply[27] == 1 &&
              std::memcmp(reply + 28, echo + 8, 8) == 0;
    return ok ? kPassed : kBadReply;
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

TEST(IcmpDatagramFallback, NoSocketAtAllIsInvalidSocket) {
    int r = RunInChild(Child);
    if (r == kSkipped) GTEST_SKIP() << "cannot create a network namespace with an unprivileged user";
    EXPECT_EQ(r, kPassed);
}

}  // namespace
}  // namespace nb
