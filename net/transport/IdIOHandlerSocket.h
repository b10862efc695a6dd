#pragma once
// The socket transport: one owned TIdSocketHandle, opened by Open and connected by ConnectTo.
#include <cstdint>
#include <memory>
#include <vector>

#include "net/transport/IdIOHandler.h"
#include "net/transport/IdSocketHandle.h"

namespace nb {

// Proxy settings of the transport; this system never uses a proxy.
struct TIdSocksInfo {
    enum Version : uint8_t { svNoSocks = 0 } Version = svNoSocks;
};

class TIdIOHandlerSocket : public TIdIOHandler {
public:
    ~TIdIOHandlerSocket() override;

    bool UseNagle = true;
    TIdSocksInfo SocksInfo;

    void Open() override;
    void Close() override;
    bool IsOpen() override;
    bool WaitReadable(int32_t milliseconds) override;
    int32_t Receive(void* buffer, int32_t length) override;
    int32_t Send(const void* buffer, int32_t length) override;
    int32_t SendMany(TIdSendChunk* chunks, int32_t count) override;
    void SetSendDeadline(const TIdDeadline& deadline) override;
    void StartTLS(TIdTLSContext& context, const std::string& hostName, TIdTLSRole role, int32_t timeoutMs) override;
    // timeout -1 (or 0): a plain blocking connect; a positive timeout bounds the connect and
    // fails with socket error 10060 when it runs out.
    void ConnectTo(const std::string& host, int32_t port, const std::string& boundIP, int32_t boundPort,
                   int32_t boundPortMin, int32_t boundPortMax, int32_t timeout) override;

    // Null until the first Open.
    TIdSocketHandle* SocketHandle() { return socketHandle_.get(); }

private:
    class RawIO;
    // Ends the TLS session (telling the peer) before the socket goes.
    void EndTLS();

    std::unique_ptr<TIdSocketHandle> socketHandle_;
    std::unique_ptr<TIdTLSRawIO> rawIO_;
    std::unique_ptr<TIdTLSSession> tls_;
    std::vector<uint8_t> tlsBatch_;
    // The wait limit of the TLS read under way (ms, 0: none).
    int32_t tlsReadLimit_ = 0;
};

}  // namespace nb
