// Data transfers against a scripted server: the application's command sequences on the wire,
// final-reply shapes, PASV parsing, local-file rules, and the mended faults (foreign data
// connections, a server that never connects, PASV naming another host).
#include <gtest/gtest.h>

#include <algorithm>

#include "net/ftp/IdFTP.h"
#include "net/transport/IdSocketHandle.h"
#include "platform/Exception.h"
#include "platform/Stream.h"
#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using Lines = std::vector<std::string>;
using test::FakeSession;
using test::FakeSocket;

struct WorkEvent {
    std::string kind;
    TWorkMode mode;
    int32_t value;
    bool fromDataConnection;
};

class FtpTransfer : public ::testing::Test {
protected:
    void Serve(test::FakeFtpServer::Script script) {
        server_ = std::make_unique<test::FakeFtpServer>([script = std::move(script)](FakeSession& s) {
            s.Login();
            script(s);
            s.ClientClosed();
        });
        ftp_.Host = "127.0.0.1";
        ftp_.Port = server_->Port();
        ftp_.Username = "user";
        ftp_.Password = "secret";
        ftp_.RecvBufferSize = 8192;
        ftp_.SendBufferSize = 1024;
        ftp_.OnStatus = [this](TIdComponent&, TIdStatus status, const std::string& text) {
            if (status >= ftpTransfer) statuses_.push_back(text);
        };
        auto fromData = [this](TIdComponent& sender) {
            auto* data = dynamic_cast<TIdTCPConnection*>(&sender);
            return &sender != &ftp_ && data && ftp_.DataConnection() == data && data->RecvBufferSize == 8192 &&
                   data->SendBufferSize == 1024 && !data->OnStatus;
        };
        ftp_.OnWorkBegin = [this, fromData](TIdComponent& s, TWorkMode m, int32_t max) {
            work_.push_back({"begin", m, max, fromData(s)});
        };
        ftp_.OnWork = [this, fromData](TIdComponent& s, TWorkMode m, int32_t count) {
            work_.push_back({"work", m, count, fromData(s)});
        };
        ftp_.OnWorkEnd = [this, fromData](TIdComponent& s, TWorkMode m) {
            work_.push_back({"end", m, 0, fromData(s)});
        };
        ftp_.Connect(true, -1);
    }
    // The commands after the login.
    Lines Commands() {
        ftp_.Disconnect();
        Lines all = server_->Finish();
        return Lines(all.begin() + std::min<size_t>(4, all.size()), all.end());
    }

    test::TempDir dir_;
    TIdFTP ftp_;
    std::unique_ptr<test::FakeFtpServer> server_;
    Lines statuses_;
    std::vector<WorkEvent> work_;
};

// PORT, the transfer command, the data connection from the server, the final reply.
void ActiveTransfer(FakeSession& s, const std::string& command, const std::string& payload, std::string* received,
                    const std::string& finalReply = "226 done\r\n") {
    const std::string port = s.ReadCommand();
    EXPECT_EQ(port.rfind("PORT 127,0,0,1,", 0), 0u) << port;
    s.Send("200 PORT ok\r\n");
    s.Expect(command);
    s.Send("150 opening data connection\r\n");
    FakeSocket data = s.ConnectToPort(port);
    if (received) {
        *received = data.ReceiveAll();
    } else {
        data.Send(payload);
    }
    data.Close();
    s.Send(finalReply);
}

TEST_F(FtpTransfer, ApplicationDownloadOnTheWire) {
    const std::string payload = test::RandomBytes(20000, 7);
    Serve([&payload](FakeSession& s) {
        s.Expect("SIZE u1.bck");
        s.Send("213 20000\r\n");
        ActiveTransfer(s, "RETR u1.bck", payload, nullptr);
    });
    const std::string local = dir_ / "u1.bck";
    test::WriteFile(local, std::string(50000, 'o'));  // an older, longer archive is replaced
    ftp_.SetTransferType(ftBinary);
    EXPECT_EQ(ftp_.Size("u1.bck"), 20000);
    ftp_.Get("u1.bck", local, true, false);
    EXPECT_EQ(test::ReadFile(local), payload);
    EXPECT_EQ(ftp_.DataConnection(), nullptr);
    const Lines commands = Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0], "SIZE u1.bck");
    EXPECT_EQ(commands[1].rfind("PORT 127,0,0,1,", 0), 0u);
    EXPECT_EQ(commands[2], "RETR u1.bck");
    EXPECT_EQ(statuses_, (Lines{"Connection established", "Starting FTP transfer", "Transfer complete"}));
    ASSERT_GE(work_.size(), 2u);
    EXPECT_EQ(work_.front().kind, "begin");
    EXPECT_EQ(work_.front().mode, wmRead);
    EXPECT_EQ(work_.front().value, 0);  // a download announces no size
    EXPECT_EQ(work_.back().kind, "end");
    for (const auto& w : work_) EXPECT_TRUE(w.fromDataConnection) << w.kind;
}

TEST_F(FtpTransfer, ApplicationUploadOnTheWire) {
    const std::string payload = test::RandomBytes(2500, 3);
    std::string received;
    Serve([&received](FakeSession& s) { ActiveTransfer(s, "STOR u1.bck", "", &received); });
    const std::string local = dir_ / "u1.bck";
    test::WriteFile(local, payload);
    ftp_.SetTransferType(ftBinary);
    ftp_.Put(local, "u1.bck", false);
    const Lines commands = Commands();
    EXPECT_EQ(received, payload);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].rfind("PORT 127,0,0,1,", 0), 0u);
    EXPECT_EQ(commands[1], "STOR u1.bck");
    std::vector<std::pair<std::string, int32_t>> seen;
    for (const auto& w : work_) {
        EXPECT_TRUE(w.fromDataConnection);
        EXPECT_EQ(w.mode, wmWrite);
        seen.emplace_back(w.kind, w.value);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int32_t>>{
                        {"begin", 2500}, {"work", 1024}, {"work", 2048}, {"work", 2500}, {"end", 0}}));
}

TEST_F(FtpTransfer, EmptyUploadSendsNothing) {
    std::string received = "x";
    Serve([&received](FakeSession& s) { ActiveTransfer(s, "STOR e.bck", "", &received); });
    const std::string local = dir_ / "e.bck";
    test::WriteFile(local, "");
    ftp_.Put(local, "e.bck");
    Commands();
    EXPECT_EQ(received, "");
    ASSERT_EQ(work_.size(), 2u);
    EXPECT_EQ(work_[0].kind, "begin");
    EXPECT_EQ(work_[0].value, 0);
    EXPECT_EQ(work_[1].kind, "end");
}

class FtpFinalReply : public FtpTransfer, public ::testing::WithParamInterface<std::string> {};

TEST_P(FtpFinalReply, AbortedTransferEndsQuietly) {
    Serve([](FakeSession& s) { ActiveTransfer(s, "RETR a", "part", nullptr, "426 aborted\r\n226 closing\r\n"); });
    TMemoryStream stream;
    ftp_.Passive = false;
    ftp_.GetToStream("a", stream);
    EXPECT_EQ(stream.ToString(), "part");
    EXPECT_EQ(statuses_.back(), "Transfer aborted");
    EXPECT_TRUE(ftp_.IsConnected());
    Commands();
}

INSTANTIATE_TEST_SUITE_P(Codes, FtpFinalReply, ::testing::Values("426", "450"));

TEST_F(FtpTransfer, FinalReplyOutsideTheListRaisesAndKeepsTheBytes) {
    const std::string payload = test::RandomBytes(100001, 11);
    Serve([&payload](FakeSession& s) { ActiveTransfer(s, "RETR a", payload, nullptr, "551 page type unknown\r\n"); });
    try {
        ftp_.Get("a", dir_ / "a", true, false);
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 551);
    }
    EXPECT_EQ(test::ReadFile(dir_ / "a"), payload);
    Commands();
}

TEST_F(FtpTransfer, AbortClosesTheDataConnectionAndTheTransferEndsQuietly) {
    // Under Wine the closed data socket sometimes never resets the sending peer, which then blocks.
    if (test::UnderWine()) GTEST_SKIP() << "Wine does not always reset a closed loopback connection";
    Serve([](FakeSession& s) {
        const std::string port = s.ReadCommand();
        s.Send("200 PORT ok\r\n");
        s.Expect("RETR big");
        s.Send("150 opening\r\n");
        FakeSocket data = s.ConnectToPort(port);
        data.Send(std::string(8 << 20, 'x'));  // ends early when the client drops the connection
        s.Expect("ABOR");
        s.Send("426 aborted\r\n226 ABOR successful\r\n");
    });
    bool aborted = false;
    ftp_.OnWork = [&](TIdComponent&, TWorkMode, int32_t) {
        if (!aborted) ftp_.Abort();
        aborted = true;
    };
    TMemoryStream stream;
    ftp_.GetToStream("big", stream);
    EXPECT_TRUE(aborted);
    EXPECT_LT(stream.Size(), 8 << 20);
    EXPECT_EQ(statuses_.back(), "Transfer aborted");
    EXPECT_EQ(ftp_.DataConnection(), nullptr);
    Commands();
}

TEST_F(FtpTransfer, MissingRemoteFileLeavesAnEmptyLocalFile) {
    Serve([](FakeSession& s) {
        s.ReadCommand();
        s.Send("200 PORT ok\r\n");
        s.Expect("RETR gone.bck");
        s.Send("550 No such file\r\n");
        s.Expect("NOOP");
        s.Send("200 still here\r\n");
    });
    const std::string local = dir_ / "gone.bck";
    try {
        ftp_.Get("gone.bck", local, true, false);
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 550);
        EXPECT_EQ(e.Message(), "No such file\r\n");
    }
    EXPECT_TRUE(test::PathExists(local));
    EXPECT_EQ(test::ReadFile(local), "");
    EXPECT_EQ(ftp_.DataConnection(), nullptr);
    EXPECT_EQ(statuses_.back(), "Transfer complete");
    EXPECT_EQ(ftp_.SendCommand("NOOP", 200), 200);  // the control connection goes on
    Commands();
}

// The mended fault: a data connection from another address than the server's is dropped
// and the real one is still awaited.
TEST_F(FtpTransfer, ForeignDataConnectionIsClosedAndTheWaitGoesOn) {
    std::string intruderSaw = "not run";
    Serve([&intruderSaw](FakeSession& s) {
        const std::string port = s.ReadCommand();
        s.Send("200 PORT ok\r\n");
        s.Expect("RETR a.bck");
        s.Send("150 opening\r\n");
        {
            FakeSocket intruder = s.ConnectToPort(port, "127.0.0.2");
            intruder.Send("forged archive");
            intruderSaw = intruder.ReceiveAll();  // ends when the client closes it
        }
        FakeSocket data = s.ConnectToPort(port);
        data.Send("genuine archive");
        data.Close();
        s.Send("226 done\r\n");
    });
    TMemoryStream stream;
    ftp_.GetToStream("a.bck", stream);
    EXPECT_EQ(stream.ToString(), "genuine archive");
    EXPECT_EQ(intruderSaw, "");
    Commands();
}

TEST_F(FtpTransfer, ForeignPeerCannotFetchAnUpload) {
    std::string intruderGot = "not run", received;
    Serve([&](FakeSession& s) {
        const std::string port = s.ReadCommand();
        s.Send("200 PORT ok\r\n");
        s.Expect("STOR a.bck");
        s.Send("150 opening\r\n");
        {
            FakeSocket intruder = s.ConnectToPort(port, "127.0.0.2");
            intruderGot = intruder.ReceiveAll();
        }
        FakeSocket data = s.ConnectToPort(port);
        received = data.ReceiveAll();
        s.Send("226 done\r\n");
    });
    TMemoryStream stream;
    stream.WriteBuffer("secret data", 11);
    ftp_.PutStream(stream, "a.bck");
    Commands();
    EXPECT_EQ(intruderGot, "");
    EXPECT_EQ(received, "secret data");
}

// The mended fault: a server that never opens the data connection ends the wait.
TEST_F(FtpTransfer, ServerThatNeverConnectsTimesOut) {
    Serve([](FakeSession& s) {
        for (const char* command : {"RETR a.bck", "STOR b.bck"}) {
            s.ReadCommand();
            s.Send("200 PORT ok\r\n");
            s.Expect(command);
            s.Send("150 opening\r\n");
        }
    });
    ftp_.DataConnectionTimeout = 300;
    TMemoryStream stream;
    try {
        ftp_.GetToStream("a.bck", stream);
        FAIL() << "no error";
    } catch (const EIdFTPDataConnectionTimeout& e) {
        EXPECT_EQ(e.Message(), "The server did not open the data connection in time.");
    }
    EXPECT_EQ(ftp_.DataConnection(), nullptr);
    EXPECT_EQ(statuses_.back(), "Transfer complete");
    stream.WriteBuffer("abc", 3);
    EXPECT_THROW(ftp_.PutStream(stream, "b.bck"), EIdFTPDataConnectionTimeout);
    Commands();
}

TEST_F(FtpTransfer, ExistingLocalFileRules) {
    Serve([](FakeSession& s) {
        // Overwrite and resume both asked: the probe runs, then the refusal.
        s.Expect("REST 1");
        s.Send("350 ok\r\n");
        s.Expect("REST 0");
        s.Send("350 ok\r\n");
    });
    const std::string local = dir_ / "a";
    test::WriteFile(local, "12345");
    EXPECT_THROW(ftp_.Get("a", local, false, false), EIdFTPFileAlreadyExists);
    EXPECT_THROW(ftp_.Get("a", local, true, true), EIdFTPFileAlreadyExists);
    EXPECT_EQ(test::ReadFile(local), "12345");
    EXPECT_EQ(Commands(), (Lines{"REST 1", "REST 0"}));
}

TEST_F(FtpTransfer, ResumeAppendsToAnExistingFile) {
    Serve([](FakeSession& s) {
        s.Expect("REST 1");
        s.Send("350 ok\r\n");
        s.Expect("REST 0");
        s.Send("350 ok\r\n");
        const std::string port = s.ReadCommand();
        s.Send("200 PORT ok\r\n");
        s.Expect("REST 5");
        s.Send("350 restarting\r\n");
        s.Expect("RETR a");
        s.Send("150 opening\r\n");
        FakeSocket data = s.ConnectToPort(port);
        data.Send("6789");
        data.Close();
        s.Send("226 done\r\n");
    });
    const std::string local = dir_ / "a";
    test::WriteFile(local, "12345");
    ftp_.Get("a", local, false, true);
    EXPECT_EQ(test::ReadFile(local), "123456789");
    Commands();
}

TEST_F(FtpTransfer, ResumeIntoANewFileProbesThenSendsRest0) {
    Serve([](FakeSession& s) {
        s.Expect("REST 1");
        s.Send("350 ok\r\n");
        s.Expect("REST 0");
        s.Send("350 ok\r\n");
        const std::string port = s.ReadCommand();
        s.Send("200 PORT ok\r\n");
        s.Expect("REST 0");
        s.Send("350 restarting\r\n");
        s.Expect("RETR a");
        s.Send("150 opening\r\n");
        FakeSocket data = s.ConnectToPort(port);
        data.Send("all");
        data.Close();
        s.Send("226 done\r\n");
    });
    ftp_.Get("a", dir_ / "new", false, true);
    EXPECT_EQ(test::ReadFile(dir_ / "new"), "all");
    Commands();
}

TEST_F(FtpTransfer, LocalFileErrorsSendNoCommand) {
    Serve([](FakeSession&) {});
    try {
        ftp_.Get("a", dir_ / "missing/dir/a", true, false);
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot create file \"" + dir_ / "missing/dir/a" + "\". ", 0), 0u) << e.Message();
    }
    try {
        ftp_.Put(dir_ / "absent", "a");
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot open file \"" + dir_ / "absent" + "\". ", 0), 0u) << e.Message();
    }
    EXPECT_TRUE(Commands().empty());
}

TEST_F(FtpTransfer, StoreCommandsOfPutStream) {
    std::string appended, unique;
    Serve([&](FakeSession& s) {
        ActiveTransfer(s, "APPE log", "", &appended);
        ActiveTransfer(s, "STOU ", "", &unique);
    });
    TMemoryStream stream;
    stream.WriteBuffer("0123456789", 10);
    stream.SetPosition(6);
    ftp_.PutStream(stream, "log", true);
    stream.SetPosition(6);
    ftp_.PutStream(stream, "", false);
    Commands();
    EXPECT_EQ(appended, "6789");
    EXPECT_EQ(unique, "0123456789");
}

TEST_F(FtpTransfer, PortCommandFields) {
    Serve([](FakeSession& s) {
        for (int i = 0; i < 3; ++i) {
            s.ReadCommand();
            s.Send("200 ok\r\n");
        }
    });
    TIdSocketHandle binding;
    binding.IP = "10.0.0.5";
    for (int32_t port : {513, 255, 256}) {
        binding.Port = port;
        ftp_.SendPort(binding);
    }
    EXPECT_EQ(Commands(), (Lines{"PORT 10,0,0,5,2,1", "PORT 10,0,0,5,0,255", "PORT 10,0,0,5,1,0"}));
}

struct PasvCase {
    std::string reply;
    std::string host;
    int32_t port;
    std::string error;  // conversion error text, when the reply is unusable
};

class FtpPasvReply : public FtpTransfer, public ::testing::WithParamInterface<PasvCase> {};

TEST_P(FtpPasvReply, HostAndPort) {
    const auto& c = GetParam();
    Serve([&c](FakeSession& s) {
        s.Expect("PASV");
        s.Send(c.reply + "\r\n");
    });
    std::string host;
    int32_t port = 0;
    if (c.error.empty()) {
        ftp_.SendPassive(host, port);
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    } else {
        try {
            ftp_.SendPassive(host, port);
            FAIL() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), c.error);
        }
    }
    Commands();
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FtpPasvReply,
    ::testing::Values(PasvCase{"227 Entering Passive Mode (10,0,0,7,2,1)", "10.0.0.7", 513, ""},
                      PasvCase{"227 Entering Passive Mode 10,0,0,7,2,1", "10.0.0.7", 513, ""},
                      PasvCase{"227 Entering Passive Mode (10,0,0,7,2,1).", "10.0.0.7", 513, ""},
                      PasvCase{"227 =127,0,0,1,255,255", "=127.0.0.1", 65535, ""},
                      PasvCase{"227 Entering Passive Mode (10,0,0,7,x,1)", "", 0, "'x' is not a valid integer value"},
                      PasvCase{"227 Entering Passive Mode (1,2,3)", "", 0, "'' is not a valid integer value"},
                      PasvCase{"227 ok", "", 0, "'' is not a valid integer value"}));

// The mended fault: the passive data connection goes to the control connection's peer, whatever
// address the PASV reply names; the orders differ between retrieval and storage.
class FtpPassiveTarget : public FtpTransfer, public ::testing::WithParamInterface<std::string> {};

TEST_P(FtpPassiveTarget, ConnectsToTheControlPeer) {
    const std::string named = GetParam();
    std::string stored;
    Serve([&](FakeSession& s) {
        s.Expect("PASV");
        int port = s.ListenPassive();
        s.Send("227 Entering Passive Mode (" + named + "," + std::to_string(port / 256) + "," +
               std::to_string(port % 256) + ")\r\n");
        FakeSocket data = s.AcceptPassive();  // before RETR: the retrieval connects first
        ASSERT_TRUE(data.Valid());
        s.Expect("RETR a");
        s.Send("150 here\r\n");
        data.Send("passive bytes");
        data.Close();
        s.Send("226 done\r\n");

        s.Expect("PASV");
        port = s.ListenPassive();
        s.Send("227 Entering Passive Mode (" + named + "," + std::to_string(port / 256) + "," +
               std::to_string(port % 256) + ")\r\n");
        s.Expect("STOR b");  // the storage sends its command first
        FakeSocket up = s.AcceptPassive();
        ASSERT_TRUE(up.Valid());
        s.Send("150 go\r\n");
        stored = up.ReceiveAll();
        s.Send("226 done\r\n");
    });
    ftp_.Passive = true;
    TMemoryStream stream;
    ftp_.GetToStream("a", stream);
    EXPECT_EQ(stream.ToString(), "passive bytes");
    ftp_.PutStream(stream, "b");
    Commands();
    EXPECT_EQ(stored, "passive bytes");
    EXPECT_EQ(statuses_, (Lines{"Connection established", "Starting FTP transfer", "Transfer complete",
                                "Starting FTP transfer", "Transfer complete"}));
}

INSTANTIATE_TEST_SUITE_P(NamedHosts, FtpPassiveTarget,
                         ::testing::Values("127,0,0,1", "127,0,0,3", "0,0,0,0", "10,0,0,7", "192,0,2,1"));

// The passive retry: a refused PORT, or a server that accepts the command but never connects
// back, ends in the same transfer over PASV on the same control connection.
struct FallbackCase {
    const char* name;
    bool store;
    bool portRefused;
};

class FtpPassiveFallback : public FtpTransfer, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(FtpPassiveFallback, RetriesTheTransferPassively) {
    const auto& c = GetParam();
    const std::string payload = test::RandomBytes(70000, 3);
    const std::string command = c.store ? "STOR a.bck" : "RETR a.bck";
    std::string stored;
    Serve([&](FakeSession& s) {
        const std::string port = s.ReadCommand();
        EXPECT_EQ(port.rfind("PORT ", 0), 0u) << "the first try stays active";
        if (c.portRefused) {
            s.Send("501 rejected data connection to foreign address\r\n");
        } else {
            s.Send("200 PORT ok\r\n");
            s.Expect(command);
            s.Send("150 opening data connection\r\n");
            s.Expect("ABOR");
            s.Send("425 cannot open data connection\r\n225 no transfer to abort\r\n");
        }
        s.Expect("PASV");
        const int p = s.ListenPassive();
        s.Send("227 Entering Passive Mode (127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256) +
               ")\r\n");
        if (c.store) {
            s.Expect(command);
            FakeSocket data = s.AcceptPassive();
            s.Send("150 go\r\n");
            stored = data.ReceiveAll();
        } else {
            FakeSocket data = s.AcceptPassive();
            s.Expect(command);
            s.Send("150 here\r\n");
            data.Send(payload);
        }
        s.Send("226 done\r\n");
    });
    ftp_.PassiveFallback = true;
    ftp_.DataConnectionTimeout = 300;
    TMemoryStream stream;
    if (c.store) {
        stream.WriteBuffer(payload.data(), static_cast<int32_t>(payload.size()));
        ftp_.PutStream(stream, "a.bck");
    } else {
        ftp_.GetToStream("a.bck", stream);
        EXPECT_EQ(stream.ToString(), payload);
    }
    EXPECT_TRUE(ftp_.IsConnected());
    EXPECT_FALSE(ftp_.Passive) << "the next transfer tries active again";
    Commands();
    if (c.store) {
        EXPECT_EQ(stored, payload);
    }
    // One transfer as far as the progress is concerned.
    ASSERT_FALSE(work_.empty());
    EXPECT_EQ(std::count_if(work_.begin(), work_.end(), [](const WorkEvent& w) { return w.kind == "begin"; }), 1);
    EXPECT_EQ(statuses_, (Lines{"Connection established", "Starting FTP transfer", "Transfer complete"}));
}

INSTANTIATE_TEST_SUITE_P(Shapes, FtpPassiveFallback,
                         ::testing::Values(FallbackCase{"store_port_refused", true, true},
                                           FallbackCase{"store_no_connect_back", true, false},
                                           FallbackCase{"retrieve_port_refused", false, true},
                                           FallbackCase{"retrieve_no_connect_back", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtpTransfer, WithoutTheFallbackARefusedPortIsTheReplyError) {
    Serve([](FakeSession& s) {
        s.ReadCommand();
        s.Send("500 no\r\n");
    });
    TMemoryStream stream;
    try {
        ftp_.GetToStream("a", stream);
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 500);
    }
    EXPECT_EQ(Commands().size(), 1u);
}

}  // namespace
}  // namespace nb
