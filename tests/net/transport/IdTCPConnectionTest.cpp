#include "net/transport/IdTCPConnection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "Peer.h"
#include "net/transport/IdException.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "net/transport/IdTCPClient.h"
#include "platform/Stream.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::Peer;
using test::PeerSocket;
using test::SleepMs;

// A client connected to a scripted peer, with every event it fires recorded as text.
class ConnectionTest : public ::testing::Test {
protected:
    void Record() {
        client_.OnWorkBegin = [this](TIdComponent& s, TWorkMode m, int32_t max) {
            Log(s, "begin " + std::to_string(m) + " " + std::to_string(max));
        };
        client_.OnWork = [this](TIdComponent& s, TWorkMode m, int32_t n) {
            Log(s, "work " + std::to_string(m) + " " + std::to_string(n));
        };
        client_.OnWorkEnd = [this](TIdComponent& s, TWorkMode m) { Log(s, "end " + std::to_string(m)); };
        client_.OnStatus = [this](TIdComponent& s, TIdStatus, const std::string& text) {
            events_.push_back((&s == &client_ ? "status " : "transport status ") + text);
        };
        client_.OnDisconnected = [this](TIdTCPConnection& s) { Log(s, "disconnected"); };
        client_.OnConnected = [this](TIdTCPClient& s) { Log(s, "connected"); };
    }
    void Log(TIdComponent& sender, std::string line) {
        EXPECT_EQ(&sender, &client_);
        events_.push_back(std::move(line));
    }
    void ConnectTo(Peer& peer) {
        client_.Host = "127.0.0.1";
        client_.Port = peer.Port();
        client_.Connect();
    }
    std::vector<std::string> Events(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : events_)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }

    TIdTCPClient client_;
    std::vector<std::string> events_;
};

using Strings = std::vector<std::string>;

class ConnectTest : public ConnectionTest {};

TEST_F(ConnectTest, ReportsStatusesWithTheirSenders) {
    Peer peer([](PeerSocket& s) { s.Send("hello\r\n"); });
    Record();
    client_.Host = "LocalHost";
    client_.Port = peer.Port();
    client_.Connect();
    EXPECT_TRUE(client_.IsConnected());
    EXPECT_EQ(client_.ReadLine(), "hello");
    auto* socket = dynamic_cast<TIdIOHandlerSocket*>(client_.IOHandler())->SocketHandle();
    EXPECT_EQ(socket->IP, "127.0.0.1");
    EXPECT_EQ(socket->RemotePort, peer.Port());
    EXPECT_TRUE(client_.OwnsIOHandler());
    client_.Disconnect();
    EXPECT_EQ(client_.IOHandler(), nullptr);
    EXPECT_EQ(events_, (Strings{"transport status Resolving hostname LocalHost.",
                                "transport status Connecting to 127.0.0.1.", "status Connected.", "connected",
                                "status Disconnecting.", "disconnected", "status Disconnected."}));
}

TEST_F(ConnectTest, SecondConnectWhileOpenIsRefused) {
    Peer peer([](PeerSocket& s) { s.Send("x\n"); });
    ConnectTo(peer);
    int32_t localPort = dynamic_cast<TIdIOHandlerSocket*>(client_.IOHandler())->SocketHandle()->Port;
    EXPECT_THROW(client_.Connect(), EIdAlreadyConnected);
    EXPECT_TRUE(client_.IsConnected());
    EXPECT_EQ(dynamic_cast<TIdIOHandlerSocket*>(client_.IOHandler())->SocketHandle()->Port, localPort);
    EXPECT_EQ(client_.ReadLine(), "x");
}

TEST_F(ConnectTest, RefusedConnectLeavesItClosedAndReusable) {
    client_.Host = "127.0.0.1";
    client_.Port = test::FreePort();
    try {
        client_.Connect();
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10061);
        EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(client_.IsConnected());
    Peer peer([](PeerSocket& s) { s.Send("again\r\n"); });
    client_.Port = peer.Port();
    client_.Connect(2000);  // the same transport, with a time limit this time
    EXPECT_EQ(client_.ReadLine(), "again");
}

TEST_F(ConnectTest, WithoutTransportReadsAndWritesAreNotConnected) {
    EXPECT_FALSE(client_.IsConnected());
    EXPECT_THROW(client_.WriteLine("x"), EIdNotConnected);
    EXPECT_THROW(client_.ReadLine(), EIdNotConnected);
    EXPECT_EQ(client_.FillIncoming(false), 0);
}

TEST(TransportOwnership, AConnectionForgetsADestroyedTransport) {
    TIdTCPConnection connection;
    {
        TIdIOHandlerSocket transport;
        connection.SetIOHandler(&transport);
        EXPECT_FALSE(connection.OwnsIOHandler());
        EXPECT_EQ(connection.IOHandler(), &transport);
    }
    EXPECT_EQ(connection.IOHandler(), nullptr);
    EXPECT_FALSE(connection.IsConnected());

    // The other way round: the transport outlives the connection that used it.
    TIdIOHandlerSocket survivor;
    {
        TIdTCPConnection user;
        user.SetIOHandler(&survivor);
    }
    EXPECT_FALSE(survivor.OnDestroying);
}

struct LineCase {
    const char* Name;
    std::string Sent;
    TIdMaxLineAction Action;
    bool Raises;
    std::string Expected;
    bool Split;
};

class LineLimitTest : public ConnectionTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineLimitTest, HonoursTheMaximum) {
    const LineCase& c = GetParam();
    Peer peer([&](PeerSocket& s) {
        s.Send(c.Sent);
        s.ReadUntilClosed();
    });
    ConnectTo(peer);
    client_.MaxLineAction = c.Action;
    if (c.Raises) {
        EXPECT_THROW(client_.ReadLine(), EIdReadLnMaxLineLengthExceeded);
    } else {
        std::string line = client_.ReadLine();
        EXPECT_EQ(line.size(), c.Expected.size());
        EXPECT_EQ(line, c.Expected);
        EXPECT_EQ(client_.LineWasSplit, c.Split);
    }
    client_.Disconnect();
}

const std::string k16383(16383, 'a');
const std::string k16384(16384, 'b');
const std::string k16385(16385, 'c');

INSTANTIATE_TEST_SUITE_P(
    Limits, LineLimitTest,
    ::testing::Values(LineCase{"CrLfJustBelow", k16383 + "\r\n", maException, false, k16383, false},
                      LineCase{"CrLfCountsTheCr", k16384 + "\r\n", maException, true, "", false},
                      LineCase{"BareLfAtTheLimit", k16384 + "\n", maException, false, k16384, false},
                      LineCase{"NoTerminatorRaises", k16385, maException, true, "", false},
                      LineCase{"NoTerminatorSplits", k16385, maSplit, false,
                               k16384.substr(0, 0) + std::string(16384, 'c'), true},
                      LineCase{"LongLineSplits", k16385 + "\r\n", maSplit, false, std::string(16384, 'c'), true}),
    [](const auto& info) { return std::string(info.param.Name); });

class LineTest : public ConnectionTest, public ::testing::WithParamInterface<bool> {};

// The same lines, one byte per segment or all at once.
TEST_P(LineTest, TerminatorsAndCarriageReturns) {
    const std::string sent = "one\r\ntwo\nthree\r\r\n\r\nfour;five\r;|six||end\n";
    bool trickle = GetParam();
    Peer peer([&](PeerSocket& s) {
        trickle ? s.Trickle(sent) : s.Send(sent);
        s.ReadUntilClosed();
    });
    ConnectTo(peer);
    EXPECT_EQ(client_.ReadLine(), "one");
    EXPECT_EQ(client_.ReadLine("\n"), "two");
    EXPECT_EQ(client_.ReadLine(""), "three\r");
    EXPECT_EQ(client_.ReadLine(), "");
    EXPECT_EQ(client_.ReadLine(";"), "four");
    EXPECT_EQ(client_.ReadLine(";"), "five\r");
    EXPECT_EQ(client_.ReadLine("||"), "|six");
    EXPECT_EQ(client_.ReadLine(), "end");
    client_.Disconnect();
}

INSTANTIATE_TEST_SUITE_P(Arrival, LineTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ByteByByte" : "OneBurst"; });

TEST_F(ConnectionTest, ReadNonEmptyLineSkipsBlankLines) {
    Peer peer([](PeerSocket& s) { s.Send("\r\n  \r\n\t220 ready  \r\n\r\n"); });
    ConnectTo(peer);
    EXPECT_EQ(client_.ReadNonEmptyLine(2147483647), "220 ready");
    EXPECT_EQ(client_.ReadNonEmptyLine(1), "");
}

TEST_F(ConnectionTest, NoLimitWhenMaximumIsZero) {
    const std::string big(100000, 'z');
    Peer peer([&](PeerSocket& s) { s.Send(big + "\n"); });
    ConnectTo(peer);
    client_.MaxLineLength = 0;
    EXPECT_EQ(client_.ReadLine(), big);
}

class PeerCloseTest : public ConnectionTest {};

TEST_F(PeerCloseTest, BufferedLinesStayReadableAndTheCloseIsReportedOnce) {
    Peer peer([](PeerSocket& s) { s.Send("one\r\ntwo\r\npartial"); });
    Record();
    ConnectTo(peer);
    peer.Join();
    EXPECT_EQ(client_.ReadLine(), "one");
    EXPECT_EQ(client_.ReadLine(), "two");
    EXPECT_THROW(client_.ReadLine(), EIdConnClosedGracefully);
    EXPECT_EQ(client_.Incoming.Size(), 7);  // the partial line stays
    EXPECT_THROW(client_.ReadLine(), EIdConnClosedGracefully);
    EXPECT_FALSE(client_.IsConnected());
    EXPECT_THROW(client_.WriteLine("x"), EIdConnClosedGracefully);
    EXPECT_EQ(Events("disconnected"), Strings{"disconnected"});
    EXPECT_EQ(Events("status Disconnected."), Strings{"status Disconnected."});
}

TEST_F(PeerCloseTest, ReadExactRaisesButKeepsThePartialBytes) {
    Peer peer([](PeerSocket& s) { s.Send("abc"); });
    ConnectTo(peer);
    char buf[8];
    EXPECT_THROW(client_.ReadExact(buf, 8), EIdConnClosedGracefully);
    EXPECT_EQ(client_.Incoming.Size(), 3);
    EXPECT_EQ(client_.Incoming.TakeFront(3), "abc");
}

class PeerResetTest : public ConnectionTest {};

TEST_F(PeerResetTest, WhileReadingRaises10054AndKeepsTheSocket) {
    Peer peer([](PeerSocket& s) {
        s.Read(1);
        s.Reset();
    });
    ConnectTo(peer);
    client_.WriteText("g");
    try {
        client_.ReadLine();
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10054);
    }
    EXPECT_TRUE(client_.IOHandler()->IsOpen());
    client_.Disconnect();
}

TEST_F(PeerResetTest, WhileWritingRaisesAndCloses) {
    Peer peer([](PeerSocket& s) {
        s.Read(1);
        s.Reset();
    });
    ConnectTo(peer);
    client_.WriteText("g");
    peer.Join();
    const std::string block(65536, 'w');
    try {
        for (int i = 0; i < 100; ++i) {
            client_.WriteText(block);
            SleepMs(5);
        }
        FAIL() << "writes to a reset connection kept succeeding";
    } catch (const EIdSocketError& e) {
        EXPECT_TRUE(e.ErrorCode == 10054 || e.ErrorCode == 10058) << e.ErrorCode;
    }
    EXPECT_FALSE(client_.IsConnected());
    EXPECT_THROW(client_.WriteText("x"), EIdConnClosedGracefully);
}

class TimeoutTest : public ConnectionTest {};

TEST_F(TimeoutTest, ExplicitTimeoutReturnsEmptyLine) {
    Peer peer([](PeerSocket& s) { s.ReadUntilClosed(); });
    ConnectTo(peer);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client_.ReadLine("\n", 300), "");
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(client_.LineTimedOut);
    EXPECT_GE(took, std::chrono::milliseconds(280));
    EXPECT_LT(took, std::chrono::milliseconds(3000));
    client_.Disconnect();
}

TEST_F(TimeoutTest, DefaultTimeoutRaisesReadTimeout) {
    Peer peer([](PeerSocket& s) { s.ReadUntilClosed(); });
    ConnectTo(peer);
    client_.ReadTimeout = 200;
    EXPECT_THROW(client_.ReadLine(), EIdReadTimeout);
    char c;
    EXPECT_THROW(client_.ReadExact(&c, 1), EIdReadTimeout);
    client_.Disconnect();
}

TEST_F(TimeoutTest, NoReadTimeoutWaitsForLateData) {
    Peer peer([](PeerSocket& s) {
        SleepMs(400);
        s.Send("late\r\n");
    });
    ConnectTo(peer);
    EXPECT_EQ(client_.ReadLine(), "late");
    EXPECT_FALSE(client_.LineTimedOut);
}

// A peer that stops reading: once nothing more fits, the send fails with 10060 after
// WriteTimeout and the connection closes; both the single-send and the batched stream path.
class WriteTimeoutTest : public ConnectionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(WriteTimeoutTest, PeerThatStopsReadingEndsTheSend) {
    std::atomic<bool> done{false};
    Peer peer([&](PeerSocket&) {
        while (!done) SleepMs(10);
    });
    ConnectTo(peer);
    client_.WriteTimeout = 200;
    client_.SendBufferSize = 16384;
    const std::string bytes = test::RandomBytes(48 << 20, 9);  // far more than both socket buffers
    try {
        if (GetParam()) {
            TMemoryStream stream;
            stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
            client_.WriteFromStream(stream);
        } else {
            client_.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
        }
        done = true;
        FAIL() << "the send never ran out of time";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10060);
    }
    done = true;
    EXPECT_FALSE(client_.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Paths, WriteTimeoutTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "stream" : "bytes"; });

TEST_F(TimeoutTest, WriteTimeoutDoesNotEndASlowReader) {
    std::string received;
    Peer peer([&](PeerSocket& s) {
        SleepMs(100);
        received = s.ReadUntilClosed();
    });
    ConnectTo(peer);
    client_.WriteTimeout = 1000;
    const std::string bytes = test::RandomBytes(8 << 20, 4);
    client_.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    client_.Disconnect();
    peer.Join();
    EXPECT_EQ(received, bytes);
}

class WorkTest : public ConnectionTest {};

TEST_F(WorkTest, UploadReportsEverySend) {
    const std::string data = test::RandomBytes(2500, 1);
    std::string received;
    Peer peer([&](PeerSocket& s) { received = s.ReadUntilClosed(); });
    ConnectTo(peer);
    Record();
    client_.SendBufferSize = 1024;
    TMemoryStream stream;
    stream.WriteBuffer(data.data(), 2500);
    client_.WriteFromStream(stream);
    client_.Disconnect();
    peer.Join();
    EXPECT_EQ(received, data);
    EXPECT_EQ(Events("begin"), Strings{"begin 1 2500"});
    EXPECT_EQ(Events("work"), (Strings{"work 1 1024", "work 1 2048", "work 1 2500"}));
    EXPECT_EQ(Events("end"), Strings{"end 1"});
}

TEST_F(WorkTest, EmptyStreamSendsNothing) {
    std::string received = "?";
    Peer peer([&](PeerSocket& s) { received = s.ReadUntilClosed(); });
    ConnectTo(peer);
    Record();
    TMemoryStream stream;
    client_.WriteFromStream(stream, true, false);
    client_.Disconnect();
    peer.Join();
    EXPECT_EQ(received, "");
    EXPECT_EQ(events_,
              (Strings{"begin 1 0", "end 1", "status Disconnecting.", "disconnected", "status Disconnected."}));
}

TEST_F(WorkTest, LengthPrefixAndPartialStream) {
    std::string received;
    Peer peer([&](PeerSocket& s) { received = s.ReadUntilClosed(); });
    ConnectTo(peer);
    TMemoryStream stream;
    stream.WriteBuffer("0123456789", 10);
    stream.SetPosition(2);
    client_.WriteFromStream(stream, false, true, 5);
    client_.WriteInt32(0x01020304);
    client_.WriteInt32(0x01020304, false);
    client_.Disconnect();
    peer.Join();
    uint32_t raw = 0x01020304;
    EXPECT_EQ(received, std::string("\0\0\0\5"
                                    "23456"
                                    "\1\2\3\4",
                                    13) +
                            std::string(reinterpret_cast<char*>(&raw), 4));
}

TEST_F(WorkTest, ShortDownloadHasNoWorkBetweenBeginAndEnd) {
    const std::string data = test::RandomBytes(3000, 2);
    Peer peer([&](PeerSocket& s) {
        SleepMs(200);
        s.Send(data);
    });
    ConnectTo(peer);
    Record();
    client_.RecvBufferSize = 8192;
    TMemoryStream stream;
    client_.ReadToStream(stream, -1, true);
    EXPECT_EQ(stream.ToString(), data);
    EXPECT_EQ(events_, (Strings{"begin 0 0", "status Disconnected.", "disconnected", "end 0"}));
}

TEST_F(WorkTest, DownloadReportsBufferedBytesThenEveryChunk) {
    const std::string data = test::RandomBytes(20000, 3);
    Peer peer([&](PeerSocket& s) {
        s.Send("150 go\r\n" + std::string(100, 'h'));
        s.ReadExactly(4);
        s.Send(data);
    });
    ConnectTo(peer);
    client_.RecvBufferSize = 8192;
    EXPECT_EQ(client_.ReadLine(), "150 go");
    while (client_.Incoming.Size() < 100) client_.FillIncoming();
    client_.WriteText("more");
    Record();
    TMemoryStream stream;
    client_.ReadToStream(stream, -1, true);
    EXPECT_EQ(stream.ToString(), std::string(100, 'h') + data);
    EXPECT_EQ(Events("begin"), Strings{"begin 0 0"});
    EXPECT_EQ(Events("work"), (Strings{"work 0 100", "work 0 8292", "work 0 16484"}));
    EXPECT_EQ(Events("end"), Strings{"end 0"});
}

TEST_F(WorkTest, CountedDownloadAnnouncesItsCount) {
    const std::string data = test::RandomBytes(5000, 4);
    Peer peer([&](PeerSocket& s) {
        s.Send(std::string("\0\0\x13\x88", 4) + data + "rest");
        s.ReadUntilClosed();
    });
    ConnectTo(peer);
    client_.RecvBufferSize = 2048;
    Record();
    TMemoryStream stream;
    client_.ReadToStream(stream);  // the count comes first, as a 4-byte prefix
    EXPECT_EQ(stream.ToString(), data);
    EXPECT_EQ(Events("begin"), Strings{"begin 0 5000"});
    EXPECT_EQ(Events("work").back(), "work 0 5000");  // the prefix is read before the period
    EXPECT_EQ(client_.ReadLine("t"), "res");
    client_.Disconnect();
}

TEST_F(WorkTest, CountedDownloadCutShortRaisesAfterEndingThePeriod) {
    Peer peer([](PeerSocket& s) { s.Send(std::string(3000, 'q')); });
    ConnectTo(peer);
    client_.RecvBufferSize = 1000;
    Record();
    TMemoryStream stream;
    EXPECT_THROW(client_.ReadToStream(stream, 5000), EIdConnClosedGracefully);
    EXPECT_EQ(stream.Size(), stream.Position());
    EXPECT_GE(stream.Size(), 2000);
    EXPECT_EQ(Events("end"), Strings{"end 0"});
}

class BufferingTest : public ConnectionTest {};

TEST_F(BufferingTest, CollectsUntilThresholdOrEnd) {
    std::atomic<bool> silentBefore{false}, silentAfterDiscard{false};
    std::string first, rest;
    Peer peer([&](PeerSocket& s) {
        silentBefore = s.Silent(150);
        first = s.ReadExactly(10);
        silentAfterDiscard = s.Silent(150);
        rest = s.ReadUntilClosed();
    });
    ConnectTo(peer);
    client_.BeginBuffering(10);
    client_.WriteText("abcdefgh");  // 8 pending, below the threshold
    SleepMs(300);
    client_.WriteText("ijklmn");  // 14 pending: the first 10 go out
    client_.DiscardBuffered();
    SleepMs(300);
    client_.WriteLine("end");
    client_.EndBuffering();
    client_.WriteText("!");
    client_.Disconnect();
    peer.Join();
    EXPECT_TRUE(silentBefore);
    EXPECT_EQ(first, "abcdefghij");
    EXPECT_TRUE(silentAfterDiscard);
    EXPECT_EQ(rest, "end\r\n!");
}

}  // namespace
}  // namespace nb
