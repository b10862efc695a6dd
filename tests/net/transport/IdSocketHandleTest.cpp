#include "net/transport/IdSocketHandle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "net/transport/IdComponent.h"
#include "net/transport/IdException.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

class SocketHandleTest : public ::testing::Test {
protected:
    TIdComponent keepStack_;

    // A listening handle on 127.0.0.1 with the given port (0 = any).
    std::unique_ptr<TIdSocketHandle> Listener(int32_t port = 0, int32_t backlog = 5) {
        auto h = std::make_unique<TIdSocketHandle>();
        h->Allocate(Id_SOCK_STREAM, 0);
        h->IP = "127.0.0.1";
        h->Port = port;
        h->BindLocal();
        h->ListenFor(backlog);
        return h;
    }
};

TEST_F(SocketHandleTest, BindWithoutAddressReportsWhatThePlatformChose) {
    TIdSocketHandle h;
    h.Allocate(Id_SOCK_STREAM, 0);
    h.BindLocal();
    EXPECT_EQ(h.IP, "0.0.0.0");
    EXPECT_GT(h.Port, 0);
}

TEST_F(SocketHandleTest, BindToAPortInUseIsCouldNotBind) {
    auto busy = Listener();
    TIdSocketHandle h;
    h.Allocate(Id_SOCK_STREAM, 0);
    h.IP = "127.0.0.1";
    h.Port = busy->Port;
    try {
        h.BindLocal();
        FAIL();
    } catch (const EIdCouldNotBindSocket& e) {
        EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
    }
}

TEST_F(SocketHandleTest, PortRangeIsTriedFromTheTopDown) {
    // Three neighbouring ports, the highest one taken.
    auto top = Listener();
    int32_t max = top->Port, min = max - 2;
    if (min < 1024) GTEST_SKIP() << "no room below port " << max;
    TIdSocketHandle h;
    h.Allocate(Id_SOCK_STREAM, 0);
    h.IP = "127.0.0.1";
    h.ClientPortMin = min;
    h.ClientPortMax = max;
    try {
        h.BindLocal();
    } catch (const EIdCanNotBindPortInRange&) {
        GTEST_SKIP() << "ports " << min << ".." << max << " all busy";
    }
    EXPECT_EQ(h.Port, max - 1);
}

TEST_F(SocketHandleTest, RangeErrorsCarryTheNumbers) {
    TIdSocketHandle h;
    h.Allocate(Id_SOCK_STREAM, 0);
    h.ClientPortMin = 5010;
    h.ClientPortMax = 5000;
    try {
        h.BindLocal();
        FAIL();
    } catch (const EIdInvalidPortRange& e) {
        EXPECT_STREQ(e.what(), "Invalid Port Range (5010 - 5000)");
    }

    auto only = Listener();
    h.IP = "127.0.0.1";
    h.Port = 0;
    h.ClientPortMin = h.ClientPortMax = only->Port;
    try {
        h.BindLocal();
        FAIL();
    } catch (const EIdCanNotBindPortInRange& e) {
        EXPECT_EQ(e.Message(), "Can not bind in port range (" + std::to_string(only->Port) + " - " +
                                   std::to_string(only->Port) + ")");
    }
}

TEST_F(SocketHandleTest, AcceptFillsBothAddresses) {
    auto listener = Listener();
    TIdSocketHandle client;
    client.Allocate(Id_SOCK_STREAM, 0);
    client.SetRemote("127.0.0.1", listener->Port);
    ASSERT_EQ(client.ConnectPeer(Id_PF_INET), 0);
    EXPECT_EQ(client.IP, "127.0.0.1");
    EXPECT_EQ(client.RemotePort, listener->Port);

    TIdSocketHandle accepted;
    ASSERT_TRUE(accepted.AcceptFrom(listener->Socket));
    EXPECT_TRUE(accepted.Allocated);
    EXPECT_EQ(accepted.Port, listener->Port);
    EXPECT_EQ(accepted.RemoteIP, "127.0.0.1");
    EXPECT_EQ(accepted.RemotePort, client.Port);
}

TEST_F(SocketHandleTest, AcceptOnAClosedListenerReturnsFalse) {
    auto listener = Listener();
    TIdStackSocketHandle s = listener->Socket;
    listener->Release();
    TIdSocketHandle h;
    EXPECT_FALSE(h.AcceptFrom(s));
    EXPECT_FALSE(h.Allocated);
}

TEST_F(SocketHandleTest, WaitReadable) {
    TIdSocketHandle closed;
    EXPECT_THROW(closed.WaitReadable(0), EIdConnClosedGracefully);

    auto listener = Listener();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(listener->WaitReadable(0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

    TIdSocketHandle client;
    client.Allocate(Id_SOCK_STREAM, 0);
    client.SetRemote("127.0.0.1", listener->Port);
    ASSERT_EQ(client.ConnectPeer(Id_PF_INET), 0);
    EXPECT_TRUE(listener->WaitReadable(2000));
}

TEST_F(SocketHandleTest, DatagramSendErrors) {
    TIdSocketHandle h;
    h.Allocate(Id_SOCK_DGRAM, 0);
    std::vector<char> huge(70000);
    EXPECT_THROW(h.SendToAddress("127.0.0.1", 9, huge.data(), static_cast<int32_t>(huge.size())), EIdPackageSizeTooBig);
    EXPECT_THROW(h.SendToAddress("256.0.0.1", 9, "x", 1), EIdInvalidIPAddress);

    TIdSocketHandle receiver;
    receiver.Allocate(Id_SOCK_DGRAM, 0);
    receiver.IP = "127.0.0.1";
    receiver.BindLocal();
    h.SendToAddress("127.0.0.1", receiver.Port, "ping", 4);
    char buf[16];
    std::string ip;
    int32_t port = 0;
    ASSERT_TRUE(receiver.WaitReadable(2000));
    EXPECT_EQ(receiver.ReceiveFromPeer(buf, sizeof buf, 0, ip, port), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    EXPECT_EQ(ip, "127.0.0.1");
    EXPECT_GT(port, 0);
}

// A listener that never accepts, with its queue filled, leaves further connects hanging.
class TimedConnectTest : public SocketHandleTest {};

TEST_F(TimedConnectTest, RunsOutWith10060) {
    auto listener = Listener(0, 0);
    std::vector<std::unique_ptr<TIdSocketHandle>> fillers;
    for (int i = 0; i < 8; ++i) {
        auto f = std::make_unique<TIdSocketHandle>();
        f->Allocate(Id_SOCK_STREAM, 0);
        f->SetRemote("127.0.0.1", listener->Port);
        if (f->ConnectPeerWithin(Id_PF_INET, 200) != 0) {
            EXPECT_EQ(SharedStack()->LastSocketError(), Id_WSAETIMEDOUT);
            auto start = std::chrono::steady_clock::now();
            TIdSocketHandle h;
            h.Allocate(Id_SOCK_STREAM, 0);
            h.SetRemote("127.0.0.1", listener->Port);
            EXPECT_EQ(h.ConnectPeerWithin(Id_PF_INET, 300), -1);
            auto took = std::chrono::steady_clock::now() - start;
            EXPECT_EQ(SharedStack()->LastSocketError(), Id_WSAETIMEDOUT);
            EXPECT_GE(took, std::chrono::milliseconds(250));
            EXPECT_LT(took, std::chrono::milliseconds(3000));
            return;
        }
        fillers.push_back(std::move(f));
    }
    GTEST_SKIP() << "the kernel kept accepting connections into a full queue";
}

TEST_F(TimedConnectTest, SucceedsAndRefusesLikeThePlainConnect) {
    auto listener = Listener();
    TIdSocketHandle h;
    h.Allocate(Id_SOCK_STREAM, 0);
    h.SetRemote("127.0.0.1", listener->Port);
    ASSERT_EQ(h.ConnectPeerWithin(Id_PF_INET, 2000), 0);
    EXPECT_EQ(h.RemotePort, listener->Port);
    EXPECT_GT(h.Port, 0);

    TIdSocketHandle refused;
    refused.Allocate(Id_SOCK_STREAM, 0);
    refused.SetRemote("127.0.0.1", test::FreePort());
    EXPECT_EQ(refused.ConnectPeerWithin(Id_PF_INET, 2000), -1);
    EXPECT_EQ(SharedStack()->LastSocketError(), Id_WSAECONNREFUSED);
}

}  // namespace
}  // namespace nb
