// The request as built and the decoder, on crafted bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net/icmp/IdIcmpClient.h"
#include "platform/Clock.h"

namespace nb {
namespace {

using Bytes = std::vector<uint8_t>;

void PutWord(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// An IPv4 header of ihl words from source with ttl, then an ICMP header of type carrying seq.
Bytes Datagram(int ihl, uint8_t type, uint16_t seq, const uint8_t source[4], uint8_t ttl = 57) {
    Bytes b(static_cast<size_t>(4 * ihl + 8), 0);
    b[0] = static_cast<uint8_t>(0x40 | ihl);
    b[8] = ttl;
    std::memcpy(&b[12], source, 4);
    b[4 * ihl] = type;
    PutWord(b, 4 * ihl + 6, seq);
    return b;
}

// An error message of type quoting a request with seq behind a quoted header of quotedIhl words.
Bytes ErrorDatagram(int ihl, uint8_t type, int quotedIhl, uint16_t seq, const uint8_t source[4]) {
    Bytes b = Datagram(ihl, type, 0, source);
    Bytes quoted = Datagram(quotedIhl, 8, seq, source);
    b.insert(b.end(), quoted.begin(), quoted.end());
    return b;
}

const uint8_t Peer[4] = {10, 1, 2, 3};
const uint8_t Router[4] = {192, 0, 2, 254};

struct DecodeCase {
    const char* Name;
    Bytes Datagram;
    int Count;  // -1: the whole datagram
    bool Matches;
    TReplyStatusTypes Outcome;
    const char* Source;  // "" when the record keeps its empty address
};

class DecodeReplyTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeReplyTest, FillsTheRecordOnlyOnAMatch) {
    const DecodeCase& c = GetParam();
    TIdIcmpClient client;
    std::memset(client.ReceiveBuffer(), 0, TIdIcmpClient::ReceiveBufferSize);
    std::memcpy(client.ReceiveBuffer(), c.Datagram.data(), c.Datagram.size());
    const int count = c.Count < 0 ? static_cast<int>(c.Datagram.size()) : c.Count;
    TReplyStatus record;
    EXPECT_EQ(client.DecodeReply(count, record), c.Matches);
    EXPECT_EQ(record.Outcome, c.Outcome);
    EXPECT_EQ(record.SourceAddress, c.Source);
    const int ihl = 4 * (c.Datagram[0] & 0x0F);
    if (c.Matches) {
        EXPECT_EQ(record.ReceivedBytes, count);
        EXPECT_EQ(record.MessageType, c.Datagram[ihl]);
        EXPECT_EQ(record.SequenceNumber, 3489);
        EXPECT_EQ(record.ReplyTtl, c.Datagram[8]);
    } else {
        EXPECT_EQ(record.ReceivedBytes, 0);
        EXPECT_EQ(record.MessageType, 0);
        EXPECT_EQ(record.SequenceNumber, 0);
        EXPECT_EQ(record.ReplyTtl, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, DecodeReplyTest,
    ::testing::Values(
        DecodeCase{"EchoReply", Datagram(5, 0, 3489, Peer), -1, true, ReplyOk, "10.1.2.3"},
        DecodeCase{"OwnRequestHeard", Datagram(5, 8, 3489, Peer), -1, true, ReplyOk, "10.1.2.3"},
        DecodeCase{"HeaderWithOptions", Datagram(6, 0, 3489, Peer), -1, true, ReplyOk, "10.1.2.3"},
        DecodeCase{"LongestHeader", Datagram(15, 0, 3489, Peer), -1, true, ReplyOk, "10.1.2.3"},
        DecodeCase{"Unreachable", ErrorDatagram(5, 3, 5, 3489, Router), -1, true, ReplyUnreachable, "192.0.2.254"},
        DecodeCase{"TimeExceeded", ErrorDatagram(5, 11, 5, 3489, Router), -1, true, ReplyTtlExpired, "192.0.2.254"},
        // The quoted header is taken to be as long as the outer one.
        DecodeCase{"QuoteBehindOptions", ErrorDatagram(6, 3, 6, 3489, Router), -1, true, ReplyUnreachable,
                   "192.0.2.254"},
        DecodeCase{"OtherSequence", Datagram(5, 0, 3490, Peer), -1, false, ReplyOk, ""},
        DecodeCase{"UnreachableForOtherRequest", ErrorDatagram(5, 3, 5, 3488, Router), -1, false, ReplyUnreachable, ""},
        DecodeCase{"TimeExceededForOtherRequest", ErrorDatagram(5, 11, 5, 3490, Router), -1, false, ReplyTtlExpired,
                   ""},
        // Cut before the quoted sequence: the bytes after the count are not the datagram's.
        DecodeCase{"QuoteCutShort", ErrorDatagram(5, 3, 5, 3489, Router), 28 + 20 + 6, false, ReplyUnreachable, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

struct RaiseCase {
    const char* Name;
    Bytes Datagram;
    int Count;
    const char* Message;
};

class DecodeReplyRaiseTest : public ::testing::TestWithParam<RaiseCase> {};

TEST_P(DecodeReplyRaiseTest, RaisesWithTheOutcomeLeftAtError) {
    const RaiseCase& c = GetParam();
    TIdIcmpClient client;
    std::memcpy(client.ReceiveBuffer(), c.Datagram.data(), c.Datagram.size());
    TReplyStatus record;
    record.Outcome = ReplyTimeout;
    try {
        client.DecodeReply(c.Count < 0 ? static_cast<int>(c.Datagram.size()) : c.Count, record);
        FAIL() << "no exception";
    } catch (const EIdIcmpException& e) {
        EXPECT_EQ(e.Message(), c.Message);
    }
    EXPECT_EQ(record.Outcome, ReplyError);
    EXPECT_EQ(record.SourceAddress, "");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, DecodeReplyRaiseTest,
    ::testing::Values(RaiseCase{"Redirect", Datagram(5, 5, 3489, Peer), -1, "Non-echo type response received"},
                      RaiseCase{"SourceQuench", Datagram(5, 4, 3489, Peer), -1, "Non-echo type response received"},
                      RaiseCase{"Timestamp", Datagram(5, 13, 3489, Peer), -1, "Non-echo type response received"},
                      RaiseCase{"Type255", Datagram(5, 255, 3489, Peer), -1, "Non-echo type response received"},
                      RaiseCase{"OneByte", Datagram(5, 0, 3489, Peer), 1, "Not enough bytes received"},
                      RaiseCase{"HeaderPlusSeven", Datagram(5, 0, 3489, Peer), 27, "Not enough bytes received"},
                      RaiseCase{"OptionsPlusSeven", Datagram(15, 0, 3489, Peer), 67, "Not enough bytes received"},
                      // Found by fuzzing: a header length below an IPv4 header's minimum.
                      RaiseCase{"HeaderLengthZero", Bytes{0, 0, 0, 0, 0, 0, 0xA1, 0x0D}, -1,
                                "Not enough bytes received"},
                      RaiseCase{"HeaderLengthTwoWords", Bytes{0x42, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA1, 0x0D},
                                -1, "Not enough bytes received"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(DecodeReplyTimeout, NothingReceivedIsATimeoutForTheCurrentSequence) {
    TIdIcmpClient client;
    client.SequenceCounter = 777;
    TReplyStatus record;
    record.SourceAddress = "1.2.3.4";
    record.ReceivedBytes = 9;
    EXPECT_TRUE(client.DecodeReply(0, record));
    EXPECT_EQ(record.ReceivedBytes, 0);
    EXPECT_EQ(record.SourceAddress, "0.0.0.0");
    EXPECT_EQ(record.MessageType, 0);
    EXPECT_EQ(record.SequenceNumber, 777);
    EXPECT_EQ(record.ReplyTtl, 0);
    EXPECT_EQ(record.Outcome, ReplyTimeout);
}

uint16_t WordAt(const uint8_t* p, int at) { return static_cast<uint16_t>(p[at] | (p[at + 1] << 8)); }

TEST(BuildRequest, FirstRequestOfANewComponent) {
    TIdIcmpClient client;
    EXPECT_EQ(client.SequenceCounter, 3489);
    const uint32_t before = TickCount();
    client.BuildRequest("");
    const uint32_t after = TickCount();
    const uint8_t* r = client.Request();
    EXPECT_EQ(r[0], 8);
    EXPECT_EQ(r[1], 0);
    EXPECT_EQ(WordAt(r, 4), static_cast<uint16_t>(CurrentProcessId()));
    EXPECT_EQ(r[6], 0xA1);
    EXPECT_EQ(r[7], 0x0D);
    const uint32_t tick = WordAt(r, 8) | (static_cast<uint32_t>(WordAt(r, 10)) << 16);
    EXPECT_LE(TIdIcmpClient::TickDiff(before, tick), TIdIcmpClient::TickDiff(before, after));
    for (int i = 12; i < 20; ++i) EXPECT_EQ(r[i], 0) << i;
    for (int i = 20; i < 52; ++i) EXPECT_EQ(r[i], 'E') << i;
    // A correct checksum makes the sum over the whole request come out as zero.
    EXPECT_EQ(TIdIcmpClient::ComputeChecksum(r, 52), 0);
}

TEST(BuildRequest, DataIsCutAtThirtyTwoBytesAndFilledWithE) {
    struct Case {
        std::string Data, Expected;
    } cases[] = {
        {"", std::string(32, 'E')},
        {"abc", "abc" + std::string(29, 'E')},
        {std::string(32, 'x'), std::string(32, 'x')},
        {std::string(31, 'y') + "z0123", std::string(31, 'y') + "z"},
    };
    TIdIcmpClient client;
    for (const auto& c : cases) {
        client.BuildRequest(c.Data);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(client.Request()) + 20, 32), c.Expected);
        EXPECT_EQ(TIdIcmpClient::ComputeChecksum(client.Request(), 52), 0);
    }
}

TEST(ComputeChecksum, KnownBytes) {
    struct Case {
        Bytes Data;
        uint16_t Expected;  // as stored little-endian
    } cases[] = {
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x0D22},  // the classic example, 22 0D on the wire
        {{0x00, 0x00}, 0xFFFF},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0x0000},
        // The first fold carries again; only the second fold brings that carry in.
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00}, 0xFFFE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TIdIcmpClient::ComputeChecksum(c.Data.data(), static_cast<int>(c.Data.size())), c.Expected);
}

TEST(TickDiff, CountsAcrossTheWrap) {
    EXPECT_EQ(TIdIcmpClient::TickDiff(100, 350), 250u);
    EXPECT_EQ(TIdIcmpClient::TickDiff(7, 7), 0u);
    EXPECT_EQ(TIdIcmpClient::TickDiff(4294967290u, 5), 10u);
}

TEST(IcmpClientDefaults, ProtocolTimeoutTtlAndPort) {
    TIdIcmpClient client;
    EXPECT_EQ(client.Protocol, 1);
    EXPECT_EQ(client.ReceiveTimeout, 5000);
    EXPECT_EQ(client.Ttl, 128);
    EXPECT_EQ(client.Port, 0);
    EXPECT_FALSE(client.RawSocketHandle().Allocated);
    TIdRawClient raw;
    EXPECT_EQ(raw.Protocol, 255);
    EXPECT_EQ(raw.ReceiveTimeout, 0);
}

}  // namespace
}  // namespace nb
