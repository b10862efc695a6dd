#pragma once
// Base of raw-socket clients: destination, protocol, time-out and TTL, and the socket itself.
#include <cstdint>
#include <string>

#include "net/transport/IdComponent.h"
#include "net/transport/IdSocketHandle.h"

namespace nb {

class TIdRawBase : public TIdComponent {
public:
    std::string Host;
    int32_t Port = 0;
    int32_t Protocol = 255;
    int32_t ReceiveTimeout = 0;
    int32_t Ttl = 128;

    // Allocated (SOCK_RAW with Protocol) on first use, with IP_TTL set before each use.
    TIdSocketHandle& RawSocket();
    TIdSocketHandle& RawSocketHandle() { return rawSocket_; }

private:
    TIdSocketHandle rawSocket_;
};

class TIdRawClient : public TIdRawBase {};

}  // namespace nb
