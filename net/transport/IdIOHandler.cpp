#include "net/transport/IdIOHandler.h"

namespace nb {

void TIdIOHandler::ConnectTo(const std::string&, int32_t, const std::string&, int32_t, int32_t, int32_t, int32_t) {}

}  // namespace nb
