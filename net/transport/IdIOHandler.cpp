#include "net/transport/IdIOHandler.h"

namespace nb {

TIdIOHandler::~TIdIOHandler() {
    if (OnDestroying) OnDestroying(*this);
}

void TIdIOHandler::ConnectTo(const std::string&, int32_t, const std::string&, int32_t, int32_t, int32_t, int32_t) {}

}  // namespace nb
