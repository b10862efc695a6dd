// Upload and download throughput of TIdFTP with the application's buffer sizes (send 1024,
// receive 8192), next to curl, against the same vsftpd on loopback in the same run, both in
// active mode; with "tls" as third argument both over TLS in passive mode (curl --ssl-reqd, vsftpd requiring TLS
// and session reuse). Also the peak memory of this process, which must not grow with the file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ftp/PeakMemory.h"
#include "net/ftp/IdFTP.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TlsSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

bool SameFiles(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (fa.gcount() == 0) return true;
        if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
    }
}

std::vector<std::string> curlTls;

// curl is a Linux program also for the Windows build (under Wine), so it is started as the
// servers are and handed Linux paths.
bool Curl(const std::vector<std::string>& args) {
    // curl 7.88 cannot run an active data connection over TLS here (inet_ntop errno 97), so
    // the TLS runs are passive on both sides.
    std::vector<std::string> argv{"/usr/bin/curl", "-sS"};
    if (curlTls.empty()) {
        argv.insert(argv.end(), {"--ftp-port", "127.0.0.1"});
    } else {
        argv.insert(argv.end(), curlTls.begin(), curlTls.end());
    }
    argv.insert(argv.end(), args.begin(), args.end());
    nb::test::ServerProcess curl(argv);
    const int code = curl.Started() ? curl.WaitForExit(600) : 127;
    if (code != 0) std::fprintf(stderr, "curl failed (%d)\n", code);
    return code == 0;
}

// What starting curl costs before it transfers anything (under Wine a Python relay starts it),
// taken off curl's times so that the ratios compare transfers.
double CurlStartSeconds() {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        auto t = Clock::now();
        nb::test::ServerProcess curl({"/usr/bin/curl", "--version"});
        if (curl.Started()) curl.WaitForExit(30);
        best = std::min(best, Seconds(t));
    }
    return best;
}

int Run(int argc, char** argv) {
    const int mib = argc > 1 ? std::atoi(argv[1]) : 256;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const bool tls = argc > 3 && std::string(argv[3]) == "tls";
    const nb::test::TestCertificates* certs = nullptr;
    if (tls) {
        // The certificates are made by a script of the source tree (NB_SOURCE_DIR, else the
        // working folder).
        certs = nb::test::TestCertificates::Get();
        if (!certs) {
            std::fprintf(stderr, "certificates: %s\n", nb::test::TestCertificates::Error().c_str());
            return 1;
        }
        curlTls = {"--ssl-reqd", "--cacert", nb::test::HostPath(certs->CaFile())};
    }
    nb::test::TempDir dir;
    // Wine's Schannel resumes no session, so there vsftpd cannot insist on it.
    nb::test::VsftpdServer server(
        tls ? nb::test::VsftpdTlsConfig(certs->Cert("good"), certs->Key("good"), !nb::test::UnderWine()) : "");
    if (!server.Running()) {
        std::fprintf(stderr, "%s\n", server.Error().c_str());
        return 1;
    }
    const int port = server.Port();
    const std::string host = "127.0.0.1";
    const std::string url = "ftp://" + host + ":" + std::to_string(port) + "/";
    const std::string root = server.Root();

    const std::string source = dir / "source.bin";
    {
        std::ofstream out(source, std::ios::binary);
        for (int i = 0; i < mib; ++i) {
            const std::string chunk = nb::test::RandomBytes(1 << 20, static_cast<uint32_t>(i) + 1);
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }
    const double curlStart = CurlStartSeconds();
    const long rssBefore = PeakMemoryKiB();
    const double mb = mib * 1048576.0 / 1e6;
    std::printf("file %d MiB, best of %d rounds, vsftpd on loopback, %s; curl's start (%.0f ms) taken off\n", mib,
                rounds, tls ? "passive mode, TLS" : "active mode", curlStart * 1000);
    // The application's sizes first; then large ones, to tell the client's cost from the
    // system calls that 1 KiB sends cost.
    for (auto [send, recv] : {std::pair{1024, 8192}, std::pair{65536, 65536}}) {
        nb::TIdFTP ftp;
        ftp.Host = host;
        ftp.Port = port;
        if (tls) {
            ftp.UseTLS = nb::ftpTlsRequire;
            ftp.Passive = true;
            ftp.TlsCaFile = certs->CaFile();
        }
        ftp.Username = "anonymous";
        ftp.Password = "bench@";
        ftp.SendBufferSize = send;
        ftp.RecvBufferSize = recv;
        int64_t events = 0;
        ftp.OnWork = [&events](nb::TIdComponent&, nb::TWorkMode, int32_t) { ++events; };
        try {
            ftp.Connect(true, -1);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "cannot log in to vsftpd: %s\n", e.what());
            return 1;
        }
        double up = 1e9, down = 1e9, curlUp = 1e9, curlDown = 1e9;
        bool ok = true;
        for (int r = 0; r < rounds && ok; ++r) {
            const std::string n = std::to_string(r);
            auto t = Clock::now();
            ftp.Put(source, "nb" + n + ".bin");
            up = std::min(up, Seconds(t));

            t = Clock::now();
            ok = ok && Curl({"-T", nb::test::HostPath(source), url + "curl" + n + ".bin"});
            curlUp = std::min(curlUp, Seconds(t));

            t = Clock::now();
            ftp.Get("curl" + n + ".bin", dir / "nb-down.bin", true, false);
            down = std::min(down, Seconds(t));

            t = Clock::now();
            ok = ok && Curl({"-o", nb::test::HostPath(dir / "curl-down.bin"), url + "nb" + n + ".bin"});
            curlDown = std::min(curlDown, Seconds(t));

            ok = ok && SameFiles(source, root + "/nb" + n + ".bin") && SameFiles(source, dir / "nb-down.bin") &&
                 SameFiles(source, dir / "curl-down.bin");
            std::filesystem::remove(root + "/nb" + n + ".bin");
            std::filesystem::remove(root + "/curl" + n + ".bin");
        }
        ftp.Quit();
        curlUp = std::max(curlUp - curlStart, 1e-6);
        curlDown = std::max(curlDown - curlStart, 1e-6);
        if (!ok) {
            std::fprintf(stderr, "a transfer failed or its bytes differ\n");
            return 1;
        }
        std::printf("send %d / receive %d bytes per call (%lld work events)\n", send, recv,
                    static_cast<long long>(events));
        std::printf("  upload    TIdFTP %8.1f MB/s   curl %8.1f MB/s   ratio %.2f\n", mb / up, mb / curlUp,
                    curlUp / up);
        std::printf("  download  TIdFTP %8.1f MB/s   curl %8.1f MB/s   ratio %.2f\n", mb / down, mb / curlDown,
                    curlDown / down);
    }
    const long rssAfter = PeakMemoryKiB();
    std::printf("peak memory  before %ld KiB, after %ld KiB (growth %ld KiB for %d MiB files)\n", rssBefore, rssAfter,
                rssAfter - rssBefore, mib);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "a transfer failed: %s\n", e.what());
        return 1;
    }
}
