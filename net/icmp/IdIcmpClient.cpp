#include "net/icmp/IdIcmpClient.h"

#include <algorithm>
#include <cstring>

#include "platform/Clock.h"

namespace nb {

namespace {

constexpr int MinIPv4HeaderSize = 20;

constexpr uint8_t IcmpEchoReply = 0;
constexpr uint8_t IcmpUnreachable = 3;
constexpr uint8_t IcmpEchoRequest = 8;
constexpr uint8_t IcmpTimeExceeded = 11;
constexpr int IcmpHeaderSize = 8;
constexpr int DataOffset = 20;
constexpr int DataSize = TIdIcmpClient::RequestSize - DataOffset;

// Fields travel in the processor's (little-endian) order, both ways.
void PutWord(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

uint16_t GetWord(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

std::string DottedText(const uint8_t* at) {
    TIdIPv4Bytes address;
    std::memcpy(address.Bytes, at, 4);
    return SharedStack()->AddressToText(address);
}

}  // namespace

TIdIcmpClient::TIdIcmpClient() {
    Protocol = Id_IPPROTO_ICMP;
    ReceiveTimeout = 5000;
}

uint32_t TIdIcmpClient::ElapsedTick() { return TickCount(); }

uint32_t TIdIcmpClient::TickDiff(uint32_t oldTick, uint32_t newTick) {
    return newTick >= oldTick ? newTick - oldTick : (4294967295u - oldTick) + newTick;
}

uint16_t TIdIcmpClient::ComputeChecksum(const uint8_t* data, int length) {
    uint32_t sum = 0;
    int i = 0;
    for (; i + 1 < length; i += 2) sum += GetWord(data + i);
    if (i < length) sum += data[i];
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum);
}

void TIdIcmpClient::BuildRequest(const std::string& data) {
    std::memset(request_, 0, sizeof request_);
    request_[0] = IcmpEchoRequest;
    request_[1] = 0;
    // A kernel ping socket replaces the identifier with its own; nothing matches on it.
    PutWord(request_ + 4, static_cast<uint16_t>(CurrentProcessId()));
    PutWord(request_ + 6, SequenceCounter);
    uint32_t tick = ElapsedTick();
    PutWord(request_ + 8, static_cast<uint16_t>(tick));
    PutWord(request_ + 10, static_cast<uint16_t>(tick >> 16));
    size_t used = data.size() < static_cast<size_t>(DataSize) ? data.size() : static_cast<size_t>(DataSize);
    std::memcpy(request_ + DataOffset, data.data(), used);
    std::memset(request_ + DataOffset + used, 'E', DataSize - used);
    PutWord(request_ + 2, ComputeChecksum(request_, RequestSize));
}

void TIdIcmpClient::SendEcho(const std::string& data, uint16_t sequence) {
    if (sequence != 0) SequenceCounter = sequence;
    BuildRequest(data);
    uint32_t start = ElapsedTick();
    std::string address = SharedStack()->HostToAddress(Host);
    bool sent = true;
    try {
        RawSocket().SendToAddress(address, Port, request_, RequestSize);
    } catch (const EIdSocketError& e) {
        // No route to the host, or no network at all: the request cannot leave, so no answer can
        // come. That is an echo without a reply, not a fault of the client.
        if (e.ErrorCode != Id_WSAENETUNREACH && e.ErrorCode != Id_WSAENETDOWN && e.ErrorCode != Id_WSAEHOSTUNREACH)
            throw;
        sent = false;
    }
    TReplyStatus record;
    if (sent)
        WaitForReply(ReceiveTimeout, record);
    else
        DecodeReply(0, record);
    ReplyStatus = record;
    ReplyStatus.RoundTripMs = TickDiff(start, ElapsedTick());
    RawSocketHandle().Release();
    if (OnReply) OnReply(*this, ReplyStatus);
    ++SequenceCounter;
}

void TIdIcmpClient::WaitForReply(int32_t timeout, TReplyStatus& record) {
    std::memset(receive_, 0, sizeof receive_);
    uint32_t start = ElapsedTick();
    int32_t remaining = timeout;
    for (;;) {
        int32_t count = 0;
        if (RawSocket().WaitReadable(remaining)) {
            count = RawSocket().ReceiveRaw(receive_, ReceiveBufferSize, 0);
            SharedStack()->CheckResult(count);
        }
        if (DecodeReply(count, record)) return;
        remaining = timeout - static_cast<int32_t>(TickDiff(start, ElapsedTick()));
        if (remaining <= 0) return;
    }
}

bool TIdIcmpClient::DecodeReply(int32_t count, TReplyStatus& record) {
    if (count == 0) {
        record.ReceivedBytes = 0;
        record.SourceAddress = "0.0.0.0";
        record.MessageType = 0;
        record.SequenceNumber = SequenceCounter;
        record.ReplyTtl = 0;
        record.Outcome = ReplyTimeout;
        return true;
    }
    // No IPv4 header is shorter than 20 bytes; a smaller length field would have the decoder
    // take the address and TTL from beyond the bytes that arrived.
    const int headerLength = std::max(MinIPv4HeaderSize, 4 * (receive_[0] & 0x0F));
    record.Outcome = ReplyError;
    if (count < headerLength + IcmpHeaderSize) throw EIdIcmpException("Not enough bytes received");
    const uint8_t type = receive_[headerLength];
    int sequenceAt = 0;
    switch (type) {
        case IcmpEchoReply:
        case IcmpEchoRequest:
            record.Outcome = ReplyOk;
            sequenceAt = headerLength + 6;
            break;
        case IcmpUnreachable:
        case IcmpTimeExceeded:
            record.Outcome = type == IcmpUnreachable ? ReplyUnreachable : ReplyTtlExpired;
            // The quoted request's header is taken to be as long as the outer one.
            sequenceAt = headerLength + IcmpHeaderSize + headerLength + 6;
            break;
        default: throw EIdIcmpException("Non-echo type response received");
    }
    // A message cut short before the quoted sequence carries none; the buffer may still hold
    // an earlier datagram's bytes there, which must not pass for this one's.
    if (sequenceAt + 2 > count) return false;
    const uint16_t found = GetWord(receive_ + sequenceAt);
    if (found != SequenceCounter) return false;
    record.ReceivedBytes = count;
    record.SourceAddress = DottedText(receive_ + 12);
    record.MessageType = type;
    record.SequenceNumber = found;
    record.ReplyTtl = receive_[8];
    return true;
}

}  // namespace nb
