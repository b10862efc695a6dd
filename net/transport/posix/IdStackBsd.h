#pragma once
// The stack over BSD sockets (Linux).
#include <cstdint>

#include "net/transport/IdStackPlatform.h"

namespace nb {

// The Windows Sockets number of a native errno value (unknown values are returned unchanged).
int32_t WinsockCodeOfErrno(int errnum);

}  // namespace nb
