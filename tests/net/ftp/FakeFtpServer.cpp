#include "tests/net/ftp/FakeFtpServer.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace nb::test {

namespace {

constexpr int kSilenceMs = 5000;

FakeSocket ListenOn(const std::string& ip, int& port) {
    port = 0;
    FakeSocket s(TestSocket::Listen(ip, port));
    if (!s.Valid()) ADD_FAILURE() << "fake server cannot listen on " << ip;
    return s;
}

FakeSocket AcceptWithin(FakeSocket& listener, int ms) { return FakeSocket(listener.Socket().Accept(ms)); }

}  // namespace

std::string FakeSocket::ReceiveAll() {
    std::string out;
    for (;;) {
        std::string part = socket_.Receive(65536, kSilenceMs);
        if (part.empty()) break;
        out += part;
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
        std::string part = control_.Socket().Receive(4096, kSilenceMs);
        if (part.empty()) return "";
        pending_ += part;
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
    const std::string ip =
        std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." + std::to_string(h[3]);
    FakeSocket s(TestSocket::Connect(ip, static_cast<int>(p[0] * 256 + p[1]), localIP));
    if (!s.Valid()) {
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
    TestSocket& s = control_.Socket();
    for (;;) {
        if (!s.WaitReadable(kSilenceMs)) return false;
        std::string part = s.Receive(256, 0);
        if (part.empty()) return true;
        pending_ += part;
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
