#pragma once
// The stack SharedStack is made of: BSD sockets on Linux, Windows Sockets 2 on Windows. The
// build picks the one implementation for its system.
#include <memory>

#include "net/transport/IdStack.h"

namespace nb {

std::unique_ptr<TIdStack> NewPlatformStack();

}  // namespace nb
