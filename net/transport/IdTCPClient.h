#pragma once
// A TCP connection that makes its own outbound connect.
#include <cstdint>
#include <functional>
#include <string>

#include "net/transport/IdTCPConnection.h"

namespace nb {

class TIdTCPClient : public TIdTCPConnection {
public:
    std::string Host;
    int32_t Port = 0;
    std::string BoundIP;
    int32_t BoundPort = 0;
    int32_t BoundPortLow = 0;
    int32_t BoundPortHigh = 0;
    std::function<void(TIdTCPClient& Sender)> OnConnected;

    // -1: the platform's own blocking connect; a positive value bounds it (socket error 10060).
    virtual void Connect(int32_t timeout = -1);
    virtual void NotifyConnected();
};

}  // namespace nb
