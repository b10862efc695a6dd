// What only the Windows stack can meet: a socket library that does not load, a call before
// start-up, a start-up that fails, select's 64-socket set, and both ways of echoing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/icmp/IdIcmpClient.h"
#include "net/transport/IdException.h"
#include "net/transport/IdSocketHandle.h"
#include "net/transport/win32/IdStackWindows.h"

namespace nb {
namespace {

// Each case starts and ends with no stack alive and WS2_32.DLL named again.
class WinsockLifecycle : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(SharedStack(), nullptr) << "a network component outlived its test"; }
    void TearDown() override {
        SetWinsockLibraryName("WS2_32.DLL");
        ShutDownWinsock();
    }
};

TEST_F(WinsockLifecycle, AMissingLibraryNamesItselfWithTheSystemsReason) {
    ShutDownWinsock();
    SetWinsockLibraryName("NoSuchWinsock.dll");
    try {
        AcquireSharedStack();
        ReleaseSharedStack();
        FAIL() << "a stack started without its library";
    } catch (const EIdWS2StubError& e) {
        EXPECT_EQ(e.Title, "Error on loading Winsock2 library (NoSuchWinsock.dll)");
        EXPECT_EQ(e.SystemErrorCode, 126);  // ERROR_MOD_NOT_FOUND
        EXPECT_EQ(std::string(e.what()), e.SystemErrorText + ": " + e.Title);
        EXPECT_FALSE(e.SystemErrorText.empty());
    }
    EXPECT_EQ(SharedStack(), nullptr);
    SetWinsockLibraryName("WS2_32.DLL");
    AcquireSharedStack();
    EXPECT_NE(SharedStack(), nullptr);
    ReleaseSharedStack();
}

TEST_F(WinsockLifecycle, ACallBeforeStartUpRaisesTheStubErrorWithItsFunctionsName) {
    AcquireSharedStack();
    ShutDownWinsock();
    try {
        SharedStack()->OpenSocket(Id_PF_INET, Id_SOCK_STREAM, 0);
        ADD_FAILURE() << "a socket call reached an unloaded library";
    } catch (const EIdWS2StubError& e) {
        EXPECT_EQ(e.Title, "Error on call Winsock2 library function socket");
        EXPECT_EQ(e.SystemErrorCode, 10093);
        EXPECT_EQ(std::string(e.what()), e.SystemErrorText + ": " + e.Title);
    }
    ReleaseSharedStack();
    // The next stack starts the library again, and its calls work.
    AcquireSharedStack();
    TIdStackSocketHandle s = SharedStack()->OpenSocket(Id_PF_INET, Id_SOCK_STREAM, 0);
    EXPECT_NE(s, Id_INVALID_SOCKET);
    SharedStack()->ReleaseSocket(s);
    ReleaseSharedStack();
}

TEST_F(WinsockLifecycle, AStartUpThatFailsIsTheInitializationError) {
    ShutDownWinsock();
    SetWinsockLibraryName("FailingWinsock.dll");
    try {
        AcquireSharedStack();
        ReleaseSharedStack();
        FAIL() << "a refused start-up went unnoticed";
    } catch (const EIdStackInitializationFailed& e) {
        EXPECT_STREQ(e.what(), "Winsock Initialization Error.");
    }
    EXPECT_EQ(SharedStack(), nullptr);
}

class WinsockStack : public ::testing::Test {
protected:
    void SetUp() override { AcquireSharedStack(); }
    void TearDown() override {
        SetRawSocketsForbidden(false);
        ReleaseSharedStack();
    }
    TIdStack& Stack() { return *SharedStack(); }
};

TEST_F(WinsockStack, NativeErrorsKeepTheirNumbersAndTableTexts) {
    TIdSocketHandle listener;
    listener.Allocate(Id_SOCK_STREAM, 0);
    listener.IP = "127.0.0.1";
    listener.BindLocal();
    int32_t port = listener.Port;
    listener.Release();  // nothing listens on the port any more
    TIdSocketHandle client;
    client.Allocate(Id_SOCK_STREAM, 0);
    client.SetRemote("127.0.0.1", port);
    ASSERT_EQ(client.ConnectPeer(Id_PF_INET), Id_SOCKET_ERROR);
    EXPECT_EQ(Stack().LastSocketError(), Id_WSAECONNREFUSED);
    try {
        Stack().CheckResult(Id_SOCKET_ERROR);
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10061);
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
}

TEST_F(WinsockStack, SelectTakesSixtyFourSocketsAndRefusesSixtyFive) {
    std::vector<TIdSocketHandle> sockets(65);
    TIdSocketList all;
    for (auto& s : sockets) {
        s.Allocate(Id_SOCK_DGRAM, 0);
        s.IP = "127.0.0.1";
        s.BindLocal();
        all.push_back(s.Socket);
    }
    // Make the last of the 64 readable: the wait must see it among the others.
    const char byte = 1;
    sockets[0].SendToAddress("127.0.0.1", sockets[63].Port, &byte, 1);
    TIdSocketList sixtyFour(all.begin(), all.begin() + 64);
    EXPECT_EQ(Stack().SelectSockets(&sixtyFour, nullptr, nullptr, 2000), 1);
    EXPECT_EQ(sixtyFour, TIdSocketList{sockets[63].Socket});
    TIdSocketList sixtyFive = all;
    EXPECT_THROW(Stack().SelectSockets(&sixtyFive, nullptr, nullptr, 0), EIdStackSetSizeExceeded);
    EXPECT_EQ(sixtyFive, all);
}

TEST_F(WinsockStack, SendManyOnGathersChunksIntoOneSend) {
    TIdSocketHandle listener;
    listener.Allocate(Id_SOCK_STREAM, 0);
    listener.IP = "127.0.0.1";
    listener.BindLocal();
    listener.ListenFor(1);
    TIdSocketHandle client;
    client.Allocate(Id_SOCK_STREAM, 0);
    client.SetRemote("127.0.0.1", listener.Port);
    ASSERT_EQ(client.ConnectPeer(Id_PF_INET), 0);
    TIdSocketHandle server;
    ASSERT_TRUE(server.AcceptFrom(listener.Socket));
    const std::string parts[3] = {"first,", "", "second"};
    TIdSendChunk chunks[3];
    for (int i = 0; i < 3; ++i) chunks[i] = {parts[i].data(), static_cast<int32_t>(parts[i].size()), -1};
    EXPECT_EQ(Stack().SendManyOn(client.Socket, chunks, 3, 0), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(chunks[i].Sent, chunks[i].Length);
    std::string got;
    char buffer[64];
    while (got.size() < 12) {
        int32_t n = server.ReceiveRaw(buffer, sizeof buffer, 0);
        ASSERT_GT(n, 0);
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, "first,second");
}

// Both ways of echoing hand the decoder the same shape of datagram.
struct EchoPath {
    const char* Name;
    bool RawForbidden;
};

class WinsockEcho : public WinsockStack, public ::testing::WithParamInterface<EchoPath> {};

TEST_P(WinsockEcho, LoopbackAnswersWithTheDatagramTheDecoderReads) {
    SetRawSocketsForbidden(GetParam().RawForbidden);
    if (!GetParam().RawForbidden) {
        TIdStackSocketHandle probe = Stack().OpenSocket(Id_PF_INET, Id_SOCK_RAW, Id_IPPROTO_ICMP);
        if (probe == Id_INVALID_SOCKET) GTEST_SKIP() << "this process may not open raw sockets (not an administrator)";
        Stack().ReleaseSocket(probe);
    }
    // The bytes as the socket delivers them.
    TIdSocketHandle raw;
    ASSERT_NO_THROW(raw.Allocate(Id_SOCK_RAW, Id_IPPROTO_ICMP)) << Stack().LastSocketError();
    int32_t type = 0, typeLength = sizeof type;
    ASSERT_EQ(Stack().GetSocketOption(raw.Socket, Id_SOL_SOCKET, Id_SO_TYPE, &type, typeLength), 0);
    EXPECT_EQ(type, GetParam().RawForbidden ? Id_SOCK_DGRAM : Id_SOCK_RAW) << "the echo took the other path";
    uint8_t request[52] = {8, 0, 0, 0, 0x34, 0x12, 0xA1, 0x0D};
    for (int i = 20; i < 52; ++i) request[i] = 'E';
    uint32_t sum = 0;  // the Internet checksum, without which no host answers
    for (int i = 0; i < 52; i += 2) sum += static_cast<uint32_t>(request[i] | request[i + 1] << 8);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    request[2] = static_cast<uint8_t>(~sum);
    request[3] = static_cast<uint8_t>(~sum >> 8);
    raw.SendToAddress("127.0.0.1", 0, request, sizeof request);
    uint8_t got[1024] = {};
    int32_t n = 0;
    for (int tries = 0; tries < 4 && n <= 0; ++tries) {  // a raw socket also hears our own request
        ASSERT_TRUE(raw.WaitReadable(3000));
        n = raw.ReceiveRaw(got, sizeof got, 0);
        if (n > 20 && got[20] == 8) n = 0;
    }
    ASSERT_EQ(n, 20 + 52);
    EXPECT_EQ(got[0], 0x45);
    EXPECT_EQ(got[9], 1);
    EXPECT_GT(got[8], 0);
    EXPECT_EQ(std::vector<uint8_t>(got + 12, got + 16), (std::vector<uint8_t>{127, 0, 0, 1}));
    EXPECT_EQ(got[20], 0);
    EXPECT_EQ(std::vector<uint8_t>(got + 24, got + 28), std::vector<uint8_t>(request + 4, request + 8));
    EXPECT_EQ(std::vector<uint8_t>(got + 28, got + 72), std::vector<uint8_t>(request + 8, request + 52));
    raw.Release();

    // And as the echo client decodes them.
    TIdIcmpClient ping;
    ping.Host = "127.0.0.1";
    ping.ReceiveTimeout = 3000;
    ping.SendEcho();
    EXPECT_EQ(ping.ReplyStatus.Outcome, ReplyOk);
    EXPECT_EQ(ping.ReplyStatus.SourceAddress, "127.0.0.1");
    EXPECT_EQ(ping.ReplyStatus.SequenceNumber, 3489);
    EXPECT_EQ(ping.ReplyStatus.ReceivedBytes, 72);
    EXPECT_GT(ping.ReplyStatus.ReplyTtl, 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, WinsockEcho,
                         ::testing::Values(EchoPath{"RawSocket", false}, EchoPath{"IcmpSendEcho2", true}),
                         [](const ::testing::TestParamInfo<EchoPath>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace nb
