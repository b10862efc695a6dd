// The one-connection listener of active-mode data transfers.
#include "net/ftp/IdSimpleServer.h"

#include <algorithm>
#include <memory>

#include "platform/Clock.h"

namespace nb {

TIdSimpleServer::TIdSimpleServer() = default;

TIdSimpleServer::~TIdSimpleServer() { CloseListener(); }

TIdSocketHandle* TIdSimpleServer::Binding() {
    auto* transport = dynamic_cast<TIdIOHandlerSocket*>(IOHandler());
    return transport ? transport->SocketHandle() : nullptr;
}

// Closes the listening socket unless the binding still holds it; then the binding forgets it,
// so that its own release cannot close a descriptor number that has been reused meanwhile.
void TIdSimpleServer::CloseListener() {
    if (listeningSocket_ == Id_INVALID_SOCKET) return;
    TIdSocketHandle* binding = Binding();
    if (binding && binding->Allocated && binding->Socket == listeningSocket_) binding->ClearState(false);
    SharedStack()->ReleaseSocket(listeningSocket_);
    listeningSocket_ = Id_INVALID_SOCKET;
}

void TIdSimpleServer::ResetState() {
    TIdTCPConnection::ResetState();
    abortRequested_ = false;
    listening_ = false;
    CloseListener();
    SetOwnedIOHandler(nullptr);
}

void TIdSimpleServer::StartListening() {
    if (!Binding()) {
        ResetState();
        SetOwnedIOHandler(std::make_unique<TIdIOHandlerSocket>());
        IOHandler()->Open();
    }
    try {
        if (listeningSocket_ == Id_INVALID_SOCKET) BindListener();
        Binding()->ListenFor(15);
        listening_ = true;
    } catch (...) {
        CloseListener();
        SetOwnedIOHandler(nullptr);
        throw;
    }
}

void TIdSimpleServer::BindListener() {
    TIdSocketHandle* binding = Binding();
    try {
        binding->Allocate(Id_SOCK_STREAM, 0);
        listeningSocket_ = binding->Socket;
        binding->IP = BoundIP;
        binding->Port = BoundPort;
        binding->BindLocal();
    } catch (...) {
        // The binding still holds the socket and closes it with the transport.
        listeningSocket_ = Id_INVALID_SOCKET;
        throw;
    }
}

void TIdSimpleServer::StopListening() { ResetState(); }

bool TIdSimpleServer::WaitForPeer() {
    if (!listening_) StartListening();
    TIdSocketHandle* binding = Binding();
    const uint32_t started = TickCount();
    bool accepted = false;
    while (!abortRequested_ && !accepted) {
        int32_t wait = AcceptPollInterval;
        if (AcceptTimeout > 0) {
            const uint32_t elapsed = TickCount() - started;
            if (elapsed >= static_cast<uint32_t>(AcceptTimeout)) break;
            wait = std::min<int32_t>(wait, AcceptTimeout - static_cast<int32_t>(elapsed));
        }
        if (!binding->WaitReadable(wait)) continue;
        if (!binding->AcceptFrom(listeningSocket_)) {
            if (SharedStack()->LastErrorCode == Id_WSAENOTSOCK) break;  // the listener is gone
            binding->Socket = listeningSocket_;                         // interrupted: listen on
            binding->Allocated = true;
            continue;
        }
        if (AllowedPeerIP.empty() || binding->RemoteIP == AllowedPeerIP) {
            accepted = true;
            break;
        }
        // Someone else than the expected server: drop them and keep waiting.
        binding->Release();
        binding->Socket = listeningSocket_;
        binding->Allocated = true;
    }
    CloseListener();
    return accepted;
}

}  // namespace nb
