#pragma once
// What the TLS tests share: a certificate authority with server certificates, pyftpdlib with
// explicit TLS, vsftpd with TLS, and a recording of the loopback interface.
#include <memory>
#include <string>

#include "tests/support/TestSupport.h"

namespace nb::test {

// Made once per test program (openssl, on the build machine) and kept until it ends.
class TestCertificates {
public:
    // Null (with the reason in Error()) when openssl could not make them.
    static const TestCertificates* Get();
    static const std::string& Error();

    std::string CaFile() const { return dir_ / "ca.pem"; }
    // name: good, expired, otherhost (signed by the authority) or untrusted (self-signed).
    std::string Cert(const std::string& name) const { return dir_ / (name + ".pem"); }
    std::string Key(const std::string& name) const { return dir_ / (name + ".key"); }

private:
    TempDir dir_;
};

// pyftpdlib for one user with explicit TLS required (certificate `cert` of TestCertificates), or
// plain; every command it receives is logged by name. It answers AUTH after authDelayMs.
class TlsPyFtpServer {
public:
    explicit TlsPyFtpServer(const std::string& cert, bool plain = false, int authDelayMs = 0);
    ~TlsPyFtpServer();
    TlsPyFtpServer(const TlsPyFtpServer&) = delete;
    TlsPyFtpServer& operator=(const TlsPyFtpServer&) = delete;

    int Port() const { return server_ ? server_->Port() : 0; }
    const std::string& Home() const { return home_.Path(); }
    std::string User() const { return "user"; }
    std::string Password() const { return "pw-7Rq2-secret"; }
    bool Running() const { return server_ && server_->Running(); }
    const std::string& Error() const { return server_ ? server_->Error() : error_; }
    // The commands received so far, one a line.
    std::string Commands() const { return ReadFile(log_); }

private:
    TempDir home_, logDir_;
    std::string log_, error_;  // error_: why the server was not started
    std::unique_ptr<LocalServer> server_;
};

// vsftpd's configuration lines for TLS on control and data; with requireReuse, data
// connections must resume the control connection's session.
std::string VsftpdTlsConfig(const std::string& cert, const std::string& key, bool requireReuse = true);

// Records the loopback interface's packets while it lives (root only).
class LoopbackCapture {
public:
    LoopbackCapture();
    ~LoopbackCapture();
    LoopbackCapture(const LoopbackCapture&) = delete;
    LoopbackCapture& operator=(const LoopbackCapture&) = delete;

    bool Running() const { return running_; }
    const std::string& Error() const { return error_; }
    // Ends the recording and answers every byte that crossed the interface.
    std::string Stop();

private:
    TempDir dir_;
    std::string error_;
    std::unique_ptr<ServerProcess> process_;
    bool running_ = false;
};

}  // namespace nb::test
