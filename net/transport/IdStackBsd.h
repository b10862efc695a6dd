#pragma once
// The stack over BSD sockets: the one implementation SharedStack is made of.
#include <memory>

#include "net/transport/IdStack.h"

namespace nb {

std::unique_ptr<TIdStack> NewPlatformStack();

// The Windows Sockets number of a native errno value (unknown values are returned unchanged).
int32_t WinsockCodeOfErrno(int errnum);

}  // namespace nb
