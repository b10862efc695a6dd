// The control connection against a scripted server: greeting, login shapes, SYST, type,
// size, the resume probe and quit.
#include <gtest/gtest.h>

#include "net/ftp/IdFTP.h"
#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using Lines = std::vector<std::string>;

class FtpControl : public ::testing::Test {
protected:
    void Serve(test::FakeFtpServer::Script script, int connections = 1) {
        server_ = std::make_unique<test::FakeFtpServer>(std::move(script), connections);
        ftp_.Host = "127.0.0.1";
        ftp_.Port = server_->Port();
        ftp_.Username = "user";
        ftp_.Password = "secret";
        ftp_.OnStatus = [this](TIdComponent&, TIdStatus status, const std::string& text) {
            if (status >= ftpTransfer) statuses_.push_back(text);
        };
    }
    Lines Commands() {
        ftp_.Disconnect();
        return server_->Finish();
    }

    TIdFTP ftp_;
    std::unique_ptr<test::FakeFtpServer> server_;
    Lines statuses_;
};

TEST_F(FtpControl, DefaultsOfANewClient) {
    EXPECT_EQ(ftp_.Port, 21);
    EXPECT_FALSE(ftp_.Passive);
    EXPECT_EQ(ftp_.TransferType(), ftBinary);
    EXPECT_EQ(ftp_.ProxySettings.ProxyType, fpcmNone);
    EXPECT_EQ(ftp_.DataConnectionTimeout, 20000);
    EXPECT_EQ(ftp_.DataConnection(), nullptr);
    ftp_.Quit();  // not connected: writes nothing, does not fail
    EXPECT_FALSE(ftp_.IsConnected());
}

TEST_F(FtpControl, MultiLineGreetingAndFullLogin) {
    Serve([](test::FakeSession& s) {
        s.Send("220-Welcome to\r\n  \r\nthe fake\r\n220 server\r\n");
        s.Expect("USER user");
        s.Send("331-Password\r\n331 please\r\n");
        s.Expect("PASS secret");
        s.Send("230 in\r\n");
        s.Expect("TYPE I");
        s.Send("200 ok\r\n");
        s.Expect("SYST");
        s.Send("215 UNIX Type: L8\r\n");
        s.ClientClosed();
    });
    bool afterLogin = false;
    ftp_.OnAfterClientLogin = [&](TIdFTP& sender) {
        afterLogin = &sender == &ftp_;
        EXPECT_EQ(sender.LoginReply().NumericCode(), 230);
    };
    ftp_.Connect(true, -1);
    EXPECT_TRUE(afterLogin);
    EXPECT_EQ(ftp_.GreetingReply().NumericCode(), 220);
    EXPECT_EQ(ftp_.GreetingReply().Text(), (Lines{"Welcome to", "fake", "server"}));
    EXPECT_EQ(ftp_.SystemDescription(), "UNIX Type: L8");
    EXPECT_EQ(statuses_, (Lines{"Connection established"}));
    Commands();
}

TEST_F(FtpControl, User230SkipsPassAndSyst500IsUnknown) {
    Serve([](test::FakeSession& s) {
        s.Send("220 hi\r\n");
        s.Expect("USER user");
        s.Send("230 no password needed\r\n");
        s.Expect("TYPE I");
        s.Send("200 ok\r\n");
        s.Expect("SYST");
        s.Send("500 what\r\n");
        s.ClientClosed();
    });
    ftp_.Connect(true, -1);
    EXPECT_EQ(ftp_.SystemDescription(), "Unknown");
    EXPECT_EQ(ftp_.LoginReply().Text(), (Lines{"no password needed"}));
    EXPECT_EQ(Commands(), (Lines{"USER user", "TYPE I", "SYST"}));
}

struct RefusedLogin {
    const char* name;
    std::string script;  // replies after the greeting, one per command
    Lines commands;
    int code;
};

class FtpLoginRefused : public FtpControl, public ::testing::WithParamInterface<RefusedLogin> {};

TEST_P(FtpLoginRefused, ConnectFailsAndCloses) {
    const auto& c = GetParam();
    Serve([&c](test::FakeSession& s) {
        s.Send("220 hi\r\n");
        size_t from = 0;
        while (from < c.script.size()) {
            size_t end = c.script.find('\n', from) + 1;
            if (s.ReadCommand().empty()) break;
            s.Send(c.script.substr(from, end - from));
            from = end;
        }
        EXPECT_TRUE(s.ClientClosed());
    });
    try {
        ftp_.Connect(true, -1);
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, c.code);
    }
    EXPECT_FALSE(ftp_.IsConnected());
    EXPECT_EQ(ftp_.Host, "127.0.0.1");
    EXPECT_EQ(server_->Finish(), c.commands);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FtpLoginRefused,
    ::testing::Values(RefusedLogin{"account", "332 need account\r\n", {"USER user"}, 332},
                      RefusedLogin{"password", "331 pw\r\n530 wrong\r\n", {"USER user", "PASS secret"}, 530},
                      RefusedLogin{"type", "230 in\r\n504 no binary\r\n", {"USER user", "TYPE I"}, 504},
                      RefusedLogin{"syst", "230 in\r\n200 ok\r\n421 bye\r\n", {"USER user", "TYPE I", "SYST"}, 421}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtpControl, GreetingOtherThan220Closes) {
    Serve([](test::FakeSession& s) {
        s.Send("421 too many users\r\n");
        EXPECT_TRUE(s.ClientClosed());
    });
    try {
        ftp_.Connect(true, -1);
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 421);
        EXPECT_EQ(e.Message(), "too many users\r\n");
    }
    EXPECT_FALSE(ftp_.IsConnected());
    EXPECT_TRUE(Commands().empty());
}

TEST_F(FtpControl, RefusedTcpConnectKeepsHostAndPort) {
    ftp_.Host = "127.0.0.1";
    ftp_.Port = test::FreePort();
    const int32_t port = ftp_.Port;
    try {
        ftp_.Connect(true, -1);
        FAIL() << "no error";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10061);
    }
    EXPECT_EQ(ftp_.Host, "127.0.0.1");
    EXPECT_EQ(ftp_.Port, port);
    EXPECT_FALSE(ftp_.IsConnected());
}

TEST_F(FtpControl, ConnectWithoutLoginReadsOnlyTheGreeting) {
    Serve([](test::FakeSession& s) {
        s.Send("220 hi\r\n");
        s.ClientClosed();
    });
    ftp_.Connect(false, -1);
    EXPECT_TRUE(ftp_.IsConnected());
    EXPECT_TRUE(statuses_.empty());
    EXPECT_TRUE(Commands().empty());
}

TEST_F(FtpControl, TransferTypeIsSentOnlyWhenItChanges) {
    Serve([](test::FakeSession& s) {
        s.Send("220 hi\r\n");
        s.Expect("USER user");
        s.Send("230 in\r\n");
        s.Expect("TYPE A");
        s.Send("200 ascii\r\n");
        s.Expect("SYST");
        s.Send("215 UNIX\r\n");
        s.Expect("TYPE I");
        s.Send("504 no\r\n");
        s.Expect("QUIT");
        s.ClientClosed();
    });
    ftp_.SetTransferType(ftASCII);  // disconnected: stored, sent by the next login
    ftp_.Connect(true, -1);
    ftp_.SetTransferType(ftASCII);  // unchanged: nothing sent
    EXPECT_THROW(ftp_.SetTransferType(ftBinary), EIdProtocolReplyError);
    EXPECT_EQ(ftp_.TransferType(), ftBinary);  // stored although refused
    EXPECT_TRUE(ftp_.IsConnected());
    ftp_.Quit();
    EXPECT_FALSE(ftp_.IsConnected());
    EXPECT_EQ(server_->Finish(), (Lines{"USER user", "TYPE A", "SYST", "TYPE I", "QUIT"}));
}

TEST_F(FtpControl, SizeReadsTheNumberOr1) {
    Serve([](test::FakeSession& s) {
        s.Login();
        for (const char* reply : {"213 1234\r\n", "550 No such file\r\n", "213 abc\r\n", "213 Size: 77\r\n",
                                  "213 4294967296\r\n", "213\r\n"}) {
            s.ReadCommand();
            s.Send(reply);
        }
        s.ClientClosed();
    });
    ftp_.Connect(true, -1);
    EXPECT_EQ(ftp_.Size("a.bck"), 1234);
    EXPECT_EQ(ftp_.Size("b.bck"), -1);
    EXPECT_EQ(ftp_.Size("c.bck"), -1);
    EXPECT_EQ(ftp_.Size("d.bck"), 77);          // cut after the first blank
    EXPECT_EQ(ftp_.Size("e.bck"), 4294967296);  // beyond 32 bits: archives may exceed 2 GiB
    EXPECT_EQ(ftp_.Size("f.bck"), -1);
    auto commands = Commands();
    EXPECT_EQ(commands.at(4), "SIZE a.bck");
}

TEST_F(FtpControl, ResumeProbeRunsOncePerObject) {
    Serve(
        [](test::FakeSession& s) {
            s.Login();
            std::string command = s.ReadCommand();
            if (command == "REST 1") {
                s.Send("350 Restarting at 1\r\n");
                s.Expect("REST 0");
                s.Send("350 Restarting at 0\r\n");
                command = s.ReadCommand();
            }
            EXPECT_EQ(command, "QUIT");
            s.ClientClosed();
        },
        2);
    ftp_.Connect(true, -1);
    EXPECT_TRUE(ftp_.ResumeSupported());
    EXPECT_TRUE(ftp_.ResumeSupported());
    ftp_.Quit();
    ftp_.Connect(true, -1);
    EXPECT_TRUE(ftp_.ResumeSupported());  // remembered across connections
    ftp_.Quit();
    auto commands = server_->Finish();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "REST 1"), 1);
    EXPECT_EQ(commands.back(), "QUIT");
}

TEST_F(FtpControl, ResumeProbeRefused) {
    Serve([](test::FakeSession& s) {
        s.Login();
        s.Expect("REST 1");
        s.Send("502 not implemented\r\n");
        s.Expect("REST 0");
        s.Send("502 not implemented\r\n");
        s.ClientClosed();
    });
    ftp_.Connect(true, -1);
    EXPECT_FALSE(ftp_.ResumeSupported());
    Commands();
}

TEST_F(FtpControl, QuitReadsNoReply) {
    Serve([](test::FakeSession& s) {
        s.Login();
        s.Expect("QUIT");
        // No reply is sent: the client must close at once all the same.
        EXPECT_TRUE(s.ClientClosed());
    });
    ftp_.Connect(true, -1);
    ftp_.Quit();
    EXPECT_FALSE(ftp_.IsConnected());
    server_->Finish();
}

TEST_F(FtpControl, ConnectWhileConnectedClosesTheConnection) {
    Serve([](test::FakeSession& s) {
        s.Login();
        EXPECT_TRUE(s.ClientClosed());
    });
    ftp_.Connect(true, -1);
    EXPECT_THROW(ftp_.Connect(true, -1), EIdAlreadyConnected);
    EXPECT_FALSE(ftp_.IsConnected());
    server_->Finish();
}

// RNFR/RNTO and DELE: each reply the client may meet, and how it ends.
struct FileCommandCase {
    const char* name;
    bool rename;
    Lines replies;   // one per command, in order
    Lines commands;  // what the client sent after the login
    int code;        // 0: no error
    bool targetRefused;
};

class FtpFileCommand : public FtpControl, public ::testing::WithParamInterface<FileCommandCase> {};

TEST_P(FtpFileCommand, SendsItsCommandsAndRaisesOnOtherCodes) {
    const auto& c = GetParam();
    Serve([&c](test::FakeSession& s) {
        s.Login();
        for (const auto& r : c.replies) {
            if (s.ReadCommand().empty()) break;
            s.Send(r + "\r\n");
        }
        s.ClientClosed();
    });
    ftp_.Connect(true, -1);
    int code = 0;
    bool targetRefused = false;
    try {
        if (c.rename)
            ftp_.Rename("a.bck.part", "a.bck");
        else
            ftp_.Delete("a.bck");
    } catch (const EIdFTPRenameTargetRefused& e) {
        code = e.ReplyCode;
        targetRefused = true;
    } catch (const EIdProtocolReplyError& e) {
        code = e.ReplyCode;
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(targetRefused, c.targetRefused);
    EXPECT_TRUE(ftp_.IsConnected()) << "a refusal leaves the control connection open";
    Lines sent = Commands();
    EXPECT_EQ(Lines(sent.begin() + 4, sent.end()), c.commands);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FtpFileCommand,
    ::testing::Values(
        FileCommandCase{"renamed", true, {"350 ready", "250 done"}, {"RNFR a.bck.part", "RNTO a.bck"}, 0, false},
        FileCommandCase{"no_source", true, {"550 no such file"}, {"RNFR a.bck.part"}, 550, false},
        FileCommandCase{"unsupported", true, {"502 not implemented"}, {"RNFR a.bck.part"}, 502, false},
        FileCommandCase{
            "target_exists", true, {"350 ready", "553 exists"}, {"RNFR a.bck.part", "RNTO a.bck"}, 553, true},
        FileCommandCase{"rnfr_250_is_not_350", true, {"250 odd"}, {"RNFR a.bck.part"}, 250, false},
        FileCommandCase{"deleted", false, {"250 gone"}, {"DELE a.bck"}, 0, false},
        FileCommandCase{"delete_missing", false, {"550 no such file"}, {"DELE a.bck"}, 550, false},
        FileCommandCase{"delete_busy", false, {"450 busy"}, {"DELE a.bck"}, 450, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Answers to AUTH TLS that must stop the connect before the login, under auto and require alike:
// bytes behind a 234 came in clear (someone may have put them there), and an answer that is
// neither 234 nor a refusal is no reason to go on in plain text.
struct AuthAnswer {
    const char* name;
    const char* reply;
    bool protocolError;  // else a TLS error
    const char* reason;  // part of the error's text
};

class FtpAuthAnswer : public FtpControl, public ::testing::WithParamInterface<AuthAnswer> {};

TEST_P(FtpAuthAnswer, StopsBeforeTheLogin) {
    const auto& c = GetParam();
    Serve(
        [&c](test::FakeSession& s) {
            s.Send("220 hi\r\n");
            s.Expect("AUTH TLS");
            s.Send(c.reply);
            EXPECT_TRUE(s.ClientClosed());
        },
        2);
    for (TIdFTPTlsMode mode : {ftpTlsAuto, ftpTlsRequire}) {
        SCOPED_TRACE(int(mode));
        ftp_.UseTLS = mode;
        try {
            ftp_.Connect(true, -1);
            ADD_FAILURE() << "connected";
        } catch (const EIdProtocolReplyError& e) {
            EXPECT_TRUE(c.protocolError) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        } catch (const EIdTLSError& e) {
            EXPECT_FALSE(c.protocolError) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_FALSE(ftp_.IsConnected());
        EXPECT_FALSE(ftp_.TlsActive());
    }
    EXPECT_EQ(server_->Finish(), (Lines{"AUTH TLS", "AUTH TLS"}));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FtpAuthAnswer,
    ::testing::Values(AuthAnswer{"injectedAfter234", "234 go ahead\r\n331 injected\r\n", false, "unprotected"},
                      AuthAnswer{"neither234NorRefusal", "200 fine\r\n", true, "unexpected answer"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace nb
