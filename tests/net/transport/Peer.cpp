#include "Peer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace nb::test {

namespace {
// How long a peer's read waits for the client before it gives up.
constexpr int kReadWaitMs = 10000;
}  // namespace

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void PeerSocket::Send(const std::string& bytes) {
    if (!socket_.SendAll(bytes)) ADD_FAILURE() << "peer send failed";
}

void PeerSocket::Trickle(const std::string& bytes) {
    socket_.SetNoDelay();
    for (char c : bytes) {
        Send(std::string(1, c));
        SleepMs(2);
    }
}

std::string PeerSocket::Read(size_t count) { return socket_.Receive(count, kReadWaitMs); }

std::string PeerSocket::ReadExactly(size_t count) {
    std::string out;
    while (out.size() < count) {
        std::string part = Read(count - out.size());
        if (part.empty()) break;
        out += part;
    }
    return out;
}

std::string PeerSocket::ReadUntilClosed() {
    std::string out;
    for (;;) {
        std::string part = Read(65536);
        if (part.empty()) return out;
        out += part;
    }
}

bool PeerSocket::Silent(int waitMs) { return !socket_.WaitReadable(waitMs); }

void PeerSocket::Close() { socket_.Close(); }

void PeerSocket::Reset() { socket_.Reset(); }

Peer::Peer(std::function<void(PeerSocket&)> script) {
    int port = 0;
    listener_ = TestSocket::Listen("127.0.0.1", port);
    if (!listener_.Valid()) ADD_FAILURE() << "peer cannot listen";
    port_ = port;
    thread_ = std::thread([this, script = std::move(script)] {
        TestSocket accepted = listener_.Accept(10000);
        if (!accepted.Valid()) return;  // the client never came
        PeerSocket s(std::move(accepted));
        script(s);
        s.Close();
    });
}

void Peer::Join() {
    if (thread_.joinable()) thread_.join();
}

Peer::~Peer() {
    Join();
    listener_.Close();
}

}  // namespace nb::test
