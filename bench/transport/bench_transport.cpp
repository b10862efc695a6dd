// Moves a byte volume over loopback through WriteFromStream -> ReadToStream(until closed) and
// through a plain send/recv loop with the same chunk sizes, and prints MB/s of both, with and
// without work handlers, and the receive queue's peak storage.
// Usage: bench_transport [MiB per run, default 512]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/transport/ProcessCpu.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "net/transport/IdTCPClient.h"
#include "platform/Stream.h"

using namespace nb;

namespace {

constexpr int kPatternSize = 1 << 16;
std::vector<uint8_t> gPattern(kPatternSize);

// Delivers size bytes of a repeating pattern without holding them.
class PatternStream : public TStream {
public:
    explicit PatternStream(int64_t size) : size_(size) {}
    int32_t Read(void* buffer, int32_t count) override {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(count, size_ - position_));
        int32_t done = 0;
        while (done < n) {
            int32_t offset = static_cast<int32_t>((position_ + done) % kPatternSize);
            int32_t k = std::min(n - done, kPatternSize - offset);
            std::memcpy(static_cast<uint8_t*>(buffer) + done, gPattern.data() + offset, static_cast<size_t>(k));
            done += k;
        }
        position_ += n;
        return n;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        position_ = origin == SeekOrigin::Begin     ? offset
                    : origin == SeekOrigin::Current ? position_ + offset
                                                    : size_ + offset;
        return position_;
    }
    void SetSize(int64_t size) override { size_ = size; }
    int64_t Size() override { return size_; }

private:
    int64_t size_;
    int64_t position_ = 0;
};

// Counts what it is given and samples the receive queue's storage on every write.
class SinkStream : public TStream {
public:
    explicit SinkStream(const TIdManagedBuffer& queue) : queue_(queue) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override {
        position_ += count;
        size_ = std::max(size_, position_);
        peak_ = std::max(peak_, queue_.StorageSize());
        return count;
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        position_ = origin == SeekOrigin::Begin     ? offset
                    : origin == SeekOrigin::Current ? position_ + offset
                                                    : size_ + offset;
        return position_;
    }
    void SetSize(int64_t size) override { size_ = size; }
    int64_t Size() override { return size_; }
    size_t Peak() const { return peak_; }

private:
    const TIdManagedBuffer& queue_;
    int64_t position_ = 0, size_ = 0;
    size_t peak_ = 0;
};

// Plain sockets go through the stack too (one virtual call each), so the bench runs on every system.
TIdStack& Stack() { return *SharedStack(); }

TIdStackSocketHandle Listen(int& port) {
    TIdStackSocketHandle s = Stack().OpenSocket(Id_PF_INET, Id_SOCK_STREAM, 0);
    if (s == Id_INVALID_SOCKET || Stack().BindSocket(s, Id_PF_INET, "127.0.0.1", 0) != 0 ||
        Stack().ListenSocket(s, 1) != 0) {
        std::fprintf(stderr, "listen: socket error %d\n", Stack().LastSocketError());
        std::exit(1);
    }
    int family = 0;
    std::string ip;
    int32_t bound = 0;
    Stack().LocalAddressOf(s, family, ip, bound);
    port = bound;
    return s;
}

// Wall time and the process's CPU time (both threads, user and system) since a start.
struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpu = ProcessCpuSeconds();
};

struct Rate {
    double Wall;  // MB/s
    double Cpu;   // MB per CPU second
};

Rate RateSince(const Clock& start, int64_t bytes) {
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start.wall).count();
    double cpu = ProcessCpuSeconds() - start.cpu;
    return {static_cast<double>(bytes) / 1e6 / wall, static_cast<double>(bytes) / 1e6 / cpu};
}

Rate PlainLoop(int64_t total, int sendSize, int recvSize) {
    int port = 0;
    TIdStackSocketHandle listener = Listen(port);
    std::thread writer([&] {
        std::string ip;
        int32_t peerPort = 0;
        TIdStackSocketHandle fd = Stack().AcceptSocket(listener, ip, peerPort);
        // The same source as the connection's, read chunk by chunk, so both sides pay for it.
        PatternStream source(total);
        std::vector<uint8_t> chunk(static_cast<size_t>(sendSize));
        int32_t k;
        while ((k = source.Read(chunk.data(), sendSize)) > 0) {
            for (int32_t done = 0; done < k;) {
                int32_t n = Stack().SendOn(fd, chunk.data() + done, k - done, 0);
                if (n <= 0) break;
                done += static_cast<int32_t>(n);
            }
        }
        Stack().ReleaseSocket(fd);
    });
    TIdStackSocketHandle fd = Stack().OpenSocket(Id_PF_INET, Id_SOCK_STREAM, 0);
    Clock start;
    Stack().ConnectSocket(fd, Id_PF_INET, "127.0.0.1", port);
    std::vector<uint8_t> buffer(static_cast<size_t>(recvSize));
    int64_t got = 0;
    int32_t n;
    while ((n = Stack().ReceiveOn(fd, buffer.data(), recvSize, 0)) > 0) got += n;
    writer.join();
    Rate rate = RateSince(start, total);
    Stack().ReleaseSocket(fd);
    Stack().ReleaseSocket(listener);
    if (got != total) std::fprintf(stderr, "plain loop moved %lld of %lld bytes\n", (long long)got, (long long)total);
    return rate;
}

struct Result {
    Rate MBps;
    size_t PeakQueue;
    long Events;
};

Result Connections(int64_t total, int sendSize, int recvSize, bool handlers) {
    int port = 0;
    TIdStackSocketHandle listener = Listen(port);
    long events = 0;
    std::thread writer([&] {
        TIdTCPConnection connection;
        auto transport = std::make_unique<TIdIOHandlerSocket>();
        transport->Open();
        transport->SocketHandle()->AcceptFrom(listener);
        connection.SetOwnedIOHandler(std::move(transport));
        connection.SendBufferSize = sendSize;
        long writes = 0;
        if (handlers) connection.OnWork = [&](TIdComponent&, TWorkMode, int32_t) { ++writes; };
        PatternStream source(total);
        connection.WriteFromStream(source);
        connection.Disconnect();
        events += writes;
    });
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.RecvBufferSize = recvSize;
    long reads = 0;
    if (handlers) client.OnWork = [&](TIdComponent&, TWorkMode, int32_t) { ++reads; };
    Clock start;
    client.Connect();
    SinkStream sink(client.Incoming);
    client.ReadToStream(sink, -1, true);
    writer.join();
    Rate rate = RateSince(start, total);
    Stack().ReleaseSocket(listener);
    if (sink.Size() != total)
        std::fprintf(stderr, "connections moved %lld of %lld bytes\n", (long long)sink.Size(), (long long)total);
    return {rate, sink.Peak(), events + reads};
}

}  // namespace

Rate Best(Rate a, Rate b) { return {std::max(a.Wall, b.Wall), std::max(a.Cpu, b.Cpu)}; }

int main(int argc, char** argv) {
    int64_t mib = argc > 1 ? std::atoll(argv[1]) : 512;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    int64_t total = mib << 20;
    for (int i = 0; i < kPatternSize; ++i) gPattern[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 131 + 7);
    TIdComponent keepStack;
    std::printf("%lld MiB per run over 127.0.0.1, best of %d interleaved runs\n", (long long)mib, runs);
    std::printf("MB/s by wall time, and MB per CPU second of both ends together (robust on a busy machine)\n");
    std::printf("%-12s %-6s %10s %10s %10s %8s %8s %12s\n", "send/recv", "clock", "plain", "conn", "conn+work", "ratio",
                "ratio+w", "peak queue");
    const int sizes[][2] = {{1024, 8192}, {32768, 32768}};
    for (const auto& sz : sizes) {
        Rate plain{0, 0}, bare{0, 0}, work{0, 0};
        size_t peak = 0;
        long events = 0;
        for (int run = 0; run < runs; ++run) {
            plain = Best(plain, PlainLoop(total, sz[0], sz[1]));
            Result r = Connections(total, sz[0], sz[1], false);
            bare = Best(bare, r.MBps);
            peak = std::max(peak, r.PeakQueue);
            Result w = Connections(total, sz[0], sz[1], true);
            work = Best(work, w.MBps);
            peak = std::max(peak, w.PeakQueue);
            events = w.Events;
        }
        char label[32];
        std::snprintf(label, sizeof label, "%d/%d", sz[0], sz[1]);
        std::printf("%-12s %-6s %10.0f %10.0f %10.0f %8.2f %8.2f %12zu\n", label, "wall", plain.Wall, bare.Wall,
                    work.Wall, bare.Wall / plain.Wall, work.Wall / plain.Wall, peak);
        std::printf("%-12s %-6s %10.0f %10.0f %10.0f %8.2f %8.2f   work events per run: %ld\n", "", "cpu", plain.Cpu,
                    bare.Cpu, work.Cpu, bare.Cpu / plain.Cpu, work.Cpu / plain.Cpu, events);
    }
    return 0;
}
