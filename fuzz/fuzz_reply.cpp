// A server's reply bytes, as they arrive on the control connection: ReadReplyLines and the
// reply record's parsing, then the command exchange's code check on what was parsed.
#include <cstdint>
#include <exception>

#include "fuzz/FuzzSupport.h"
#include "net/transport/IdRFCReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nb;
    TIdTCPConnection connection;
    connection.MaxLineLength = 512;  // lets the fuzzer reach the line-length limit
    fuzz::TWirePeer peer(connection, data, size);
    try {
        for (int reply = 0; reply < 4; ++reply) {
            connection.ReadReplyLines();
            TIdRFCReply& last = connection.LastReply();
            (void)last.DisplayName();
            TIdRFCReply copy;
            copy.Assign(last);
            try {
                connection.CheckReply(static_cast<int16_t>(last.NumericCode()), {200, 226});
            } catch (const EIdProtocolReplyError& e) {
                if (e.ReplyCode != last.NumericCode()) std::abort();
            }
        }
    } catch (const std::exception&) {
        // The connection's own errors (closed, line too long) are the expected ends.
    }
    return 0;
}
