// The reply to PASV, parsed into the data connection's host and port.
#include <cstdint>
#include <exception>

#include "fuzz/FuzzSupport.h"
#include "net/ftp/IdFTP.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nb;
    TIdFTP ftp;
    fuzz::TWirePeer peer(ftp, data, size);
    try {
        std::string host;
        int32_t port = 0;
        ftp.SendPassive(host, port);
    } catch (const std::exception&) {
        // Refused codes, conversion errors and a closed connection are the expected ends.
    }
    return 0;
}
