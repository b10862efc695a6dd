#pragma once
// TLS on a TCP connection, as a client: the certificate is verified against the system's trust
// store (plus an optional extra authority) and the host name. One implementation per system,
// with nothing of the TLS library visible here.
#include <cstdint>
#include <memory>
#include <string>

#include "net/transport/IdException.h"
#include "net/transport/IdStack.h"

namespace nb {

// A handshake or a record that failed; the text says why (certificate, host name, protocol).
class EIdTLSError : public EIdException {
    using EIdException::EIdException;
};

struct TIdTLSConfig {
    // A PEM file of further certificate authorities to trust; empty: the system's store only.
    std::string CaFile;
    // Every later connection resumes the primary one's session, however many there are. Servers
    // may accept a TLS 1.3 ticket once only, and a connection that only sends never receives a
    // new one, so this keeps to TLS 1.2, whose sessions resume any number of times.
    bool ReusableSession = false;
};

// The settings shared by the sessions of one server, and the session that later connections
// to it resume (FTP data connections must resume the control connection's).
class TIdTLSContext {
public:
    explicit TIdTLSContext(TIdTLSConfig config);
    ~TIdTLSContext();
    TIdTLSContext(const TIdTLSContext&) = delete;
    TIdTLSContext& operator=(const TIdTLSContext&) = delete;

    const TIdTLSConfig& Config() const { return config_; }

    struct Impl;
    Impl& Internals() { return *impl_; }

private:
    TIdTLSConfig config_;
    std::unique_ptr<Impl> impl_;
};

// The raw byte path a session runs over: answers as the socket handle's raw calls do
// (Id_SOCKET_ERROR with the system's socket error set, 0 when the peer closed).
class TIdTLSRawIO {
public:
    virtual ~TIdTLSRawIO() = default;
    virtual int32_t RawSend(const void* buffer, int32_t length) = 0;
    virtual int32_t RawReceive(void* buffer, int32_t length) = 0;
    virtual bool RawWaitReadable(int32_t milliseconds) = 0;
};

enum TIdTLSRole : uint8_t {
    // Its sessions become the context's resumable session.
    tlsPrimary,
    // Offers the context's session for resumption.
    tlsResuming,
};

class TIdTLSSession {
public:
    // Runs the client handshake over io; raises EIdTLSError when it fails or the peer's
    // certificate does not verify for hostName, EIdSocketError when the socket fails.
    TIdTLSSession(TIdTLSContext& context, TIdTLSRawIO& io, const std::string& hostName, TIdTLSRole role,
                  int32_t timeoutMs);
    ~TIdTLSSession();
    TIdTLSSession(const TIdTLSSession&) = delete;
    TIdTLSSession& operator=(const TIdTLSSession&) = delete;

    // Sends all of buffer. A failed socket raises EIdSocketError, a failure of the TLS layer
    // EIdTLSError; either leaves the session failed, and every later call raises.
    void Send(const void* buffer, int32_t length);
    // Up to length bytes; 0 once the peer ended the session. A close without that end is a
    // cut that cannot be told from an attack and raises EIdTLSError. A wait for the rest of a
    // record is bounded by the receive time-out (EIdReadTimeout).
    int32_t Receive(void* buffer, int32_t length);
    // Decrypted bytes are waiting, or a whole or partial record is buffered.
    bool Pending() const;
    // Bounds the waits of the next Receive (ms; 0 or less: none).
    void SetReceiveTimeout(int32_t milliseconds);
    // Tells the peer the session ends (close_notify); never waits for its answer. Skipped once
    // the connection failed.
    void Shutdown();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace nb
