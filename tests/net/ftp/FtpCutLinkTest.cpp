// A link cut under an upload, for real: client and pyftpdlib in a network namespace of the test's
// own, whose loopback goes down mid-transfer or right after the last byte was handed over. With
// the application's settings (every time-out the same) the upload must give up within about one
// time-out, TLS or not, however the sends and the close were cut into pieces.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "net/ftp/IdFTP.h"
#include "platform/Stream.h"
#include "tests/net/icmp/Namespaces.h"
#include "tests/support/TlsSupport.h"

namespace nb {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kTimeout = 3000;

struct CutCase {
    const char* Name;
    bool Tls;
    bool Passive;
    bool AtTheEnd;  // cut once the last byte went to the system, else after the first MiB
};

class FtpCutLink : public ::testing::TestWithParam<CutCase> {
protected:
    void SetUp() override {
        if (!net_.Error().empty()) GTEST_SKIP() << "no network namespace of our own: " << net_.Error();
        const CutCase& c = GetParam();
        const test::TestCertificates* certs = test::TestCertificates::Get();
        if (c.Tls && !certs) GTEST_SKIP() << "certificates: " << test::TestCertificates::Error();
        server_ = std::make_unique<test::TlsPyFtpServer>("good", !c.Tls);
        if (!server_->Running()) GTEST_SKIP() << server_->Error();
        ftp_.Host = c.Tls ? "localhost" : "127.0.0.1";
        ftp_.Port = server_->Port();
        ftp_.Username = server_->User();
        ftp_.Password = server_->Password();
        ftp_.Passive = c.Passive;
        if (c.Tls) {
            ftp_.UseTLS = ftpTlsRequire;
            ftp_.TlsCaFile = certs->CaFile();
        }
        // As the application sets them from its transfer time-out.
        ftp_.ReadTimeout = ftp_.WriteTimeout = ftp_.DataReadTimeout = kTimeout;
        ftp_.RecvBufferSize = 8192;
        ftp_.SendBufferSize = 1024;
    }

    // Takes the namespace's only link down; no packet moves after it.
    void Cut() {
        if (cut_) return;
        cut_ = true;
        ASSERT_TRUE(test::RunOk({"ip", "link", "set", "lo", "down"}));
        cutAt_ = Clock::now();
    }

    test::OwnNetwork net_;
    std::unique_ptr<test::TlsPyFtpServer> server_;
    TIdFTP ftp_;
    bool cut_ = false;
    Clock::time_point cutAt_;
};

TEST_P(FtpCutLink, UploadGivesUpWithinAboutOneTimeOut) {
    const CutCase& c = GetParam();
    ftp_.Connect(true, -1);
    // Far more than the system's buffers hold, so that they are full when the link goes.
    const std::string bytes = test::RandomBytes(32 << 20, 5);
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    ftp_.OnWork = [&](TIdComponent&, TWorkMode mode, int64_t count) {
        if (mode == wmWrite && !c.AtTheEnd && count >= (1 << 20)) Cut();
    };
    ftp_.OnWorkEnd = [&](TIdComponent&, TWorkMode mode) {
        if (mode == wmWrite && c.AtTheEnd) Cut();
    };
    try {
        ftp_.PutStream(stream, "cut.bck");
        ADD_FAILURE() << "the upload succeeded over a dead link";
    } catch (const EIdException& e) {
        SCOPED_TRACE(e.Message());
    }
    ASSERT_TRUE(cut_);
    // The application then closes the control connection, QUIT first where it can.
    try {
        ftp_.Quit();
    } catch (const EIdException&) {
        ftp_.Disconnect();
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - cutAt_);
    std::printf("[ figures  ] %s: gave up %lld ms after the cut (time-out %d ms)\n", c.Name,
                static_cast<long long>(took.count()), kTimeout);
    // Each piece of a cut send restarting the clock made it two or three time-outs.
    EXPECT_LT(took.count(), kTimeout * 3 / 2) << "far more than one time-out after the cut";
}

INSTANTIATE_TEST_SUITE_P(Cuts, FtpCutLink,
                         ::testing::Values(CutCase{"plain_passive_mid", false, true, false},
                                           CutCase{"plain_active_mid", false, false, false},
                                           CutCase{"tls_passive_mid", true, true, false},
                                           CutCase{"tls_passive_end", true, true, true},
                                           CutCase{"tls_active_end", true, false, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace nb
