#pragma once
// A scripted FTP server on 127.0.0.1 for reply shapes a real server will not produce on demand.
// The script runs on the server's own thread against one control connection.
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSocket.h"

namespace nb::test {

// One plain socket, closed on destruction.
class FakeSocket {
public:
    FakeSocket() = default;
    explicit FakeSocket(TestSocket socket) : socket_(std::move(socket)) {}
    bool Valid() const { return socket_.Valid(); }
    void Close() { socket_.Close(); }
    TestSocket& Socket() { return socket_; }

    // False once the peer is gone.
    bool Send(const std::string& bytes) { return socket_.SendAll(bytes); }
    // Everything until the peer closes (or 5 s of silence).
    std::string ReceiveAll();

private:
    TestSocket socket_;
};

class FakeSession {
public:
    explicit FakeSession(FakeSocket control) : control_(std::move(control)) {}

    // False once the client is gone.
    bool Send(const std::string& raw) { return control_.Send(raw); }
    // The next command line without CR LF; "" when the client closed (or stayed silent 5 s).
    std::string ReadCommand();
    // Reads a command and fails the test unless it is exactly expected.
    void Expect(const std::string& expected);
    // Greeting 220, USER 331, PASS 230, TYPE 200, SYST 215.
    void Login();
    // Connects to the address of a "PORT h1,h2,h3,h4,p1,p2" command, from localIP.
    FakeSocket ConnectToPort(const std::string& portCommand, const std::string& localIP = "127.0.0.1");
    // Listens on 127.0.0.1 for a passive data connection; answers the port.
    int ListenPassive();
    FakeSocket AcceptPassive();
    // True when the client closed the control connection (reads to its end).
    bool ClientClosed();

    std::vector<std::string> Commands() const;

private:
    FakeSocket control_;
    FakeSocket passive_;
    std::string pending_;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
};

class FakeFtpServer {
public:
    using Script = std::function<void(FakeSession&)>;
    // Listens at once; the script runs once for each of the first `connections` connections.
    explicit FakeFtpServer(Script script, int connections = 1);
    ~FakeFtpServer();
    FakeFtpServer(const FakeFtpServer&) = delete;
    FakeFtpServer& operator=(const FakeFtpServer&) = delete;

    int Port() const { return port_; }
    // Waits for the script to end; the commands it read, in order.
    std::vector<std::string> Finish();

private:
    FakeSocket listener_;
    int port_ = 0;
    std::thread thread_;
    std::vector<std::string> commands_;
};

// Port number of a "PORT h1,h2,h3,h4,p1,p2" command (-1 when malformed).
int PortOfCommand(const std::string& portCommand);

}  // namespace nb::test
