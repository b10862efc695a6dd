// The reply record's rules, and reading and checking replies on a real connection.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/transport/IdRFCReply.h"
#include "net/transport/IdTCPClient.h"
#include "tests/net/ftp/FakeFtpServer.h"

namespace nb {
namespace {

using Lines = std::vector<std::string>;

TEST(RFCReplyRecord, CodesFollowEachOther) {
    TIdRFCReply r;
    EXPECT_EQ(r.NumericCode(), 0);
    EXPECT_EQ(r.TextCode(), "");
    r.SetNumericCode(331);
    EXPECT_EQ(r.TextCode(), "331");
    r.SetNumericCode(0);  // 0 or less leaves the text
    EXPECT_EQ(r.NumericCode(), 0);
    EXPECT_EQ(r.TextCode(), "331");
    r.SetNumericCode(-4);
    EXPECT_EQ(r.TextCode(), "331");
    r.SetTextCode("250");
    EXPECT_EQ(r.NumericCode(), 250);
    r.SetTextCode("");  // empty leaves the number
    EXPECT_EQ(r.NumericCode(), 250);
    EXPECT_EQ(r.TextCode(), "");
    r.SetTextCode("abc");
    EXPECT_EQ(r.NumericCode(), 0);
    r.SetTextCode("+-5");
    EXPECT_EQ(r.NumericCode(), 0);
    r.SetTextCode("99999999999");
    EXPECT_EQ(r.NumericCode(), 0);
}

TEST(RFCReplyRecord, AssignClearAndDisplayName) {
    TIdRFCReply source;
    source.ParseReply({"230-Welcome", "230 Logged in"});
    TIdRFCReply target;
    target.ParseReply({"500 old", "x", "y"});
    target.Assign(source);
    EXPECT_EQ(target.NumericCode(), 230);
    EXPECT_EQ(target.TextCode(), "230");
    EXPECT_EQ(target.Text(), (Lines{"Welcome", "Logged in"}));
    EXPECT_EQ(target.DisplayName(), "230 Welcome");
    target.Assign(target);
    EXPECT_EQ(target.Text().size(), 2u);

    TIdRFCReply odd;
    odd.ParseReply({"abc text"});
    target.Assign(odd);
    EXPECT_EQ(target.TextCode(), "abc");
    EXPECT_EQ(target.NumericCode(), 0);

    target.Clear();
    EXPECT_EQ(target.NumericCode(), 0);
    EXPECT_TRUE(target.Text().empty());
    EXPECT_EQ(target.DisplayName(), "");
    target.SetTextCode("220");
    EXPECT_EQ(target.DisplayName(), "220");
}

struct ParseCase {
    Lines lines;
    int32_t code;
    std::string textCode;
    Lines text;
};

class RFCReplyParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RFCReplyParse, FillsTheRecord) {
    TIdRFCReply r;
    r.ParseReply({"999 previous"});
    r.ParseReply(GetParam().lines);
    EXPECT_EQ(r.NumericCode(), GetParam().code);
    EXPECT_EQ(r.TextCode(), GetParam().textCode);
    EXPECT_EQ(r.Text(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RFCReplyParse,
    ::testing::Values(
        ParseCase{{"220 Service ready"}, 220, "220", {"Service ready"}},
        ParseCase{
            {"230-Welcome", "230-Second line", "230 Logged in"}, 230, "230", {"Welcome", "Second line", "Logged in"}},
        ParseCase{{"230-Welcome", "Hello world", "230 x"}, 230, "230", {"Welcome", "o world", "x"}},
        ParseCase{{"abc text"}, 0, "abc", {"text"}}, ParseCase{{"220"}, 220, "220", {""}},
        ParseCase{{"220-"}, 220, "220", {""}}, ParseCase{{" 22 x"}, 22, "22", {"x"}}, ParseCase{{}, 0, "", {}}));

// Reads replies that a fake server sends as raw bytes.
class RFCReplyRead : public ::testing::Test {
protected:
    // The server sends raw, then closes (closeAfter) or waits for the client to close.
    void Serve(const std::string& raw, bool closeAfter = false) {
        server_ = std::make_unique<test::FakeFtpServer>([raw, closeAfter](test::FakeSession& s) {
            s.Send(raw);
            if (!closeAfter) s.ClientClosed();
        });
        client_.Host = "127.0.0.1";
        client_.Port = server_->Port();
        client_.Connect();
    }
    void TearDown() override {
        client_.Disconnect();
        if (server_) server_->Finish();
    }

    std::unique_ptr<test::FakeFtpServer> server_;
    TIdTCPClient client_;
};

TEST_F(RFCReplyRead, MultiLineRepliesEndAtTheirMarker) {
    Serve(
        "\r\n   \r\n220-first\r\n\r\n220-still going\r\nno code here\r\n220 last\r\n"
        "230-Welcome\r\n230-Second line\r\nab\r\n"
        "211-Features\r\n211 end\r\n"
        "abc-x\r\nABC y\r\n"
        "500-a\r\n500-b\r\n500 c\r\n");
    EXPECT_EQ(client_.ReadReply({}), 220);
    EXPECT_EQ(client_.LastReply().Text(), (Lines{"first", "still going", "ode here", "last"}));
    // A line shorter than four characters ends the reply and belongs to it.
    EXPECT_EQ(client_.ReadReply({}), 230);
    EXPECT_EQ(client_.LastReply().Text(), (Lines{"Welcome", "Second line", ""}));
    EXPECT_EQ(client_.ReadReply({}), 211);
    EXPECT_EQ(client_.LastReply().Text(), (Lines{"Features", "end"}));
    EXPECT_EQ(client_.ReadReply({}), 0);  // a letter code ends on its own marker, in any case
    EXPECT_EQ(client_.LastReply().Text(), (Lines{"x", "y"}));
    EXPECT_EQ(client_.ReadReply({}), 500);
    EXPECT_EQ(client_.LastReply().Text(), (Lines{"a", "b", "c"}));
}

TEST_F(RFCReplyRead, RejectedCodeRaisesWithTheReplyText) {
    Serve("504 Not implemented\r\n250-one\r\n250 two\r\n226 done\r\n");
    try {
        client_.ReadReply({200});
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 504);
        EXPECT_EQ(e.Message(), "Not implemented\r\n");
    }
    EXPECT_EQ(client_.LastReply().NumericCode(), 504);
    try {
        client_.ReadReply({200, 226});
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 250);
        EXPECT_EQ(e.Message(), "one\r\ntwo\r\n");
    }
    EXPECT_TRUE(client_.IsConnected());
    EXPECT_EQ(client_.ReadReply({200, 226}), 226);
}

TEST_F(RFCReplyRead, ReplyCutByACloseKeepsThePreviousOne) {
    Serve("200 ok\r\n230-partial\r\n", true);
    client_.ReadReply({});
    EXPECT_THROW(client_.ReadReply({}), EIdConnClosedGracefully);
    EXPECT_EQ(client_.LastReply().NumericCode(), 200);
    EXPECT_EQ(client_.LastReply().Text(), (Lines{"ok"}));
}

// A reply without end must not hold the client's memory or its caller for as long as the server
// (or anyone on the path before TLS) likes: past 500 lines, 64 KiB (blank lines included) or the
// read time-out for the whole of it, the reply fails and the connection closes.
struct EndlessReply {
    const char* Name;
    std::string Line;  // sent again and again until the client is gone
    int PauseMs;       // between two lines
    std::string Message;
};

class RFCReplyEndless : public ::testing::TestWithParam<EndlessReply> {};

TEST_P(RFCReplyEndless, FailsAtItsBoundAndCloses) {
    const EndlessReply& c = GetParam();
    test::FakeFtpServer server([&c](test::FakeSession& s) {
        while (s.Send(c.Line))
            if (c.PauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(c.PauseMs));
    });
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.ReadTimeout = 600;  // each line comes well within it
    client.Connect();
    try {
        client.ReadReply({220});
        FAIL() << "an endless reply ended";
    } catch (const EIdReplyTooLong& e) {
        EXPECT_EQ(e.Message(), c.Message);
    }
    EXPECT_FALSE(client.IsConnected());
    EXPECT_LT(client.Incoming.StorageSize(), size_t{64} << 10) << "what was read stays in the queue";
    server.Finish();
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RFCReplyEndless,
    ::testing::Values(EndlessReply{"ShortLines", "220-x\r\n", 0, "The server's reply did not end within 500 lines."},
                      EndlessReply{"LongLines", "220-" + std::string(4000, 'x') + "\r\n", 0,
                                   "The server's reply did not end within 65536 bytes."},
                      EndlessReply{"BlankLines", std::string(1000, ' ') + "\r\n", 0,
                                   "The server's reply did not end within 65536 bytes."},
                      EndlessReply{"Trickle", "220-slow\r\n", 25, "The server's reply did not end within 600 ms."}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(RFCReplyRead, LongBannerWithinTheBoundsIsReadWhole) {
    std::string banner;
    for (int i = 0; i < 498; ++i) banner += "220-" + std::string(100, static_cast<char>('a' + i % 26)) + "\r\n";
    Serve(banner + "220 ready\r\n");
    EXPECT_EQ(client_.ReadReply({220}), 220);
    EXPECT_EQ(client_.LastReply().Text().size(), 499u);
    EXPECT_EQ(client_.LastReply().Text().back(), "ready");
}

TEST(RFCReplyCommand, SendCommandWritesOneLineAndChecksTheCode) {
    test::FakeFtpServer server([](test::FakeSession& s) {
        s.Expect("TYPE I");
        s.Send("504 Not implemented\r\n");
        s.Expect("NOOP");
        s.Send("421 going away\r\n");
        s.Expect("STAT");
        s.Send("211 fine\r\n");
        s.ClientClosed();
    });
    TIdTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.Connect();
    try {
        client.SendCommand("TYPE I", 200);
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 504);
        EXPECT_EQ(e.Message(), "Not implemented\r\n");
    }
    EXPECT_EQ(client.SendCommand("NOOP", -1), 421);
    EXPECT_EQ(client.SendCommand("STAT", std::vector<int16_t>{100, 211}), 211);
    client.Disconnect();
    server.Finish();
}

TEST(RFCReplyCommand, CheckReplyAcceptsListedCodesOnly) {
    TIdTCPClient client;
    EXPECT_EQ(client.CheckReply(550, {}), 550);
    EXPECT_EQ(client.CheckReply(226, {225, 226}), 226);
    client.LastReply().ParseReply({"550 No such file"});
    EXPECT_THROW(client.CheckReply(550, {226}), EIdProtocolReplyError);
}

}  // namespace
}  // namespace nb
