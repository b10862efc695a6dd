#pragma once
// The stack over Windows Sockets 2. The library is loaded when the first stack starts and kept
// until the process ends; the functions below let tests reach the states a user's machine can be in.
#include <string>

#include "net/transport/IdStackPlatform.h"

namespace nb {

// The socket library the next start-up loads ("WS2_32.DLL" unless changed).
void SetWinsockLibraryName(const std::string& fileName);

// What process end does: WSACleanup, unloading, every function unbound. The next stack starts
// the library afresh; until then every socket call raises EIdWS2StubError.
void ShutDownWinsock();

// With raw sockets forbidden, an ICMP raw socket is always served by IcmpSendEcho2, as for a
// user who is not an administrator.
void SetRawSocketsForbidden(bool forbidden);

}  // namespace nb
