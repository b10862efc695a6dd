// nestbridge-cli's conventions: the version, the command list, where the password comes from,
// the speed texts at most once a second and the failure's reason on stderr.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>

#include "tests/app/AppTestSupport.h"

namespace nb::test {
namespace {

TEST(CliConventions, VersionAndCommandList) {
    auto version = RunCommand({CliPath(), "--version"});
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_TRUE(std::regex_match(version.Stdout, std::regex("nestbridge-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.Stdout;

    auto help = RunCommand({CliPath(), "--help"});
    EXPECT_EQ(help.ExitCode, 0);
    for (const char* command : {"archive", "download", "ftp", "ping", "upload"})
        EXPECT_TRUE(std::regex_search(help.Stdout, std::regex(std::string("\n  ") + command + " +[a-z][^\n]+\n")))
            << command << " has no one-line description in:\n"
            << help.Stdout;
    EXPECT_NE(RunCommand({CliPath(), "upload", "--help"}).Stdout.find("NESTBRIDGE_PASSWORD"), std::string::npos);
}

// Each password source, tried by a login of the ftp command ("size" of a file on the server).
class PasswordSources : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.Running()) GTEST_SKIP() << "pyftpdlib: " << server.Error();
        WriteFile(dir / "good", "secret\nnot this line\n");
        WriteFile(dir / "crlf", "secret\r\n");
        WriteFile(dir / "bom", "\xEF\xBB\xBFsecret\r\n");  // as Notepad saves UTF-8
        WriteFile(dir / "bad", "wrong\n");
        WriteFile(server.Home() + "/present.bck", "12345");
    }
    std::vector<std::string> Argv(std::vector<std::string> extra) const {
        std::vector<std::string> argv{CliPath(), "ftp", "--host", "127.0.0.1", "--port", std::to_string(server.Port()),
                                      "--user",  "user"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back("size");
        argv.push_back("present.bck");
        return argv;
    }

    PyFtpServer server;
    TempDir dir;
};

TEST_F(PasswordSources, EachSourceInItsOrder) {
    struct Case {
        const char* name;
        std::vector<std::string> options, env;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"option", {"--password", "secret"}, {}, 0},
        {"option before environment", {"--password", "secret"}, {"NESTBRIDGE_PASSWORD=wrong"}, 0},
        {"environment", {}, {"NESTBRIDGE_PASSWORD=secret"}, 0},
        {"environment before file", {"--password-file", dir / "bad"}, {"NESTBRIDGE_PASSWORD=secret"}, 0},
        {"empty environment counts as unset", {"--password-file", dir / "good"}, {"NESTBRIDGE_PASSWORD="}, 0},
        {"file's first line", {"--password-file", dir / "good"}, {}, 0},
        {"file with CRLF", {"--password-file", dir / "crlf"}, {}, 0},
        {"file with a byte-order mark", {"--password-file", dir / "bom"}, {}, 0},
        {"wrong password from a file", {"--password-file", dir / "bad"}, {}, 1},
        {"unreadable file", {"--password-file", dir / "absent"}, {}, 2},
        {"none, and no terminal", {}, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = RunCommand(Argv(c.options), c.env);
        EXPECT_EQ(r.ExitCode, c.exitCode) << r.Stderr;
        if (c.exitCode == 0) {
            EXPECT_EQ(r.Stdout, "5\n");
        }
    }
}

TEST_F(PasswordSources, PromptedOnATerminalWithoutEcho) {
    if (Separator() == '\\')
        GTEST_SKIP() << "the pseudo-terminal driver is a Linux program, which Wine cannot wait for";
    // The program runs on a pseudo-terminal; the password is typed once the prompt shows.
    const char* driver = R"(
import os, pty, signal, sys
signal.alarm(60)  # a program that never reads the typed line fails the test instead of hanging it
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
seen = b""
while b"Password for user: " not in seen:
    seen += os.read(fd, 1024)
os.write(fd, b"secret\n")
try:
    while True:
        chunk = os.read(fd, 1024)
        if not chunk: break
        seen += chunk
except OSError:
    pass
_, status = os.waitpid(pid, 0)
sys.stdout.write(seen.decode())
sys.exit(os.waitstatus_to_exitcode(status))
)";
    std::vector<std::string> argv{"python3", "-c", driver};
    for (const auto& a : Argv({})) argv.push_back(a);
    auto r = RunCommand(argv);
    EXPECT_EQ(r.ExitCode, 0) << r.Stdout << r.Stderr;
    EXPECT_NE(r.Stdout.find("\n5"), std::string::npos) << r.Stdout;
    EXPECT_EQ(r.Stdout.find("secret"), std::string::npos) << "the typed password was echoed:\n" << r.Stdout;
}

class WorkflowReports : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.Running()) GTEST_SKIP() << "pyftpdlib: " << server.Error();
        WriteServiceSettings(root / "config/nestbridge/FtpHost.ini", server.Port());
        std::filesystem::create_directories(root / "data");
        env = {"XDG_CONFIG_HOME=" + (root / "config"), "WINEPREFIX=" + (root / "wine"), "HOME=" + root.Path()};
    }
    CommandResult Upload(const std::string& password) {
        return RunCommand({CliPath(), "upload", "--user", "user", "--data-folder", root / "data"},
                          {env[0], env[1], env[2], "NESTBRIDGE_PASSWORD=" + password});
    }

    PyFtpServer server;
    TempDir root;
    std::vector<std::string> env;
};

TEST_F(WorkflowReports, SpeedTextsAtMostOnceASecondAndTheReasonOnStderr) {
    if (Separator() == '\\')
        GTEST_SKIP() << "on Windows the settings file lives beside the executable, not under XDG_CONFIG_HOME";
    WriteFile(root / "data/Sale.DB", RandomBytes(8 << 20, 5));
    const auto start = std::chrono::steady_clock::now();
    auto up = Upload("secret");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(up.ExitCode, 0) << up.Stderr;
    const auto lines = SplitLines(up.Stdout);
    size_t speeds = 0;
    for (const auto& line : lines) speeds += line.starts_with("Uploade speed ");
    // Thousands of chunks; the window repaints each, the console shows a line a second.
    EXPECT_GE(speeds, 1u);
    EXPECT_LE(speeds, 2u + static_cast<size_t>(seconds.count())) << up.Stdout;
    const auto done = std::find(lines.begin(), lines.end(), "전송을 완료했습니다.");
    ASSERT_NE(done, lines.begin());
    ASSERT_NE(done, lines.end());
    EXPECT_TRUE((done - 1)->starts_with("Uploade speed ")) << "the transfer's last speed text comes before its end";

    auto refused = Upload("wrong");
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_EQ(refused.Stdout, "인터넷 사용가능\n서버 접속에 실패하였습니다.\n");
    EXPECT_NE(refused.Stderr.find("Authentication failed"), std::string::npos)
        << "the server's reply: " << refused.Stderr;
}

}  // namespace
}  // namespace nb::test
