#pragma once
// A plain socket for test servers and peers, over the program's own stack so that the same test
// code runs on every system. Each one keeps the shared stack alive while it exists.
#include <cstddef>
#include <string>

#include "net/transport/IdStack.h"

namespace nb::test {

class TestSocket {
public:
    TestSocket();
    ~TestSocket();
    TestSocket(TestSocket&& other) noexcept;
    TestSocket& operator=(TestSocket&& other) noexcept;
    TestSocket(const TestSocket&) = delete;
    TestSocket& operator=(const TestSocket&) = delete;

    // A stream socket listening on ip; port 0 picks a free one, and port receives it.
    static TestSocket Listen(const std::string& ip, int& port);
    // A stream socket connected to ip:port, bound first to localIp when one is given. Invalid
    // when the connect failed.
    static TestSocket Connect(const std::string& ip, int port, const std::string& localIp = "");
    // The next connection within waitMs; invalid when none came.
    TestSocket Accept(int waitMs) const;

    bool Valid() const { return s_ != Id_INVALID_SOCKET; }
    void Close();
    // Closes with a reset instead of an orderly end.
    void Reset();
    void SetNoDelay();
    bool WaitReadable(int waitMs) const;
    // False when a send failed before every byte went out.
    bool SendAll(const std::string& bytes);
    // Up to count bytes, waiting at most waitMs for the first; "" on silence, end or error.
    std::string Receive(size_t count, int waitMs);

private:
    explicit TestSocket(TIdStackSocketHandle s);
    TIdStackSocketHandle s_ = Id_INVALID_SOCKET;
};

}  // namespace nb::test
