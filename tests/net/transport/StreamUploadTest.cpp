// Stream uploads sent in batches: every platform send still carries at most SendBufferSize bytes
// and is followed by its own OnWork with the running total, whatever the transport makes of a batch.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Peer.h"
#include "net/transport/IdException.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "net/transport/IdTCPClient.h"
#include "platform/Exception.h"
#include "platform/Stream.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::Peer;
using test::PeerSocket;
using Counts = std::vector<int32_t>;

enum class Batching {
    Platform,  // the socket's own batch call
    InTurn,    // the transports' default: one Send per chunk
    Partial,   // at most three chunks per call, the last of them cut in half
};

// A real socket transport that records the size of every platform send.
class RecordingTransport : public TIdIOHandlerSocket {
public:
    explicit RecordingTransport(Batching batching) : batching_(batching) {}

    Counts Sends;
    int BatchCalls = 0;

    int32_t Send(const void* buffer, int32_t length) override {
        int32_t n = TIdIOHandlerSocket::Send(buffer, length);
        if (n > 0) Sends.push_back(n);
        return n;
    }

    int32_t SendMany(TIdSendChunk* chunks, int32_t count) override {
        ++BatchCalls;
        if (batching_ == Batching::InTurn) return TIdIOHandler::SendMany(chunks, count);
        TIdSendChunk offered[3];
        const int32_t k = batching_ == Batching::Partial ? std::min(count, 3) : 0;
        std::copy(chunks, chunks + k, offered);
        if (k > 0 && offered[k - 1].Length > 1) offered[k - 1].Length /= 2;
        TIdSendChunk* given = k > 0 ? offered : chunks;
        int32_t taken = TIdIOHandlerSocket::SendMany(given, k > 0 ? k : count);
        if (k > 0)
            for (int32_t i = 0; i < k; ++i) chunks[i].Sent = offered[i].Sent;
        for (int32_t i = 0; i < taken; ++i) Sends.push_back(given[i].Sent);
        return taken;
    }

private:
    Batching batching_;
};

// Holds data but may claim a larger size, deliver at most readLimit bytes per read, and fail
// instead of answering 0 when its bytes run out.
class ScriptedStream : public TStream {
public:
    ScriptedStream(std::string data, int64_t claimedSize, int32_t readLimit, bool failAtEnd)
        : data_(std::move(data)), claimed_(claimedSize), limit_(readLimit), failAtEnd_(failAtEnd) {}
    int32_t Read(void* buffer, int32_t count) override {
        if (limit_ > 0) count = std::min(count, limit_);
        int32_t n = static_cast<int32_t>(std::min<int64_t>(count, static_cast<int64_t>(data_.size()) - position_));
        if (n <= 0 && failAtEnd_) throw EReadError("Stream read error");
        std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(std::max(n, 0)));
        position_ += std::max(n, 0);
        return std::max(n, 0);
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        position_ = origin == SeekOrigin::Begin     ? offset
                    : origin == SeekOrigin::Current ? position_ + offset
                                                    : claimed_ + offset;
        return position_;
    }
    void SetSize(int64_t) override {}
    int64_t Size() override { return claimed_; }

private:
    std::string data_;
    int64_t claimed_;
    int32_t limit_;
    bool failAtEnd_;
    int64_t position_ = 0;
};

Counts RunningTotals(const Counts& sends) {
    Counts totals;
    int32_t sum = 0;
    for (int32_t n : sends) totals.push_back(sum += n);
    return totals;
}

class StreamUploadTest : public ::testing::Test {
protected:
    void Connect(Peer& peer, Batching batching, int32_t sendBufferSize) {
        // Not owned, so that its record outlives Disconnect.
        transport_ = std::make_unique<RecordingTransport>(batching);
        client_.SetIOHandler(transport_.get());
        client_.Host = "127.0.0.1";
        client_.Port = peer.Port();
        client_.SendBufferSize = sendBufferSize;
        client_.Connect();
        client_.OnWorkBegin = [this](TIdComponent&, TWorkMode m, int32_t max) {
            EXPECT_EQ(m, wmWrite);
            begins_.push_back(max);
        };
        client_.OnWork = [this](TIdComponent&, TWorkMode, int32_t n) {
            work_.push_back(n);
            sent_ = n;
        };
        client_.OnWorkEnd = [this](TIdComponent&, TWorkMode) { ++ends_; };
    }

    std::unique_ptr<RecordingTransport> transport_;
    TIdTCPClient client_;
    Counts begins_;
    Counts work_;
    // The running total, for a peer thread to watch.
    std::atomic<int32_t> sent_{0};
    int ends_ = 0;
};

struct UploadCase {
    const char* Name;
    int32_t Size;
    int32_t SendBufferSize;
    int32_t ReadLimit;  // 0: reads take whole chunks
    Batching Mode;
};

void PrintTo(const UploadCase& c, std::ostream* os) { *os << c.Name; }

class BatchedUploadTest : public StreamUploadTest, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(BatchedUploadTest, ArrivesWholeWithOneWorkEventPerSend) {
    const UploadCase& c = GetParam();
    const std::string data = test::RandomBytes(static_cast<size_t>(c.Size), 7);
    std::string received;
    Peer peer([&](PeerSocket& s) { received = s.ReadUntilClosed(); });
    Connect(peer, c.Mode, c.SendBufferSize);
    ScriptedStream stream(data, c.Size, c.ReadLimit, false);
    client_.WriteFromStream(stream);
    client_.Disconnect();
    peer.Join();

    ASSERT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
    EXPECT_EQ(begins_, Counts{c.Size});
    EXPECT_EQ(ends_, 1);
    const Counts& sends = transport_->Sends;
    EXPECT_EQ(work_, RunningTotals(sends));
    EXPECT_LE(*std::max_element(sends.begin(), sends.end()), c.SendBufferSize);
    if (c.Mode == Batching::Platform) {
        // Each chunk as read is one send, and 64 KiB or 64 chunks share one call.
        const int32_t chunk = c.ReadLimit > 0 ? std::min(c.ReadLimit, c.SendBufferSize) : c.SendBufferSize;
        const int32_t chunks = (c.Size + chunk - 1) / chunk;
        EXPECT_EQ(static_cast<int32_t>(sends.size()), chunks);
        const int32_t perCall = std::clamp(65536 / c.SendBufferSize, 1, 64);
        EXPECT_EQ(transport_->BatchCalls, (chunks + perCall - 1) / perCall);
    }
}

INSTANTIATE_TEST_SUITE_P(Uploads, BatchedUploadTest,
                         ::testing::Values(UploadCase{"ManyChunks", 200077, 1024, 0, Batching::Platform},
                                           UploadCase{"ExactBatches", 3 * 65536, 1024, 0, Batching::Platform},
                                           UploadCase{"ShortReads", 50000, 1000, 700, Batching::Platform},
                                           UploadCase{"OneByteChunks", 300, 1, 0, Batching::Platform},
                                           UploadCase{"ChunksLargerThanABatch", 200000, 100000, 0, Batching::Platform},
                                           UploadCase{"DefaultTransport", 100000, 1024, 0, Batching::InTurn},
                                           UploadCase{"PartialBatches", 100000, 1024, 0, Batching::Partial},
                                           UploadCase{"PartialShortReads", 20000, 1024, 333, Batching::Partial}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct ShortStreamCase {
    const char* Name;
    bool FailAtEnd;
};

void PrintTo(const ShortStreamCase& c, std::ostream* os) { *os << c.Name; }

class ShortStreamTest : public StreamUploadTest, public ::testing::WithParamInterface<ShortStreamCase> {};

// The bytes read before the stream ran dry go out, then the failure surfaces and the period ends.
TEST_P(ShortStreamTest, SendsWhatItGotThenRaises) {
    const std::string data = test::RandomBytes(6000, 8);
    std::string received;
    Peer peer([&](PeerSocket& s) { received = s.ReadUntilClosed(); });
    Connect(peer, Batching::Platform, 1024);
    ScriptedStream stream(data, 10000, 0, GetParam().FailAtEnd);
    if (GetParam().FailAtEnd)
        EXPECT_THROW(client_.WriteFromStream(stream), EReadError);
    else
        EXPECT_THROW(client_.WriteFromStream(stream), EIdNoDataToRead);
    EXPECT_EQ(ends_, 1);
    EXPECT_EQ(begins_, Counts{10000});
    EXPECT_EQ(work_, (Counts{1024, 2048, 3072, 4096, 5120, 6000}));
    client_.Disconnect();
    peer.Join();
    EXPECT_TRUE(received == data);
}

INSTANTIATE_TEST_SUITE_P(Streams, ShortStreamTest,
                         ::testing::Values(ShortStreamCase{"ReadsNothing", false}, ShortStreamCase{"ReadFails", true}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A stream that does not know its length yet (an archive still being written) is sent until its
// Read ends, whether that falls inside a batch, on a batch's edge or at once.
TEST_F(StreamUploadTest, StreamOfUnknownLengthIsSentUntilItEnds) {
    for (size_t size : {size_t{0}, size_t{6000}, size_t{65536}, size_t{4 * 65536 + 1}}) {
        SCOPED_TRACE(size);
        const std::string data = test::RandomBytes(size, 9);
        std::string received;
        Peer peer([&](PeerSocket& s) { received = s.ReadUntilClosed(); });
        begins_.clear();
        work_.clear();
        ends_ = 0;
        Connect(peer, Batching::Platform, 1024);
        ScriptedStream stream(data, -1, 700, false);
        client_.WriteFromStream(stream);
        EXPECT_EQ(begins_, Counts{0});
        EXPECT_EQ(ends_, 1);
        EXPECT_EQ(work_.empty() ? 0 : work_.back(), static_cast<int32_t>(size));
        client_.Disconnect();
        peer.Join();
        EXPECT_TRUE(received == data);
    }
}

struct ResetCase {
    const char* Name;
    Batching Mode;
    bool WaitForRoom;  // the peer reads nothing, so the upload waits for room when the reset comes
};

void PrintTo(const ResetCase& c, std::ostream* os) { *os << c.Name; }

class UploadResetTest : public StreamUploadTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(UploadResetTest, RaisesClosesAndEndsThePeriod) {
    constexpr int32_t kSize = 32 << 20;  // far more than the socket buffers hold
    const bool waitForRoom = GetParam().WaitForRoom;
    Peer peer([&](PeerSocket& s) {
        if (waitForRoom) {
            // Bytes went out, and then no more for a while: the sender waits for room. A fixed
            // sleep would race a slow start (a loaded machine, the sanitizers).
            int32_t seen = -1;
            for (int quiet = 0, waited = 0; quiet < 4 && waited < 600; ++waited) {
                test::SleepMs(50);
                const int32_t now = sent_;
                quiet = now > 0 && now == seen ? quiet + 1 : 0;
                seen = now;
            }
        } else {
            s.ReadExactly(100000);
        }
        s.Reset();
    });
    Connect(peer, GetParam().Mode, 1024);
    ScriptedStream stream(std::string(kSize, 'u'), kSize, 0, false);
    try {
        client_.WriteFromStream(stream);
        FAIL() << "the upload to a reset peer succeeded";
    } catch (const EIdSocketError& e) {
        // The reset's own code, or the shutdown code when the send that met the reset was not
        // the first of a batch: the platform then reports only the sends before it, and the
        // next call finds the connection shut.
        EXPECT_TRUE(e.ErrorCode == 10054 || e.ErrorCode == 10058) << e.ErrorCode;
    }
    EXPECT_EQ(ends_, 1);
    ASSERT_FALSE(work_.empty());
    EXPECT_EQ(work_, RunningTotals(transport_->Sends));
    EXPECT_LT(work_.back(), kSize);
    if (!waitForRoom) {
        EXPECT_GE(work_.back(), 100000);
    }
    EXPECT_FALSE(client_.IsConnected());
    EXPECT_THROW(client_.WriteText("x"), EIdConnClosedGracefully);
}

INSTANTIATE_TEST_SUITE_P(Resets, UploadResetTest,
                         ::testing::Values(ResetCase{"MidTransfer", Batching::Platform, false},
                                           ResetCase{"WhileWaitingForRoom", Batching::Platform, true},
                                           ResetCase{"MidTransferDefaultTransport", Batching::InTurn, false},
                                           ResetCase{"WhileWaitingDefaultTransport", Batching::InTurn, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Output buffering keeps the chunk-by-chunk path: the bytes wait for the flush.
TEST_F(StreamUploadTest, BufferedOutputWaitsForTheFlush) {
    const std::string data = test::RandomBytes(5000, 9);
    std::string received;
    bool silent = false;
    Peer peer([&](PeerSocket& s) {
        silent = s.Silent(200);
        received = s.ReadUntilClosed();
    });
    Connect(peer, Batching::Platform, 1024);
    client_.BeginBuffering(0);
    ScriptedStream stream(data, 5000, 0, false);
    client_.WriteFromStream(stream);
    EXPECT_EQ(transport_->BatchCalls, 0);
    EXPECT_TRUE(work_.empty());  // queued bytes are not sent work
    test::SleepMs(300);
    client_.EndBuffering();
    client_.Disconnect();
    peer.Join();
    EXPECT_TRUE(silent);
    EXPECT_TRUE(received == data);
}

}  // namespace
}  // namespace nb
