// nestbridge-cli ftp against a real FTP server (pyftpdlib).
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::CliPath;
using test::RunCommand;

class FtpCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server_.Running()) GTEST_SKIP() << "pyftpdlib: " << server_.Error();
    }
    test::CommandResult Ftp(std::vector<std::string> operation, bool passive = false,
                            const std::string& password = "secret") {
        std::vector<std::string> argv{
            CliPath(), "ftp",  "--host",     "127.0.0.1", "--port", std::to_string(server_.Port()),
            "--user",  "user", "--password", password};
        if (passive) argv.push_back("--passive");
        argv.insert(argv.end(), operation.begin(), operation.end());
        return RunCommand(argv);
    }

    test::PyFtpServer server_;
    test::TempDir dir_;
};

TEST_F(FtpCommand, PutSizeGetInBothModes) {
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        const std::string bytes = test::RandomBytes(300000, passive ? 2 : 1);
        test::WriteFile(dir_ / "up", bytes);
        auto put = Ftp({"put", dir_ / "up", "x.bck"}, passive);
        EXPECT_EQ(put.ExitCode, 0) << put.Stderr;
        EXPECT_EQ(put.Stderr, "");  // no bar when stderr is not a terminal
        EXPECT_EQ(test::ReadFile(server_.Home() + "/x.bck"), bytes);

        auto size = Ftp({"size", "x.bck"}, passive);
        EXPECT_EQ(size.ExitCode, 0);
        EXPECT_EQ(size.Stdout, "300000\n");

        test::WriteFile(dir_ / "down", std::string(500000, 'o'));
        auto get = Ftp({"get", "x.bck", dir_ / "down"}, passive);
        EXPECT_EQ(get.ExitCode, 0) << get.Stderr;
        EXPECT_EQ(test::ReadFile(dir_ / "down"), bytes);
    }
}

TEST_F(FtpCommand, Failures) {
    // No size is a failure: the number is still printed, the server's answer goes to stderr.
    auto size = Ftp({"size", "missing.bck"});
    EXPECT_EQ(size.ExitCode, 1);
    EXPECT_EQ(size.Stdout, "-1\n");
    EXPECT_NE(size.Stderr.find("nestbridge-cli ftp: no size for missing.bck: 550 "), std::string::npos) << size.Stderr;

    auto get = Ftp({"get", "missing.bck", dir_ / "m"});
    EXPECT_EQ(get.ExitCode, 1);
    EXPECT_NE(get.Stderr.find("nestbridge-cli ftp: "), std::string::npos) << get.Stderr;

    auto put = Ftp({"put", dir_ / "absent", "a.bck"});
    EXPECT_EQ(put.ExitCode, 1);
    EXPECT_NE(put.Stderr.find("Cannot open file \"" + dir_ / "absent" + "\""), std::string::npos) << put.Stderr;

    auto login = Ftp({"size", "x"}, false, "wrong");
    EXPECT_EQ(login.ExitCode, 1);
    EXPECT_EQ(login.Stdout, "");

    auto refused =
        RunCommand({CliPath(), "ftp", "--host", "127.0.0.1", "--port", std::to_string(test::FreePort()), "size", "x"});
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_NE(refused.Stderr.find("10061"), std::string::npos) << refused.Stderr;
}

TEST_F(FtpCommand, UsageErrors) {
    const std::string port = std::to_string(server_.Port());
    const std::vector<std::vector<std::string>> bad{
        {"ftp", "size", "x"},                                        // no host
        {"ftp", "--host", "127.0.0.1", "--port", port},              // no operation
        {"ftp", "--host", "127.0.0.1", "--port", port, "list"},      // unknown operation
        {"ftp", "--host", "127.0.0.1", "--port", port, "get", "x"},  // missing LOCAL
        {"ftp", "--host", "127.0.0.1", "--port", port, "size", "x", "y"},
        {"ftp", "--host", "127.0.0.1", "--port", "70000", "size", "x"},
        {"ftp", "--host", "127.0.0.1", "--port", "abc", "size", "x"},
        {"ftp", "--host", "127.0.0.1", "--verbose", "size", "x"},
        {"ftp", "--host"},
    };
    for (auto args : bad) {
        args.insert(args.begin(), CliPath());
        auto r = RunCommand(args);
        EXPECT_EQ(r.ExitCode, 2) << args.back();
        EXPECT_NE(r.Stderr.find("usage: nestbridge-cli ftp"), std::string::npos);
    }
    auto help = RunCommand({CliPath(), "ftp", "--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Stdout.find("size REMOTE | get REMOTE LOCAL | put LOCAL REMOTE"), std::string::npos);
}

TEST_F(FtpCommand, ProgressBarWithSpeedOnATerminal) {
    test::WriteFile(server_.Home() + "/big.bck", test::RandomBytes(4 * 1024 * 1024, 9));
    // script(1) gives the program a terminal; its output is the terminal's.
    const std::string command = CliPath() + " ftp --host 127.0.0.1 --port " + std::to_string(server_.Port()) +
                                " --user user --password secret get big.bck " + dir_ / "big";
    auto shown = RunCommand({"script", "-qec", command, "/dev/null"});
    if (shown.ExitCode == 127 || shown.ExitCode == -1) GTEST_SKIP() << "script(1) unavailable";
    EXPECT_EQ(shown.ExitCode, 0) << shown.Stdout;
    EXPECT_NE(shown.Stdout.find("100%"), std::string::npos) << shown.Stdout;
    EXPECT_NE(shown.Stdout.find("/s"), std::string::npos) << shown.Stdout;
    EXPECT_EQ(test::ReadFile(dir_ / "big").size(), 4u * 1024 * 1024);

    auto quiet = RunCommand({"script", "-qec", command + " --quiet", "/dev/null"});
    EXPECT_EQ(quiet.ExitCode, 0);
    EXPECT_EQ(quiet.Stdout.find("%"), std::string::npos) << quiet.Stdout;
}

}  // namespace
}  // namespace nb
