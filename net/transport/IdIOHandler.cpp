#include "net/transport/IdIOHandler.h"

namespace nb {

TIdIOHandler::~TIdIOHandler() {
    if (OnDestroying) OnDestroying(*this);
}

void TIdIOHandler::ConnectTo(const std::string&, int32_t, const std::string&, int32_t, int32_t, int32_t, int32_t) {}

void TIdIOHandler::StartTLS(TIdTLSContext&, const std::string&, TIdTLSRole, int32_t) {
    throw EIdTLSError("this connection cannot carry TLS");
}

int32_t TIdIOHandler::SendMany(TIdSendChunk* chunks, int32_t count) {
    return SendChunksInTurn(chunks, count, [this](const void* buffer, int32_t length) { return Send(buffer, length); });
}

}  // namespace nb
