#pragma once
// A connection that listens on a local port and accepts exactly one inbound connection.
#include <cstdint>
#include <string>

#include "net/transport/IdIOHandlerSocket.h"
#include "net/transport/IdTCPConnection.h"

namespace nb {

class TIdSimpleServer : public TIdTCPConnection {
public:
    TIdSimpleServer();
    ~TIdSimpleServer() override;

    std::string BoundIP;
    int32_t BoundPort = 0;
    int32_t AcceptPollInterval = 1000;
    // Only a peer from this address is accepted; others are closed at once and the wait goes
    // on (empty: any peer).
    std::string AllowedPeerIP;
    // Overall limit of WaitForPeer in milliseconds (0: none); when it runs out WaitForPeer answers false.
    int32_t AcceptTimeout = 0;

    void ResetState() override;
    virtual void RequestAbort() { abortRequested_ = true; }
    virtual void StartListening();
    virtual void BindListener();
    virtual void StopListening();
    virtual bool WaitForPeer();

    // The transport's socket handle: the listening socket until a peer is accepted, then the peer's.
    TIdSocketHandle* Binding();

private:
    void CloseListener();

    bool abortRequested_ = false;
    bool listening_ = false;
    TIdStackSocketHandle listeningSocket_ = Id_INVALID_SOCKET;
};

}  // namespace nb
