// Real echoes: loopback in the test's own network namespace, and two namespaces joined by veth.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "net/icmp/IdIcmpClient.h"
#include "tests/net/icmp/Namespaces.h"

namespace nb {
namespace {

using test::OwnNetwork;

// Sends one ICMP message (header and all) to 127.0.0.1 from a raw socket of its own.
void InjectIcmp(uint8_t type, uint16_t sequence, const std::vector<uint8_t>& quoted = {}) {
    std::vector<uint8_t> icmp(8, 0);
    icmp[0] = type;
    icmp[6] = static_cast<uint8_t>(sequence);
    icmp[7] = static_cast<uint8_t>(sequence >> 8);
    icmp.insert(icmp.end(), quoted.begin(), quoted.end());
    const uint16_t sum = TIdIcmpClient::ComputeChecksum(icmp.data(), static_cast<int>(icmp.size()));
    icmp[2] = static_cast<uint8_t>(sum);
    icmp[3] = static_cast<uint8_t>(sum >> 8);
    int s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    ASSERT_GE(s, 0) << std::strerror(errno);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ssize_t sent = sendto(s, icmp.data(), icmp.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(s);
    ASSERT_EQ(sent, static_cast<ssize_t>(icmp.size())) << std::strerror(errno);
}

class LoopbackEcho : public ::testing::Test {
protected:
    void SetUp() override {
        if (!net_.Error().empty()) GTEST_SKIP() << "no network namespace of our own: " << net_.Error();
        client_.Host = "127.0.0.1";
        client_.ReceiveTimeout = 2000;
        client_.OnReply = [this](TIdIcmpClient& sender, const TReplyStatus& status) {
            EXPECT_EQ(&sender, &client_);
            replies_.push_back(status);
        };
    }
    OwnNetwork net_;
    TIdIcmpClient client_;
    std::vector<TReplyStatus> replies_;
};

TEST_F(LoopbackEcho, RawSocketHearsItsOwnRequestFirst) {
    client_.Ttl = 77;
    client_.SendEcho();
    const TReplyStatus& r = client_.ReplyStatus;
    EXPECT_EQ(r.Outcome, ReplyOk);
    EXPECT_EQ(r.SourceAddress, "127.0.0.1");
    EXPECT_EQ(r.ReceivedBytes, 72);
    EXPECT_EQ(r.MessageType, 8);
    EXPECT_EQ(r.ReplyTtl, 77);  // the request's own, so the option reached the socket
    EXPECT_EQ(r.SequenceNumber, 3489);
    EXPECT_LT(r.RoundTripMs, 1000u);
    EXPECT_FALSE(client_.RawSocketHandle().Allocated);
    ASSERT_EQ(replies_.size(), 1u);
    EXPECT_EQ(replies_[0].SequenceNumber, 3489);
    EXPECT_EQ(client_.SequenceCounter, 3490);

    client_.SendEcho("payload");
    EXPECT_EQ(client_.ReplyStatus.SequenceNumber, 3490);
    EXPECT_EQ(replies_.size(), 2u);
}

TEST_F(LoopbackEcho, SequenceArgumentSetsTheCounterWhichWraps) {
    client_.SendEcho("", 65535);
    EXPECT_EQ(client_.ReplyStatus.SequenceNumber, 65535);
    EXPECT_EQ(client_.SequenceCounter, 0);
    client_.SendEcho();
    EXPECT_EQ(client_.ReplyStatus.Outcome, ReplyOk);
    EXPECT_EQ(client_.ReplyStatus.SequenceNumber, 0);
    EXPECT_EQ(client_.SequenceCounter, 1);
}

TEST_F(LoopbackEcho, ErrorsLeaveTheSocketOpenAndTheCounterAlone) {
    // A route that forbids the address: the send is refused (EACCES) after the socket was opened.
    // (A missing route is no error: see NoRouteIsAnEchoWithoutReply.)
    ASSERT_TRUE(test::RunOk({"ip", "route", "add", "prohibit", "198.51.100.0/24"}));
    client_.Host = "198.51.100.7";
    EXPECT_THROW(client_.SendEcho(), EIdSocketError);
    EXPECT_TRUE(client_.RawSocketHandle().Allocated);
    EXPECT_EQ(client_.SequenceCounter, 3489);
    EXPECT_TRUE(replies_.empty());

    // A redirect queued on that very socket ends the next echo's wait with an error.
    InjectIcmp(5, 3489);
    client_.Host = "127.0.0.1";
    try {
        client_.SendEcho();
        FAIL() << "the redirect was not seen";
    } catch (const EIdIcmpException& e) {
        EXPECT_EQ(e.Message(), "Non-echo type response received");
    }
    EXPECT_TRUE(client_.RawSocketHandle().Allocated);
    EXPECT_EQ(client_.SequenceCounter, 3489);
    EXPECT_TRUE(replies_.empty());
    EXPECT_EQ(client_.ReplyStatus.SourceAddress, "");

    client_.SendEcho();
    EXPECT_EQ(client_.ReplyStatus.Outcome, ReplyOk);
    EXPECT_EQ(client_.SequenceCounter, 3490);
    EXPECT_FALSE(client_.RawSocketHandle().Allocated);
}

// A request the system cannot send for want of a route is an echo nobody answered: the caller's
// reachability check sees "0.0.0.0" and the counter moves on, as after a silent host.
TEST_F(LoopbackEcho, NoRouteIsAnEchoWithoutReply) {
    ASSERT_TRUE(test::RunOk({"ip", "route", "add", "unreachable", "203.0.113.0/24"}));
    const struct {
        const char* why;
        const char* host;
    } cases[] = {{"no route at all (network unreachable)", "192.0.2.7"},
                 {"a route to nowhere (host unreachable)", "203.0.113.7"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const uint16_t sequence = client_.SequenceCounter;
        replies_.clear();
        client_.Host = c.host;
        client_.ReceiveTimeout = 60000;  // nothing is waited for
        client_.SendEcho();
        const TReplyStatus& r = client_.ReplyStatus;
        EXPECT_EQ(r.SourceAddress, "0.0.0.0");
        EXPECT_EQ(r.Outcome, ReplyTimeout);
        EXPECT_EQ(r.SequenceNumber, sequence);
        EXPECT_EQ(r.ReceivedBytes, 0);
        EXPECT_LT(r.RoundTripMs, 30000u);
        EXPECT_EQ(replies_.size(), 1u);
        EXPECT_EQ(client_.SequenceCounter, sequence + 1);
        EXPECT_FALSE(client_.RawSocketHandle().Allocated);
    }
}

class QueuedDatagram : public LoopbackEcho {
protected:
    // Opens the client's socket and queues one datagram on it.
    void Queue(uint8_t type, uint16_t sequence, const std::vector<uint8_t>& quoted = {}) {
        client_.RawSocket();
        InjectIcmp(type, sequence, quoted);
        ASSERT_TRUE(client_.RawSocketHandle().WaitReadable(1000));
    }
};

TEST_F(QueuedDatagram, OtherSequenceAtTheEndOfTheTimeKeepsItsOutcome) {
    struct Case {
        uint8_t Type;
        TReplyStatusTypes Outcome;
    } cases[] = {{0, ReplyOk}, {3, ReplyUnreachable}, {11, ReplyTtlExpired}};
    for (const auto& c : cases) {
        std::vector<uint8_t> quoted(28, 0);  // a quoted request with another sequence
        quoted[0] = 0x45;
        quoted[20] = 8;
        quoted[26] = 0x10;
        Queue(c.Type, 1000, c.Type == 0 ? std::vector<uint8_t>{} : quoted);
        TReplyStatus record;
        client_.WaitForReply(0, record);
        EXPECT_EQ(record.Outcome, c.Outcome) << int{c.Type};
        EXPECT_EQ(record.SourceAddress, "");
        EXPECT_EQ(record.ReceivedBytes, 0);
        EXPECT_EQ(record.SequenceNumber, 0);
        EXPECT_EQ(record.ReplyTtl, 0);
    }
}

TEST_F(QueuedDatagram, OtherSequenceIsSkippedAndTheWaitGoesOn) {
    Queue(0, 1000);
    const auto start = std::chrono::steady_clock::now();
    TReplyStatus record;
    client_.WaitForReply(300, record);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(record.Outcome, ReplyTimeout);
    EXPECT_EQ(record.SourceAddress, "0.0.0.0");
    EXPECT_EQ(record.SequenceNumber, 3489);
    EXPECT_GE(waited, std::chrono::milliseconds(280));
    EXPECT_LT(waited, std::chrono::milliseconds(2300));
}

class TwoHosts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pair_.Error().empty()) GTEST_SKIP() << "cannot build two network namespaces: " << pair_.Error();
    }
    // One echo from the near namespace.
    void Echo(const std::string& host, int32_t timeout, int32_t ttl = 128) {
        test::EnterNetns near(pair_.Near());
        ASSERT_TRUE(near.Entered());
        client_.Host = host;
        client_.ReceiveTimeout = timeout;
        client_.Ttl = ttl;
        client_.SendEcho();
    }
    test::VethPair pair_;
    TIdIcmpClient client_;
};

TEST_F(TwoHosts, AnsweringHost) {
    Echo("192.0.2.2", 3000);
    const TReplyStatus& r = client_.ReplyStatus;
    EXPECT_EQ(r.Outcome, ReplyOk);
    EXPECT_EQ(r.SourceAddress, "192.0.2.2");
    EXPECT_EQ(r.MessageType, 0);
    EXPECT_EQ(r.ReceivedBytes, 72);
    EXPECT_EQ(r.ReplyTtl, 64);
    EXPECT_EQ(r.SequenceNumber, 3489);
}

TEST_F(TwoHosts, SilentHostTimesOutAfterTheTimeOutAndNoLonger) {
    ASSERT_TRUE(pair_.FarIgnoresEchoes(true));
    const auto start = std::chrono::steady_clock::now();
    Echo("192.0.2.2", 400);
    const auto waited = std::chrono::steady_clock::now() - start;
    const TReplyStatus& r = client_.ReplyStatus;
    EXPECT_EQ(r.Outcome, ReplyTimeout);
    EXPECT_EQ(r.SourceAddress, "0.0.0.0");
    EXPECT_EQ(r.ReceivedBytes, 0);
    EXPECT_EQ(r.MessageType, 0);
    EXPECT_EQ(r.ReplyTtl, 0);
    EXPECT_EQ(r.SequenceNumber, 3489);
    EXPECT_GE(r.RoundTripMs, 390u);
    EXPECT_GE(waited, std::chrono::milliseconds(390));
    EXPECT_LT(waited, std::chrono::milliseconds(2400));
    EXPECT_EQ(client_.SequenceCounter, 3490);
}

struct RouterCase {
    const char* Host;
    int32_t Ttl;
    TReplyStatusTypes Outcome;
    uint8_t Type;
};
constexpr RouterCase kRouterCases[] = {{"203.0.113.5", 128, ReplyUnreachable, 3},
                                       {"198.51.100.5", 1, ReplyTtlExpired, 11}};

void ExpectRouterAnswer(const RouterCase& c, const TReplyStatus& r, uint16_t sequence) {
    EXPECT_EQ(r.Outcome, c.Outcome) << c.Host;
    EXPECT_EQ(r.SourceAddress, "192.0.2.2") << c.Host;
    EXPECT_EQ(r.MessageType, c.Type) << c.Host;
    EXPECT_EQ(r.SequenceNumber, sequence) << c.Host;
    EXPECT_GE(r.ReceivedBytes, 56) << c.Host;
}

TEST_F(TwoHosts, RouterReportsUnreachableAndExpiredTtl) {
    for (const auto& c : kRouterCases) {
        const uint16_t sequence = client_.SequenceCounter;
        Echo(c.Host, 3000, c.Ttl);
        ExpectRouterAnswer(c, client_.ReplyStatus, sequence);
    }
}

// What a child process saw of one echo; fixed-size so it crosses a pipe as it is.
struct ChildEcho {
    int32_t Outcome = -1, Type = -1, Sequence = -1, Bytes = -1;
    char Source[16] = {};
    char Failure[96] = {};
};

// As user 65534 in the near namespace with ping sockets open to every group, so the stack
// falls back to its ICMP datagram socket; answers false when that cannot be arranged.
bool EchoAsNobody(const std::string& netns, const RouterCase& c, uint16_t sequence, ChildEcho& seen) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        test::EnterNetns near(netns);
        int ok = near.Entered() && test::WriteSysctl("net.ipv4.ping_group_range", "0 2147483647") &&
                 setgid(65534) == 0 && setuid(65534) == 0;
        ChildEcho out;
        if (ok) {
            try {
                TIdIcmpClient client;
                client.Host = c.Host;
                client.Ttl = c.Ttl;
                client.ReceiveTimeout = 3000;
                client.SendEcho("", sequence);
                out.Outcome = client.ReplyStatus.Outcome;
                out.Type = client.ReplyStatus.MessageType;
                out.Sequence = client.ReplyStatus.SequenceNumber;
                out.Bytes = client.ReplyStatus.ReceivedBytes;
                std::snprintf(out.Source, sizeof out.Source, "%s", client.ReplyStatus.SourceAddress.c_str());
            } catch (const EIdException& e) {
                std::snprintf(out.Failure, sizeof out.Failure, "%s", e.Message().c_str());
            }
        }
        bool written = write(fds[1], &out, sizeof out) == static_cast<ssize_t>(sizeof out);
        _exit(ok && written ? 0 : 1);
    }
    close(fds[1]);
    bool got = pid > 0 && read(fds[0], &seen, sizeof seen) == static_cast<ssize_t>(sizeof seen);
    close(fds[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(TwoHosts, RouterAnswersReachTheUnprivilegedSocket) {
    for (const auto& c : kRouterCases) {
        ChildEcho seen;
        if (!EchoAsNobody(pair_.Near(), c, 4242, seen))
            GTEST_SKIP() << "cannot run an echo as user 65534 with ping sockets open in the near namespace";
        ASSERT_STREQ(seen.Failure, "") << c.Host;
        TReplyStatus r;
        r.Outcome = static_cast<TReplyStatusTypes>(seen.Outcome);
        r.MessageType = static_cast<uint8_t>(seen.Type);
        r.SequenceNumber = static_cast<uint16_t>(seen.Sequence);
        r.ReceivedBytes = seen.Bytes;
        r.SourceAddress = seen.Source;
        ExpectRouterAnswer(c, r, 4242);
        // Outer and quoted headers rebuilt in front of the whole 52-byte request.
        EXPECT_EQ(r.ReceivedBytes, 20 + 8 + 20 + 52) << c.Host;
    }
}

}  // namespace
}  // namespace nb
