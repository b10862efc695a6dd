#pragma once
// The far end of a test connection: a thread that accepts one connection on 127.0.0.1 and runs a
// script against it with exact bytes, orderly closes and resets.
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/TestSocket.h"

namespace nb::test {

class PeerSocket {
public:
    explicit PeerSocket(TestSocket socket) : socket_(std::move(socket)) {}
    void Send(const std::string& bytes);
    // Sends each byte alone.
    void Trickle(const std::string& bytes);
    // Up to count bytes, waiting at most five seconds.
    std::string Read(size_t count);
    std::string ReadExactly(size_t count);
    std::string ReadUntilClosed();
    // Nothing to read right now.
    bool Silent(int waitMs);
    void Close();
    // Closes with SO_LINGER 0, which sends a reset.
    void Reset();

private:
    TestSocket socket_;
};

class Peer {
public:
    explicit Peer(std::function<void(PeerSocket&)> script);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    int32_t Port() const { return port_; }
    void Join();

private:
    TestSocket listener_;
    int32_t port_ = 0;
    std::thread thread_;
};

void SleepMs(int ms);

}  // namespace nb::test
