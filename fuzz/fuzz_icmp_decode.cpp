// A datagram on the echo client's raw socket. The bytes past the datagram are poisoned, so
// that a decoder looking beyond what arrived is caught, not just one leaving the buffer.
#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstring>
#include <exception>

#include "net/icmp/IdIcmpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nb;
    if (size < 2) return 0;
    TIdIcmpClient client;
    // The first two bytes pick the sequence the client waits for.
    client.SequenceCounter = static_cast<uint16_t>(data[0] | (data[1] << 8));
    data += 2;
    size -= 2;
    if (size > TIdIcmpClient::ReceiveBufferSize) size = TIdIcmpClient::ReceiveBufferSize;
    uint8_t* buffer = client.ReceiveBuffer();
    std::memcpy(buffer, data, size);
    ASAN_POISON_MEMORY_REGION(buffer + size, TIdIcmpClient::ReceiveBufferSize - size);
    TReplyStatus record;
    try {
        client.DecodeReply(static_cast<int32_t>(size), record);
    } catch (const EIdIcmpException&) {
    }
    ASAN_UNPOISON_MEMORY_REGION(buffer, TIdIcmpClient::ReceiveBufferSize);
    return 0;
}
