// What a reply without end costs the client: a scripted server on loopback floods "220-" lines
// as fast as it can (80 bytes, then 8000 bytes each), then another sends one a second, each against a client with the
// application's read time-out. For each: how the read ended, after how long, and how much the
// process's peak memory grew. Each server gives up after a while and closes, so that a client
// without bounds ends too.
//   build/bench/ftp/reply_bounds_bench [read time-out ms (5000)] [server's patience s (30)]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/ftp/PeakMemory.h"
#include "net/transport/IdTCPClient.h"
#include "tests/net/ftp/FakeFtpServer.h"

namespace {

using Clock = std::chrono::steady_clock;

void Run(const char* name, const std::string& line, int pauseMs, int readTimeoutMs, int patienceS) {
    nb::test::FakeFtpServer server([&](nb::test::FakeSession& s) {
        const auto until = Clock::now() + std::chrono::seconds(patienceS);
        while (Clock::now() < until && s.Send(line))
            if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    });
    const long before = PeakMemoryKiB();
    std::string outcome = "the reply ended";
    const auto start = Clock::now();
    {
        nb::TIdTCPClient client;
        client.Host = "127.0.0.1";
        client.Port = server.Port();
        client.ReadTimeout = readTimeoutMs;
        try {
            client.Connect();
            client.ReadReply({220});
        } catch (const std::exception& e) {
            outcome = e.what();
            for (auto& c : outcome)
                if (c == '\r' || c == '\n') c = ' ';
        }
        client.Disconnect();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    server.Finish();
    std::printf("%-8s ended after %6.2f s, peak memory +%ld KiB: %s\n", name, seconds, PeakMemoryKiB() - before,
                outcome.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int readTimeoutMs = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int patienceS = argc > 2 ? std::atoi(argv[2]) : 30;
    std::printf("read time-out %d ms; each server gives up after %d s\n", readTimeoutMs, patienceS);
    Run("flood", "220-" + std::string(76, 'f') + "\r\n", 0, readTimeoutMs, patienceS);
    Run("wide", "220-" + std::string(8000, 'w') + "\r\n", 0, readTimeoutMs, patienceS);
    Run("trickle", "220-one line a second\r\n", 1000, readTimeoutMs, patienceS);
    return 0;
}
