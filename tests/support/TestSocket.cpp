#include "tests/support/TestSocket.h"

#include <cstdint>

namespace nb::test {

TestSocket::TestSocket() { AcquireSharedStack(); }
TestSocket::TestSocket(TIdStackSocketHandle s) : TestSocket() { s_ = s; }
TestSocket::~TestSocket() {
    Close();
    ReleaseSharedStack();
}

TestSocket::TestSocket(TestSocket&& other) noexcept : TestSocket() {
    s_ = other.s_;
    other.s_ = Id_INVALID_SOCKET;
}

TestSocket& TestSocket::operator=(TestSocket&& other) noexcept {
    if (this != &other) {
        Close();
        s_ = other.s_;
        other.s_ = Id_INVALID_SOCKET;
    }
    return *this;
}

TestSocket TestSocket::Listen(const std::string& ip, int& port) {
    TestSocket t;
    TIdStack& stack = *SharedStack();
    TIdStackSocketHandle s = stack.OpenSocket(Id_PF_INET, Id_SOCK_STREAM, 0);
    if (s == Id_INVALID_SOCKET) return t;
    t.s_ = s;
    int family = 0;
    std::string boundIp;
    int32_t bound = 0;
    if (stack.BindSocket(s, Id_PF_INET, ip, port) != 0 || stack.ListenSocket(s, 8) != 0) {
        t.Close();
        return t;
    }
    stack.LocalAddressOf(s, family, boundIp, bound);
    port = bound;
    return t;
}

TestSocket TestSocket::Connect(const std::string& ip, int port, const std::string& localIp) {
    TestSocket t;
    TIdStack& stack = *SharedStack();
    t.s_ = stack.OpenSocket(Id_PF_INET, Id_SOCK_STREAM, 0);
    if (!t.Valid()) return t;
    if ((!localIp.empty() && stack.BindSocket(t.s_, Id_PF_INET, localIp, 0) != 0) ||
        stack.ConnectSocket(t.s_, Id_PF_INET, ip, port) != 0)
        t.Close();
    return t;
}

TestSocket TestSocket::Accept(int waitMs) const {
    if (!Valid() || !WaitReadable(waitMs)) return TestSocket();
    std::string ip;
    int32_t port = 0;
    return TestSocket(SharedStack()->AcceptSocket(s_, ip, port));
}

void TestSocket::Close() {
    if (Valid()) SharedStack()->ReleaseSocket(s_);
    s_ = Id_INVALID_SOCKET;
}

void TestSocket::Reset() {
    // Linger on with a zero time. Windows reads a pair of 16-bit fields and Linux a pair of ints;
    // little-endian {1, 0} as two ints begins with the 16-bit pair {1, 0}, so one value serves both.
    const int32_t linger[2] = {1, 0};
    if (Valid()) SharedStack()->SetSocketOption(s_, Id_SOL_SOCKET, Id_SO_LINGER, linger, sizeof linger);
    Close();
}

void TestSocket::SetNoDelay() {
    const int32_t on = 1;
    SharedStack()->SetSocketOption(s_, Id_IPPROTO_TCP, Id_TCP_NODELAY, &on, sizeof on);
}

bool TestSocket::WaitReadable(int waitMs) const {
    TIdSocketList ready{s_};
    return Valid() && SharedStack()->SelectSockets(&ready, nullptr, nullptr, waitMs) == 1;
}

bool TestSocket::SendAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        int32_t n = SharedStack()->SendOn(s_, bytes.data() + done, static_cast<int32_t>(bytes.size() - done), 0);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string TestSocket::Receive(size_t count, int waitMs) {
    if (!WaitReadable(waitMs)) return "";
    std::string out(count, '\0');
    int32_t n = SharedStack()->ReceiveOn(s_, out.data(), static_cast<int32_t>(count), 0);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

}  // namespace nb::test
