// Starting a Linux-side program must leave the test's own handles alone: under Wine the process
// information of such a start is whatever was on the stack, and closing it closed the test's
// stdout and sockets, so that its servers seemed to stop answering.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace nb::test {
namespace {

// Leaves value in every word of the stack below the caller, where the start's locals will lie.
[[gnu::noinline]] void PaintStack(uintptr_t value) {
    volatile uintptr_t words[8192];
    for (auto& w : words) w = value;
}

TEST(ServerProcessStart, LeavesTheTestsOwnHandlesOpen) {
    int port = 0;
    TestSocket listener = TestSocket::Listen("127.0.0.1", port);
    ASSERT_TRUE(listener.Valid());
    // Every small value a handle of ours may have (Windows hands them out in steps of 4).
    for (uintptr_t value = 4; value <= 0x100; value += 4) {
        PaintStack(value);
        ServerProcess sleeper({"/bin/sleep", "30"});
        ASSERT_TRUE(sleeper.Started()) << value;
        sleeper.Stop();
    }
    TestSocket peer = TestSocket::Connect("127.0.0.1", port);
    EXPECT_TRUE(peer.Valid());
    EXPECT_TRUE(listener.Accept(5000).Valid());
    EXPECT_GE(std::fputs("stdout still open\n", stdout), 0);
    EXPECT_EQ(std::fflush(stdout), 0);
    EXPECT_EQ(std::ferror(stdout), 0);
}

// A program run to its end through the server start (as the benchmarks run curl) reports its
// exit code, which a Windows program could not read from a Linux one otherwise.
TEST(ServerProcessStart, ReportsTheExitCode) {
    for (int code : {0, 3}) {
        ServerProcess shell({"/bin/sh", "-c", "exit " + std::to_string(code)});
        ASSERT_TRUE(shell.Started());
        EXPECT_EQ(shell.WaitForExit(30), code);
        EXPECT_TRUE(shell.Exited());
    }
    ServerProcess sleeper({"/bin/sleep", "30"});
    EXPECT_LT(sleeper.WaitForExit(0), 0);
    EXPECT_FALSE(sleeper.Exited());
}

}  // namespace
}  // namespace nb::test
