// Explicit TLS against real servers: transfers over TLS with pyftpdlib and vsftpd (which refuses
// data connections that do not resume the control session), plain servers under each mode, and
// certificates that must not verify.
#include <gtest/gtest.h>

#include <memory>

#include "net/ftp/IdFTP.h"
#include "tests/support/TlsSupport.h"

namespace nb {
namespace {

using test::TestCertificates;
using test::TlsPyFtpServer;

// The client of the pyftpdlib cases: the server's user, by the name its certificates carry.
void PointAt(TIdFTP& ftp, const TlsPyFtpServer& server, TIdFTPTlsMode mode) {
    ftp.Host = "localhost";
    ftp.Port = server.Port();
    ftp.Username = server.User();
    ftp.Password = server.Password();
    ftp.UseTLS = mode;
    ftp.ReadTimeout = 20000;
    if (const TestCertificates* certs = TestCertificates::Get()) ftp.TlsCaFile = certs->CaFile();
}

struct ServerCase {
    const char* Server;
    bool Passive;
};

class FtpTlsTransfer : public ::testing::TestWithParam<ServerCase> {
protected:
    void SetUp() override {
        const TestCertificates* certs = TestCertificates::Get();
        if (!certs) GTEST_SKIP() << "certificates: " << TestCertificates::Error();
        if (std::string(GetParam().Server) == "vsftpd") {
            // Wine's Schannel resumes no session, so there vsftpd cannot insist on it; Windows'
            // own resumes sessions that share the credentials and the host name.
            vsftpd_ = std::make_unique<test::VsftpdServer>(
                test::VsftpdTlsConfig(certs->Cert("good"), certs->Key("good"), !test::UnderWine()));
            if (!vsftpd_->Running()) GTEST_SKIP() << "vsftpd: " << vsftpd_->Error();
            home_ = vsftpd_->Root();
            ftp_.Port = vsftpd_->Port();
            ftp_.Username = "anonymous";
        } else {
            pyftpd_ = std::make_unique<TlsPyFtpServer>("good");
            if (!pyftpd_->Running()) GTEST_SKIP() << pyftpd_->Error();
            home_ = pyftpd_->Home();
            ftp_.Port = pyftpd_->Port();
            ftp_.Username = pyftpd_->User();
            ftp_.Password = pyftpd_->Password();
        }
        ftp_.Host = "localhost";
        ftp_.UseTLS = ftpTlsRequire;
        ftp_.TlsCaFile = certs->CaFile();
        ftp_.Passive = GetParam().Passive;
        ftp_.ReadTimeout = ftp_.DataReadTimeout = ftp_.WriteTimeout = 20000;
        ftp_.RecvBufferSize = 8192;
        ftp_.SendBufferSize = 1024;
    }
    std::string ServerLog() const { return vsftpd_ ? test::ReadFile(vsftpd_->LogFile()) : pyftpd_->Commands(); }

    std::unique_ptr<test::VsftpdServer> vsftpd_;
    std::unique_ptr<TlsPyFtpServer> pyftpd_;
    std::string home_;
    test::TempDir local_;
    TIdFTP ftp_;
};

TEST_P(FtpTlsTransfer, UploadsAndDownloadsOverTls) {
    int established = 0;
    ftp_.OnTlsEstablished = [&](TIdFTP&) { ++established; };
    ftp_.Connect(true, -1);
    EXPECT_TRUE(ftp_.TlsActive());
    EXPECT_EQ(established, 1);
    for (size_t size : {size_t{0}, size_t{70000}, size_t{2} * 1024 * 1024 + 3}) {
        SCOPED_TRACE(size);
        const std::string bytes = test::RandomBytes(size, static_cast<uint32_t>(size) + 7);
        test::WriteFile(local_ / "up.bck", bytes);
        ftp_.Put(local_ / "up.bck", "u.bck");
        ASSERT_TRUE(test::ReadFile(home_ + "/u.bck") == bytes);
        ftp_.Get("u.bck", local_ / "down.bck", true, false);
        ASSERT_TRUE(test::ReadFile(local_ / "down.bck") == bytes);
    }
    ftp_.Quit();
    const std::string log = ServerLog();
    for (const char* command : {"AUTH", "PBSZ", "PROT"}) EXPECT_NE(log.find(command), std::string::npos) << command;
    EXPECT_LT(log.find("AUTH"), log.find("USER"));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpTlsTransfer,
                         ::testing::Values(ServerCase{"pyftpdlib", false}, ServerCase{"pyftpdlib", true},
                                           ServerCase{"vsftpd", false}, ServerCase{"vsftpd", true}),
                         [](const auto& info) {
                             return std::string(info.param.Server) + (info.param.Passive ? "Passive" : "Active");
                         });

// Certificates that must not verify: the connect fails during the handshake, the user name and
// the password never reach the server, and nothing is tried in plain text afterwards.
struct CertificateCase {
    const char* Cert;
    const char* Reason;  // part of the failure's text
    const char* Host = "localhost";
};

class FtpTlsRefusedCertificate : public ::testing::TestWithParam<CertificateCase> {};

TEST_P(FtpTlsRefusedCertificate, FailsBeforeTheLogin) {
    const TestCertificates* certs = TestCertificates::Get();
    if (!certs) GTEST_SKIP() << "certificates: " << TestCertificates::Error();
    TlsPyFtpServer server(GetParam().Cert);
    if (!server.Running()) GTEST_SKIP() << server.Error();
    for (TIdFTPTlsMode mode : {ftpTlsAuto, ftpTlsRequire}) {
        TIdFTP ftp;
        PointAt(ftp, server, mode);
        ftp.Host = GetParam().Host;
        try {
            ftp.Connect(true, -1);
            FAIL() << "connected";
        } catch (const EIdTLSError& e) {
            EXPECT_NE(std::string(e.what()).find(GetParam().Reason), std::string::npos) << e.what();
        }
        EXPECT_FALSE(ftp.IsConnected());
        EXPECT_FALSE(ftp.TlsActive());
    }
    const std::string commands = server.Commands();
    EXPECT_EQ(commands, "AUTH\nAUTH\n");
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, FtpTlsRefusedCertificate,
    ::testing::Values(CertificateCase{"untrusted", "certificate"}, CertificateCase{"otherhost", "certificate"},
                      CertificateCase{"otherhost", "certificate", "127.0.0.1"}, CertificateCase{"expired", "expired"}),
    [](const auto& info) {
        return std::string(info.param.Cert) + (std::string(info.param.Host) == "localhost" ? "" : "ByAddress");
    });

// A host given as an address verifies against the certificate's addresses, not its names.
TEST(FtpTlsAddressHost, VerifiesAgainstTheCertificatesAddress) {
    TlsPyFtpServer server("good");
    if (!server.Running()) GTEST_SKIP() << server.Error();
    TIdFTP ftp;
    PointAt(ftp, server, ftpTlsRequire);
    ftp.Host = "127.0.0.1";
    try {
        ftp.Connect(true, -1);
    } catch (const EIdException& e) {
        FAIL() << e.what();
    }
    EXPECT_TRUE(ftp.TlsActive());
    ftp.Quit();
}

// A server without TLS: plain text as before under auto, refused under require and where the
// host accepted TLS before (someone else may be answering for it).
// A late answer to AUTH TLS leaves the handshake its own time: its sends wait as its reads do, not
// for what is left of the time the AUTH line had to go out.
TEST(FtpTlsSlowAuth, HandshakeAfterALateAnswer) {
    TlsPyFtpServer server("good", false, 600);
    if (!server.Running()) GTEST_SKIP() << server.Error();
    TIdFTP ftp;
    PointAt(ftp, server, ftpTlsRequire);
    ftp.WriteTimeout = 200;
    ftp.Connect(true, -1);
    EXPECT_TRUE(ftp.TlsActive());
    ftp.Quit();
}

TEST(FtpTlsPlainServer, EachModeAnswersAsItShould) {
    TlsPyFtpServer server("good", true);
    if (!server.Running()) GTEST_SKIP() << server.Error();
    struct Case {
        TIdFTPTlsMode Mode;
        bool Expected;
        bool Connects;
    };
    for (const Case& c :
         {Case{ftpTlsOff, false, true}, Case{ftpTlsAuto, false, true}, Case{ftpTlsRequire, false, false},
          Case{ftpTlsAuto, true, false}, Case{ftpTlsOff, true, true}}) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.Mode) << " expected " << c.Expected);
        TIdFTP ftp;
        PointAt(ftp, server, c.Mode);
        ftp.TlsExpected = c.Expected;
        ftp.Passive = true;
        if (c.Connects) {
            ftp.Connect(true, -1);
            EXPECT_FALSE(ftp.TlsActive());
            test::WriteFile(server.Home() + "/p.bck", "plain");
            test::TempDir local;
            ftp.Get("p.bck", local / "p.bck", true, false);
            EXPECT_EQ(test::ReadFile(local / "p.bck"), "plain");
            ftp.Quit();
        } else {
            const std::string before = server.Commands();
            EXPECT_THROW(ftp.Connect(true, -1), EIdFTPTlsRefused);
            EXPECT_FALSE(ftp.IsConnected());
            // The previous connection's QUIT may arrive late.
            const std::string after = server.Commands().substr(before.size());
            EXPECT_NE(after.find("AUTH\n"), std::string::npos) << after;
            EXPECT_EQ(after.find("USER"), std::string::npos) << after;
        }
    }
}

// Neither the password nor any part of the archive crosses loopback in clear; the same press
// without TLS shows both, so the recording does see the connections.
TEST(FtpTlsOnTheWire, NothingInClear) {
    const TestCertificates* certs = TestCertificates::Get();
    if (!certs) GTEST_SKIP() << "certificates: " << TestCertificates::Error();
    TlsPyFtpServer tls("good"), plain("good", true);
    if (!tls.Running() || !plain.Running()) GTEST_SKIP() << tls.Error() << plain.Error();
    const std::string archive = test::RandomBytes(300000, 99);
    test::TempDir local;
    test::WriteFile(local / "a.bck", archive);
    for (bool secure : {true, false}) {
        SCOPED_TRACE(secure ? "TLS" : "plain");
        const TlsPyFtpServer& server = secure ? tls : plain;
        test::LoopbackCapture capture;
        if (!capture.Running()) GTEST_SKIP() << "capture: " << capture.Error();
        for (bool passive : {false, true}) {
            TIdFTP ftp;
            PointAt(ftp, server, secure ? ftpTlsRequire : ftpTlsOff);
            ftp.Passive = passive;
            ftp.Connect(true, -1);
            ftp.Put(local / "a.bck", passive ? "p.bck" : "a.bck");
            ftp.Get(passive ? "p.bck" : "a.bck", local / "back.bck", true, false);
            ftp.Quit();
            ASSERT_TRUE(test::ReadFile(local / "back.bck") == archive) << "passive " << passive;
        }
        const std::string wire = capture.Stop();
        ASSERT_GT(wire.size(), 2 * archive.size()) << "the recording missed the transfers";
        EXPECT_EQ(wire.find(server.Password()) != std::string::npos, !secure);
        int clearSlices = 0;
        for (size_t at = 0; at + 32 <= archive.size(); at += 997) {
            if (wire.find(archive.substr(at, 32)) != std::string::npos) ++clearSlices;
        }
        if (secure) {
            EXPECT_EQ(clearSlices, 0);
        } else {
            EXPECT_GT(clearSlices, 0);
        }
    }
}

}  // namespace
}  // namespace nb
