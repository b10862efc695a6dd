// nestbridge-cli ping, over the raw socket as root and over the ping socket as nobody.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "tests/net/icmp/Namespaces.h"
#include "tests/support/TestSupport.h"

namespace nb::test {
namespace {

using ::testing::MatchesRegex;

// Empty when setpriv can run a program as nobody here.
std::string NobodyUnavailable() {
    CommandResult r = RunCommand(AsNobody({"true"}));
    return r.ExitCode == 0 ? "" : "setpriv cannot run a program as nobody: " + r.Stderr;
}

std::vector<std::string> Ping(std::vector<std::string> args, const std::string& cli = CliPath()) {
    args.insert(args.begin(), {cli, "ping"});
    return args;
}

TEST(PingCommandLine, UsageErrors) {
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"--count", "0", "127.0.0.1"},
                                                                  {"--timeout", "soon", "127.0.0.1"},
                                                                  {"--timeout", "-1", "x"},
                                                                  {"--count"},
                                                                  {"--ttl", "3", "127.0.0.1"},
                                                                  {"127.0.0.1", "127.0.0.2"}}) {
        CommandResult r = RunCommand(Ping(args));
        EXPECT_EQ(r.ExitCode, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(r.Stdout, "");
        EXPECT_THAT(r.Stderr, ::testing::HasSubstr("usage: nestbridge-cli ping"));
    }
    CommandResult help = RunCommand(Ping({"--help"}));
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_THAT(help.Stdout, ::testing::StartsWith("usage: nestbridge-cli ping [--timeout MS] [--count N] HOST"));
}

class PingLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        if (!net_.Error().empty()) GTEST_SKIP() << "no network namespace of our own: " << net_.Error();
    }
    OwnNetwork net_;
};

TEST_F(PingLoopback, RawSocketAsRoot) {
    CommandResult r = RunCommand(Ping({"--count", "2", "127.0.0.1"}));
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr;
    EXPECT_THAT(r.Stdout, MatchesRegex("reply from 127\\.0\\.0\\.1: bytes=72 seq=3489 ttl=128 time=[0-9]+ms\n"
                                       "reply from 127\\.0\\.0\\.1: bytes=72 seq=3490 ttl=128 time=[0-9]+ms\n"));
    EXPECT_EQ(r.Stderr, "");
}

TEST_F(PingLoopback, HostThatDoesNotResolveFails) {
    CommandResult r = RunCommand(Ping({"no-such-host.invalid"}));
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stdout, "");
    EXPECT_THAT(r.Stderr, ::testing::StartsWith("Socket Error # "));
}

TEST_F(PingLoopback, PingSocketAsNobody) {
    if (std::string why = NobodyUnavailable(); !why.empty()) GTEST_SKIP() << why;
    if (!WriteSysctl("net.ipv4.ping_group_range", "0 2147483647"))
        GTEST_SKIP() << "cannot open ping sockets to every group in our own namespace";
    WorldRunnableCli cli;
    ASSERT_FALSE(cli.Path().empty());
    CommandResult r = RunCommand(AsNobody(Ping({"127.0.0.1"}, cli.Path())));
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr;
    // The kernel's reply, with the header put in front by the socket layer: 64 is its TTL.
    EXPECT_THAT(r.Stdout, MatchesRegex("reply from 127\\.0\\.0\\.1: bytes=72 seq=3489 ttl=64 time=[0-9]+ms\n"));

    ASSERT_TRUE(WriteSysctl("net.ipv4.ping_group_range", "1 0"));
    r = RunCommand(AsNobody(Ping({"127.0.0.1"}, cli.Path())));
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stdout, "");
    EXPECT_EQ(r.Stderr, "Cannot allocate socket.\n");
}

class PingTwoHosts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pair_.Error().empty()) GTEST_SKIP() << "cannot build two network namespaces: " << pair_.Error();
    }
    CommandResult PingFromNear(std::vector<std::string> argv) { return RunCommand(VethPair::In(pair_.Near(), argv)); }
    VethPair pair_;
};

TEST_F(PingTwoHosts, RepliesTimeOutsAndUnreachable) {
    CommandResult r = PingFromNear(Ping({"192.0.2.2"}));
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr;
    EXPECT_THAT(r.Stdout, MatchesRegex("reply from 192\\.0\\.2\\.2: bytes=72 seq=3489 ttl=64 time=[0-9]+ms\n"));

    r = PingFromNear(Ping({"--timeout", "2000", "203.0.113.9"}));
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr;
    EXPECT_EQ(r.Stdout, "unreachable from 192.0.2.2 seq=3489\n");

    ASSERT_TRUE(pair_.FarIgnoresEchoes(true));
    const auto start = std::chrono::steady_clock::now();
    r = PingFromNear(Ping({"--timeout", "300", "--count", "2", "192.0.2.2"}));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stdout, "timeout seq=3489\ntimeout seq=3490\n");
    EXPECT_EQ(r.Stderr, "");
    EXPECT_GE(waited, std::chrono::milliseconds(580));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST_F(PingTwoHosts, PingSocketAsNobody) {
    if (std::string why = NobodyUnavailable(); !why.empty()) GTEST_SKIP() << why;
    if (!RunOk(VethPair::In(pair_.Near(), {"sysctl", "-q", "-w", "net.ipv4.ping_group_range=0 2147483647"})))
        GTEST_SKIP() << "cannot open ping sockets to every group in the near namespace";
    WorldRunnableCli cli;
    ASSERT_FALSE(cli.Path().empty());
    CommandResult r = PingFromNear(AsNobody(Ping({"192.0.2.2"}, cli.Path())));
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr;
    EXPECT_THAT(r.Stdout, MatchesRegex("reply from 192\\.0\\.2\\.2: bytes=72 seq=3489 ttl=64 time=[0-9]+ms\n"));

    // The router's error comes through the socket's error queue, as root sees it on the raw one.
    r = PingFromNear(AsNobody(Ping({"--timeout", "2000", "203.0.113.9"}, cli.Path())));
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr;
    EXPECT_EQ(r.Stdout, "unreachable from 192.0.2.2 seq=3489\n");

    ASSERT_TRUE(pair_.FarIgnoresEchoes(true));
    const auto start = std::chrono::steady_clock::now();
    r = PingFromNear(AsNobody(Ping({"--timeout", "300", "192.0.2.2"}, cli.Path())));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.ExitCode, 1) << r.Stderr;
    EXPECT_EQ(r.Stdout, "timeout seq=3489\n");
    EXPECT_GE(waited, std::chrono::milliseconds(290));
    EXPECT_LT(waited, std::chrono::milliseconds(2500));
}

}  // namespace
}  // namespace nb::test
