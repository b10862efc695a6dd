// nestbridge-cli upload / download: the window's texts line by line on stdout, and the exit status.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/IniFile.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/TlsSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class WorkflowCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (CliPath().empty()) GTEST_SKIP() << "NB_CLI not set";
        fs::create_directories(root / "wine");
        env = {"XDG_CONFIG_HOME=" + (root / "config"), "WINEPREFIX=" + (root / "wine"), "HOME=" + root.Path()};
        cli = CliPath();
        if (Separator() == '\\') {
            // Windows keeps the settings beside the program: run a copy of it in this test's folder.
            cli = root / "nestbridge-cli.exe";
            fs::copy_file(FsPath(CliPath()), FsPath(cli));
            fs::path zipcode = FsPath(CliPath()).parent_path() / "zipcode.bck";
            if (fs::exists(zipcode)) fs::copy_file(zipcode, FsPath(root / "zipcode.bck"));
        }
    }
    CommandResult Run(const std::vector<std::string>& args) {
        std::vector<std::string> argv{cli};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv, env);
    }
    std::string Settings() const {
        return Separator() == '\\' ? root / "FtpHost.ini" : root / "config/nestbridge/FtpHost.ini";
    }

    TempDir root;
    std::string cli;
    std::vector<std::string> env;
};

TEST_F(WorkflowCommandTest, UploadOnOneComputerDownloadOnTheOther) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    WriteServiceSettings(Settings(), server.Port());
    std::string office = root / "office", home = root / "home";
    fs::create_directories(office);
    fs::create_directories(home);
    WriteFile(office + "/Sale.DB", RandomBytes(300000, 3));
    WriteFile(office + "/TaxBill.MB", "tax bills");
    WriteFile(home + "/Sale.DB", "stale");

    auto up = Run({"upload", "--user", "user", "--password", "secret", "--data-folder", office, "--quiet"});
    EXPECT_EQ(up.ExitCode, 0) << up.Stderr;
    EXPECT_EQ(FoldSpeedLines(SplitLines(up.Stdout)),
              (std::vector<std::string>{"인터넷 사용가능", "서버 접속 완료", "백업을 완료했습니다.",
                                        "파일을 올리는 중...", "Uploade speed *", "전송을 완료했습니다.",
                                        "모든 작업을 정상적으로 완료하였습니다.", "서버 단절"}));

    // Home holds a table no press of its own recorded: without a terminal or --yes the question
    // is printed and answered no.
    const std::vector<std::string> download{"download", "--user",        "user", "--password",
                                            "secret",   "--data-folder", home};
    auto refused = Run(download);
    EXPECT_EQ(refused.ExitCode, 1);
    const std::vector<std::string> asked = SplitLines(refused.Stdout);
    ASSERT_EQ(asked.size(), 2u) << refused.Stdout;
    EXPECT_EQ(asked[0].rfind("이 컴퓨터에서 이 아이디로 자료를 올리거나 내려받은 기록이 없습니다.", 0), 0u);
    EXPECT_EQ(asked[1], "작업을 취소했습니다.");
    EXPECT_NE(refused.Stderr.find("answered no"), std::string::npos) << refused.Stderr;
    EXPECT_EQ(ReadFile(home + "/Sale.DB"), "stale");

    std::vector<std::string> yes = download;
    yes.push_back("--yes");
    auto down = Run(yes);
    EXPECT_EQ(down.ExitCode, 0) << down.Stderr;
    EXPECT_EQ(FoldSpeedLines(SplitLines(down.Stdout)),
              (std::vector<std::string>{asked[0], "인터넷 사용가능", "서버 접속 완료", "파일을 받는 중...",
                                        "Download speed *", "전송을 완료했습니다.", "복원을 완료했습니다.", "서버 단절",
                                        "모든 작업을 정상적으로 완료하였습니다."}));
    EXPECT_EQ(ReadFile(home + "/Sale.DB"), ReadFile(office + "/Sale.DB"));
    EXPECT_EQ(ReadFile(home + "/TaxBill.MB"), "tax bills");
    EXPECT_TRUE(PathExists(home + "/ZipCode.txt")) << "zipcode.bck beside the executable is restored too";

    // The way back, without any network step.
    auto undo = Run({"undo-download", "--user", "user", "--data-folder", home, "--yes"});
    EXPECT_EQ(undo.ExitCode, 0) << undo.Stdout << undo.Stderr;
    EXPECT_EQ(ReadFile(home + "/Sale.DB"), "stale");
    EXPECT_FALSE(PathExists(home + "/TaxBill.MB"));

    // One upload so far: no previous copy on the server.
    std::vector<std::string> previous = yes;
    previous.insert(previous.end(), {"--generation", "1"});
    auto none = Run(previous);
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_NE(none.Stdout.find("서버에 1번째 이전 자료가 없습니다."), std::string::npos) << none.Stdout;
    EXPECT_EQ(ReadFile(home + "/Sale.DB"), "stale");
}

// A press over TLS makes the settings file remember the host; a later refusal of TLS by the same
// host (a plain server in its place) fails the connect, as does a plain server under "require".
TEST_F(WorkflowCommandTest, TlsHostIsRememberedAndItsRefusalFails) {
    const TestCertificates* certs = TestCertificates::Get();
    if (!certs) GTEST_SKIP() << "certificates: " << TestCertificates::Error();
    TlsPyFtpServer tls("good"), plain("good", true);
    ASSERT_TRUE(tls.Running()) << tls.Error();
    ASSERT_TRUE(plain.Running()) << plain.Error();
    WriteServiceSettings(Settings(), tls.Port());
    TIniFile settings(Settings());
    settings.WriteString("Service", "FtpHost", "localhost");
    settings.WriteString("Service", "TlsCaFile", certs->CaFile());
    const std::string data = root / "data";
    fs::create_directories(data);
    WriteFile(data + "/Sale.DB", RandomBytes(50000, 4));
    const std::vector<std::string> login{"--user", tls.User(), "--password", tls.Password(), "--quiet"};
    auto press = [&](const char* command) {
        std::vector<std::string> args{command, "--data-folder", data};
        args.insert(args.end(), login.begin(), login.end());
        return Run(args);
    };

    auto up = press("upload");
    ASSERT_EQ(up.ExitCode, 0) << up.Stderr;
    EXPECT_NE(tls.Commands().find("PROT"), std::string::npos);
    EXPECT_EQ(settings.ReadString("TlsHosts", "localhost", ""), "1");

    struct Case {
        const char* Tls;
        bool Remembered;
        const char* Reason;
    };
    for (const Case& c : {Case{"auto", true, "accepted it before"}, Case{"require", false, "does not offer TLS"}}) {
        SCOPED_TRACE(c.Tls);
        settings.WriteString("Service", "FtpPort", std::to_string(plain.Port()));
        settings.WriteString("Service", "Tls", c.Tls);
        if (!c.Remembered) settings.WriteString("TlsHosts", "localhost", "");
        auto down = press("download");
        EXPECT_EQ(down.ExitCode, 1);
        EXPECT_EQ(down.Stdout, "인터넷 사용가능\n서버 접속에 실패하였습니다.\n");
        EXPECT_NE(down.Stderr.find(c.Reason), std::string::npos) << down.Stderr;
    }
    EXPECT_EQ(plain.Commands().find("USER"), std::string::npos) << plain.Commands();
}

TEST_F(WorkflowCommandTest, FailuresExitOneWithTheWindowsMessages) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    WriteServiceSettings(Settings(), server.Port());
    fs::create_directories(root / "data");

    auto empty = Run({"upload", "--user", "user", "--password", "secret", "--data-folder", root / "data"});
    EXPECT_EQ(empty.ExitCode, 1);
    EXPECT_EQ(empty.Stdout,
              "올릴 자료가 없습니다. 데이터 폴더(" + (root / "data") + ")에 가온장부 자료 파일이 없습니다.\n");
    WriteFile(root / "data/Sale.DB", "sales");

    auto login = Run({"upload", "--user", "user", "--password", "bad", "--data-folder", root / "data"});
    EXPECT_EQ(login.ExitCode, 1);
    EXPECT_EQ(login.Stdout, "인터넷 사용가능\n서버 접속에 실패하였습니다.\n");

    // A failed download says so, and nothing claims the work was done.
    auto missing = Run({"download", "--user", "user", "--password", "secret", "--data-folder", root / "data", "--yes"});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_EQ(missing.Stdout.substr(missing.Stdout.find('\n') + 1),
              "인터넷 사용가능\n서버 접속 완료\n파일을 받는 중...\n파일 받기에 실패하였습니다.\n서버 단절\n");

    auto noFolder = Run({"upload", "--user", "user", "--password", "secret"});
    EXPECT_EQ(noFolder.ExitCode, 1);
    EXPECT_EQ(noFolder.Stdout, "가온장부의 자료 폴더를 찾을 수 없습니다. 가온장부가 설치되어 있는지 확인하십시오.\n");
}

TEST_F(WorkflowCommandTest, UnansweredProbeMeansNoInternet) {
    // A network namespace of its own, where the probe address sits behind a link nobody answers on
    // (on loopback the raw socket would hear its own request, which counts as an answer).
    if (Separator() == '\\') GTEST_SKIP() << "network namespaces are a Linux means; Windows has none to make";
    fs::create_directories(root / "data");
    WriteFile(root / "data/Sale.DB", "sales");
    fs::create_directories(root / "config/nestbridge");
    WriteFile(Settings(), "[Service]\nFtpHost=127.0.0.1\nProbeHost=10.254.0.2\nProbeTimeout=200\n");
    std::string script =
        "ip link set lo up && ip link add v0 type veth peer name v1 && ip addr add 10.254.0.1/24 dev v0 && "
        "ip link set v0 up && ip link set v1 up || exit 97; exec \"$0\" \"$@\"";
    std::vector<std::string> argv{"unshare", "-n",   "sh",         "-c",     script,          cli,          "upload",
                                  "--user",  "user", "--password", "secret", "--data-folder", root / "data"};
    auto r = RunCommand(argv, env);
    if (r.ExitCode == 97 || r.ExitCode == 127 || r.Stderr.find("unshare") != std::string::npos)
        GTEST_SKIP() << "cannot make a network namespace: " << r.Stderr;
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stdout, "인터넷 연결이 되어있지 않습니다.\n");
    EXPECT_FALSE(PathExists(root / "data/Backup")) << "nothing runs after the failed check";
}

// Without a route to the probe address the echo cannot even leave: that too is no Internet, in the
// check's own words, for both presses.
TEST_F(WorkflowCommandTest, NoRouteToTheProbeMeansNoInternet) {
    if (Separator() == '\\') GTEST_SKIP() << "network namespaces are a Linux means; Windows has none to make";
    fs::create_directories(root / "data");
    WriteFile(root / "data/Sale.DB", "sales");
    fs::create_directories(root / "config/nestbridge");
    WriteFile(Settings(), "[Service]\nFtpHost=127.0.0.1\nProbeHost=192.0.2.7\nProbeTimeout=200\n");
    for (const char* press : {"upload", "download"}) {
        SCOPED_TRACE(press);
        std::vector<std::string> argv{"unshare",
                                      "-n",
                                      "sh",
                                      "-c",
                                      "ip link set lo up || exit 97; exec \"$0\" \"$@\"",
                                      cli,
                                      press,
                                      "--user",
                                      "user",
                                      "--password",
                                      "secret",
                                      "--data-folder",
                                      root / "data",
                                      "--yes"};
        auto r = RunCommand(argv, env);
        if (r.ExitCode == 97 || r.ExitCode == 127 || r.Stderr.find("unshare") != std::string::npos)
            GTEST_SKIP() << "cannot make a network namespace: " << r.Stderr;
        EXPECT_EQ(r.ExitCode, 1);
        // (The download asks first: these tables were never recorded.)
        EXPECT_EQ(SplitLines(r.Stdout).back(), "인터넷 연결이 되어있지 않습니다.") << r.Stdout;
        EXPECT_EQ(r.Stderr.find("10051"), std::string::npos) << r.Stderr;
    }
    EXPECT_FALSE(PathExists(root / "data/Backup")) << "nothing runs after the failed check";
}

// A greeting without end, which anyone on the path can send before TLS: the press fails at the
// connect with its usual text, the reason on stderr.
TEST_F(WorkflowCommandTest, EndlessGreetingFailsTheConnect) {
    const char* endless = R"(
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(5)
while True:
    c, _ = s.accept()
    try:
        while True:
            c.sendall(b"220-" + b"x" * 76 + b"\r\n")
    except OSError:
        c.close()
)";
    LocalServer server(
        [&](int port) {
            return std::vector<std::string>{"/usr/bin/python3", "-c", endless, std::to_string(port)};
        },
        "the endless greeting");
    ASSERT_TRUE(server.Running()) << server.Error();
    WriteServiceSettings(Settings(), server.Port());
    fs::create_directories(root / "data");
    WriteFile(root / "data/Sale.DB", "sales");
    auto r = Run({"upload", "--user", "user", "--password", "secret", "--data-folder", root / "data"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stdout, "인터넷 사용가능\n서버 접속에 실패하였습니다.\n");
    EXPECT_NE(r.Stderr.find("The server's reply did not end within 500 lines."), std::string::npos) << r.Stderr;
}

TEST_F(WorkflowCommandTest, UsageErrorsExitTwo) {
    EXPECT_EQ(Run({"upload", "--user", "u"}).ExitCode, 2);
    EXPECT_EQ(Run({"download", "--password", "p"}).ExitCode, 2);
    EXPECT_EQ(Run({"download", "--user", "u", "--password", "p", "extra"}).ExitCode, 2);
    EXPECT_EQ(Run({"download", "--user", "u", "--password", "p", "--generation", "0"}).ExitCode, 2);
    EXPECT_EQ(Run({"undo-download", "--data-folder", root.Path()}).ExitCode, 2);
    auto help = Run({"upload", "--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Stdout.find("--data-folder"), std::string::npos);
}

}  // namespace
}  // namespace nb::test
