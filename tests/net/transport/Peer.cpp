#include "Peer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace nb::test {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void PeerSocket::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            ADD_FAILURE() << "peer send failed";
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void PeerSocket::Trickle(const std::string& bytes) {
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    for (char c : bytes) {
        Send(std::string(1, c));
        SleepMs(2);
    }
}

std::string PeerSocket::Read(size_t count) {
    std::string out(count, '\0');
    ssize_t n = recv(fd_, out.data(), count, 0);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

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

bool PeerSocket::Silent(int waitMs) {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, waitMs) == 0;
}

void PeerSocket::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void PeerSocket::Reset() {
    linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
}

Peer::Peer(std::function<void(PeerSocket&)> script) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 4) != 0)
        ADD_FAILURE() << "peer cannot listen";
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, script = std::move(script)] {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 10000) != 1) return;  // the client never came
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        timeval tv{10, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        PeerSocket s(fd);
        script(s);
        s.Close();
    });
}

void Peer::Join() {
    if (thread_.joinable()) thread_.join();
}

Peer::~Peer() {
    Join();
    close(listener_);
}

}  // namespace nb::test
