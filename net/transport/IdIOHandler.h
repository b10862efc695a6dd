#pragma once
// The abstract transport under a TCP connection.
#include <cstdint>
#include <functional>
#include <string>

#include "net/transport/IdComponent.h"
#include "net/transport/IdDeadline.h"
#include "net/transport/IdStack.h"
#include "net/transport/IdTLS.h"

namespace nb {

class TIdIOHandler : public TIdComponent {
public:
    ~TIdIOHandler() override;

    bool Opened = false;
    // Set by the connection that uses the transport, so that it forgets a transport destroyed
    // before it.
    std::function<void(TIdIOHandler& Sender)> OnDestroying;

    virtual void Close() { Opened = false; }
    virtual void ConnectTo(const std::string& host, int32_t port, const std::string& boundIP, int32_t boundPort,
                           int32_t boundPortMin, int32_t boundPortMax, int32_t timeout);
    virtual bool IsOpen() { return Opened; }
    virtual void Open() { Opened = true; }
    virtual bool WaitReadable(int32_t milliseconds) = 0;
    virtual int32_t Receive(void* buffer, int32_t length) = 0;
    virtual int32_t Send(const void* buffer, int32_t length) = 0;
    // Each chunk as a send of its own, answered as SendChunksInTurn; this one makes one Send per
    // chunk, a transport that can hand several to the platform at once does so.
    virtual int32_t SendMany(TIdSendChunk* chunks, int32_t count);
    // Bounds the waits of every send that follows, TLS records included, by one deadline; a
    // transport without a socket ignores it.
    virtual void SetSendDeadline(const TIdDeadline&) {}
    // From now on every byte goes through a TLS session whose handshake runs here (bounded by
    // timeoutMs, 0: none); a transport that cannot carry one raises EIdTLSError.
    virtual void StartTLS(TIdTLSContext& context, const std::string& hostName, TIdTLSRole role, int32_t timeoutMs);
};

}  // namespace nb
