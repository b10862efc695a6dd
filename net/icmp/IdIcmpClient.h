#pragma once
// One ICMP echo over a raw IPv4 socket, and the decoding of what answers it.
#include <cstdint>
#include <functional>
#include <string>

#include "net/icmp/IdRawBase.h"
#include "net/transport/IdException.h"

namespace nb {

enum TReplyStatusTypes : uint8_t {
    ReplyOk = 0,
    ReplyError = 1,
    ReplyTimeout = 2,
    ReplyUnreachable = 3,
    ReplyTtlExpired = 4
};

struct TReplyStatus {
    int32_t ReceivedBytes = 0;
    std::string SourceAddress;
    uint8_t MessageType = 0;
    uint16_t SequenceNumber = 0;
    uint32_t RoundTripMs = 0;
    uint8_t ReplyTtl = 0;
    TReplyStatusTypes Outcome = ReplyOk;
};

class EIdIcmpException : public EIdException {
    using EIdException::EIdException;
};

class TIdIcmpClient;
using TOnReplyEvent = std::function<void(TIdIcmpClient& ASender, const TReplyStatus& AReplyStatus)>;

class TIdIcmpClient : public TIdRawClient {
public:
    static constexpr int RequestSize = 52;
    static constexpr int ReceiveBufferSize = 1024;

    TIdIcmpClient();

    uint16_t SequenceCounter = 3489;
    TReplyStatus ReplyStatus;
    TOnReplyEvent OnReply;

    void SendEcho(const std::string& data = "", uint16_t sequence = 0);

    // Exposed for tests: the request as built, and the decoder over a received datagram.
    void BuildRequest(const std::string& data);
    const uint8_t* Request() const { return request_; }
    uint8_t* ReceiveBuffer() { return receive_; }
    bool DecodeReply(int32_t count, TReplyStatus& record);
    void WaitForReply(int32_t timeout, TReplyStatus& record);

    static uint16_t ComputeChecksum(const uint8_t* data, int length);
    static uint32_t ElapsedTick();
    static uint32_t TickDiff(uint32_t oldTick, uint32_t newTick);

private:
    uint8_t request_[RequestSize] = {};
    uint8_t receive_[ReceiveBufferSize] = {};
};

}  // namespace nb
