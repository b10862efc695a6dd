#include "net/transport/IdTCPClient.h"

#include "net/transport/IdException.h"
#include "net/transport/IdIOHandlerSocket.h"

namespace nb {

void TIdTCPClient::Connect(int32_t timeout) {
    if (!IOHandler()) {
        auto transport = std::make_unique<TIdIOHandlerSocket>();
        transport->OnStatus = OnStatus;
        SetOwnedIOHandler(std::move(transport));
    } else if (IOHandler()->IsOpen()) {
        throw EIdAlreadyConnected();
    }
    try {
        IOHandler()->Open();
        ResetState();
        IOHandler()->ConnectTo(Host, Port, BoundIP, BoundPort, BoundPortLow, BoundPortHigh, timeout);
        ReportStatus(hsConnected, {Host});
        NotifyConnected();
    } catch (...) {
        DropConnection();
        throw;
    }
}

void TIdTCPClient::NotifyConnected() {
    if (OnConnected) OnConnected(*this);
}

}  // namespace nb
