#include "tests/net/ftp/FakeFtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <gtest/gtest.h>

namespace nb::test {

namespace {

constexpr int kSilenceMs = 5000;

sockaddr_in Address(const std::string& ip, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

FakeSocket ListenOn(const std::string& ip, int& port) {
    FakeSocket s(socket(AF_INET, SOCK_STREAM, 0));
    int one = 1;
    setsockopt(s.Fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Address(ip, 0);
    if (bind(s.Fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s.Fd(), 4) != 0) {
        ADD_FAILURE() << "fake server cannot listen on " << ip;
        return {};
    }
    socklen_t len = sizeof a;
    getsockname(s.Fd(), reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

FakeSocket AcceptWithin(const FakeSocket& listener, int ms) {
    pollfd p{listener.Fd(), POLLIN, 0};
    if (poll(&p, 1, ms) != 1) return {};
    return FakeSocket(accept(listener.Fd(), nullptr, nullptr));
}

}  // namespace

FakeSocket::~FakeSocket() { Close(); }

FakeSocket& FakeSocket::operator=(FakeSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void FakeSocket::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void FakeSocket::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string FakeSocket::ReceiveAll() {
    std::string out;
    char buf[65536];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, kSilenceMs) != 1) break;
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

std::string FakeSession::ReadCommand() {
    for (;;) {
        size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(line);
            return line;
        }
        pollfd p{control_.Fd(), POLLIN, 0};
        if (poll(&p, 1, kSilenceMs) != 1) return "";
        char buf[4096];
        ssize_t n = recv(control_.Fd(), buf, sizeof buf, 0);
        if (n <= 0) return "";
        pending_.append(buf, static_cast<size_t>(n));
    }
}

void FakeSession::Expect(const std::string& expected) {
    std::string got = ReadCommand();
    EXPECT_EQ(got, expected);
}

void FakeSession::Login() {
    Send("220 fake ready\r\n");
    Expect("USER user");
    Send("331 password please\r\n");
    Expect("PASS secret");
    Send("230 logged in\r\n");
    Expect("TYPE I");
    Send("200 type set\r\n");
    Expect("SYST");
    Send("215 UNIX Type: L8\r\n");
}

FakeSocket FakeSession::ConnectToPort(const std::string& portCommand, const std::string& localIP) {
    unsigned h[4], p[2];
    if (std::sscanf(portCommand.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6) {
        ADD_FAILURE() << "not a PORT command: " << portCommand;
        return {};
    }
    const std::string ip = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." +
                           std::to_string(h[3]);
    FakeSocket s(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in local = Address(localIP, 0);
    sockaddr_in remote = Address(ip, static_cast<int>(p[0] * 256 + p[1]));
    if (bind(s.Fd(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(s.Fd(), reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ADD_FAILURE() << "fake server cannot connect to " << ip << " from " << localIP;
        return {};
    }
    return s;
}

int FakeSession::ListenPassive() {
    int port = 0;
    passive_ = ListenOn("127.0.0.1", port);
    return port;
}

FakeSocket FakeSession::AcceptPassive() { return AcceptWithin(passive_, kSilenceMs); }

bool FakeSession::ClientClosed() {
    char buf[256];
    for (;;) {
        pollfd p{control_.Fd(), POLLIN, 0};
        if (poll(&p, 1, kSilenceMs) != 1) return false;
        ssize_t n = recv(control_.Fd(), buf, sizeof buf, 0);
        if (n <= 0) return true;
        pending_.append(buf, static_cast<size_t>(n));
    }
}

std::vector<std::string> FakeSession::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

FakeFtpServer::FakeFtpServer(Script script, int connections) {
    listener_ = ListenOn("127.0.0.1", port_);
    thread_ = std::thread([this, script = std::move(script), connections] {
        for (int i = 0; i < connections; ++i) {
            FakeSocket control = AcceptWithin(listener_, 10000);
            if (!control.Valid()) {
                ADD_FAILURE() << "the client did not connect to the fake server";
                return;
            }
            FakeSession session(std::move(control));
            script(session);
            auto commands = session.Commands();
            commands_.insert(commands_.end(), commands.begin(), commands.end());
        }
    });
}

FakeFtpServer::~FakeFtpServer() {
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> FakeFtpServer::Finish() {
    if (thread_.joinable()) thread_.join();
    return commands_;
}

int PortOfCommand(const std::string& portCommand) {
    unsigned h[4], p[2];
    if (std::sscanf(portCommand.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6)
        return -1;
    return static_cast<int>(p[0] * 256 + p[1]);
}

}  // namespace nb::test
