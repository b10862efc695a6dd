#include "tests/support/TlsSupport.h"

#include <chrono>
#include <thread>

namespace nb::test {

namespace {

std::string& CertificateError() {
    static std::string error;
    return error;
}

}  // namespace

const TestCertificates* TestCertificates::Get() {
    static const std::unique_ptr<TestCertificates> made = [] {
        auto certs = std::unique_ptr<TestCertificates>(new TestCertificates);
        ServerProcess maker(
            {"/usr/bin/python3", HostPath(SourcePath("tests/support/make_certs.py")), HostPath(certs->dir_.Path())});
        const std::string line = maker.FirstLine(60);
        if (line == "ready") return certs;
        CertificateError() = line.empty() ? "make_certs.py did not finish" : line;
        return std::unique_ptr<TestCertificates>();
    }();
    return made.get();
}

const std::string& TestCertificates::Error() { return CertificateError(); }

TlsPyFtpServer::TlsPyFtpServer(const std::string& cert, bool plain, int authDelayMs) : log_(logDir_ / "commands.log") {
    const TestCertificates* certs = TestCertificates::Get();
    if (!certs) {
        error_ = TestCertificates::Error();
        return;
    }
    server_ = std::make_unique<LocalServer>(
        [&](int port) {
            std::vector<std::string> argv{"/usr/bin/python3",
                                          HostPath(SourcePath("tests/net/ftp/tls_ftpd.py")),
                                          "--port",
                                          std::to_string(port),
                                          "--home",
                                          HostPath(home_.Path()),
                                          "--user",
                                          User(),
                                          "--password",
                                          Password(),
                                          "--log",
                                          HostPath(log_),
                                          "--cert",
                                          HostPath(certs->Cert(cert)),
                                          "--key",
                                          HostPath(certs->Key(cert))};
            if (plain) argv.push_back("--plain");
            if (authDelayMs > 0) argv.insert(argv.end(), {"--auth-delay", std::to_string(authDelayMs / 1000.0)});
            return argv;
        },
        "tls_ftpd.py", "are python3-pyftpdlib and python3-openssl installed?");
}

TlsPyFtpServer::~TlsPyFtpServer() = default;

std::string VsftpdTlsConfig(const std::string& cert, const std::string& key, bool requireReuse) {
    return std::string("ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n") +
           "require_ssl_reuse=" + (requireReuse ? "YES" : "NO") +
           "\nssl_ciphers=HIGH\nrsa_cert_file=" + HostPath(cert) + "\nrsa_private_key_file=" + HostPath(key) + "\n";
}

LoopbackCapture::LoopbackCapture() {
    process_ = std::make_unique<ServerProcess>(std::vector<std::string>{
        "/usr/bin/python3", HostPath(SourcePath("tests/support/capture_lo.py")), HostPath(dir_ / "lo.bin")});
    const std::string line = process_->FirstLine(10);
    running_ = line == "ready";
    if (!running_) error_ = line.empty() ? "capture_lo.py did not start" : line;
}

LoopbackCapture::~LoopbackCapture() = default;

std::string LoopbackCapture::Stop() {
    // The last frames are still on their way through the capture socket.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (process_) process_->Stop();
    return ReadFile(dir_ / "lo.bin");
}

}  // namespace nb::test
