// TLS through OpenSSL 3. The records travel through a BIO of our own over the socket stack, so
// that every wait keeps the connection's time-outs and socket errors keep their codes.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

#include "net/transport/IdTLS.h"

namespace nb {

namespace {

struct SslCtxFree {
    void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
struct SslFree {
    void operator()(SSL* p) const { SSL_free(p); }
};
struct SessionFree {
    void operator()(SSL_SESSION* p) const { SSL_SESSION_free(p); }
};
struct MethodFree {
    void operator()(BIO_METHOD* p) const { BIO_meth_free(p); }
};

// The oldest error on OpenSSL's queue, as text; the queue is left empty.
std::string TakeErrorText() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown TLS error";
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "TLS error " + std::to_string(code);
}

bool IsAddressLiteral(const std::string& host) { return SharedStack()->IsAddressLiteral(host); }

}  // namespace

struct TIdTLSContext::Impl {
    std::unique_ptr<SSL_CTX, SslCtxFree> ctx;
    // The control connection's newest session, which data connections offer.
    std::unique_ptr<SSL_SESSION, SessionFree> session;
};

struct TIdTLSSession::Impl {
    TIdTLSContext::Impl& context;
    TIdTLSRawIO& io;
    TIdTLSRole role;
    std::unique_ptr<SSL, SslFree> ssl;
    int32_t receiveTimeout = 0;
    // The socket failed (its code) or a wait ran out; the session is never used again.
    bool failed = false;
    int32_t socketError = 0;
    bool timedOut = false;
    bool established = false;

    Impl(TIdTLSContext::Impl& c, TIdTLSRawIO& i, TIdTLSRole r) : context(c), io(i), role(r) {}

    // Raises what made the last call fail: the socket's error, the time-out or the TLS layer's.
    [[noreturn]] void RaiseFailure(const std::string& what) {
        failed = true;
        if (timedOut) {
            ERR_clear_error();
            throw EIdReadTimeout();
        }
        if (socketError != 0) {
            ERR_clear_error();
            SharedStack()->ThrowSocketError(socketError);
        }
        throw EIdTLSError(what + TakeErrorText());
    }
};

namespace {

int ExIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

TIdTLSSession::Impl& SessionOf(BIO* bio) { return *static_cast<TIdTLSSession::Impl*>(BIO_get_data(bio)); }

int BioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    TIdTLSSession::Impl& s = SessionOf(bio);
    const int32_t n = s.io.RawSend(data, length);
    if (n == Id_SOCKET_ERROR) {
        s.socketError = SharedStack()->LastSocketError();
        return -1;
    }
    return n;
}

int BioRead(BIO* bio, char* data, int length) {
    BIO_clear_retry_flags(bio);
    TIdTLSSession::Impl& s = SessionOf(bio);
    if (s.receiveTimeout > 0 && !s.io.RawWaitReadable(s.receiveTimeout)) {
        s.timedOut = true;
        return -1;
    }
    const int32_t n = s.io.RawReceive(data, length);
    if (n == Id_SOCKET_ERROR) {
        s.socketError = SharedStack()->LastSocketError();
        return -1;
    }
    return n;
}

long BioCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* RawMethod() {
    static const std::unique_ptr<BIO_METHOD, MethodFree> method = [] {
        std::unique_ptr<BIO_METHOD, MethodFree> m(BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "nb-raw"));
        if (m) {
            BIO_meth_set_write(m.get(), BioWrite);
            BIO_meth_set_read(m.get(), BioRead);
            BIO_meth_set_ctrl(m.get(), BioCtrl);
            BIO_meth_set_create(m.get(), BioCreate);
        }
        return m;
    }();
    return method.get();
}

// Keeps each new session of a primary connection (TLS 1.3 sends them after the handshake).
int KeepNewSession(SSL* ssl, SSL_SESSION* session) {
    auto* s = static_cast<TIdTLSSession::Impl*>(SSL_get_ex_data(ssl, ExIndex()));
    if (!s || s->role != tlsPrimary) return 0;
    s->context.session.reset(session);
    return 1;
}

}  // namespace

TIdTLSContext::TIdTLSContext(TIdTLSConfig config) : config_(std::move(config)), impl_(std::make_unique<Impl>()) {
    impl_->ctx.reset(SSL_CTX_new(TLS_client_method()));
    SSL_CTX* ctx = impl_->ctx.get();
    if (!ctx) throw EIdTLSError("TLS is not available: " + TakeErrorText());
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    if (config_.ReusableSession) SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    if (SSL_CTX_set_default_verify_paths(ctx) != 1)
        throw EIdTLSError("the system's certificate store cannot be read: " + TakeErrorText());
    if (!config_.CaFile.empty() && SSL_CTX_load_verify_locations(ctx, config_.CaFile.c_str(), nullptr) != 1)
        throw EIdTLSError("the certificate authority file " + config_.CaFile + " cannot be read: " + TakeErrorText());
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, KeepNewSession);
}

TIdTLSContext::~TIdTLSContext() = default;

TIdTLSSession::TIdTLSSession(TIdTLSContext& context, TIdTLSRawIO& io, const std::string& hostName, TIdTLSRole role,
                             int32_t timeoutMs)
    : impl_(std::make_unique<Impl>(context.Internals(), io, role)) {
    Impl& s = *impl_;
    ERR_clear_error();
    s.ssl.reset(SSL_new(s.context.ctx.get()));
    BIO* bio = s.ssl ? BIO_new(RawMethod()) : nullptr;
    if (!bio) throw EIdTLSError("TLS session cannot be made: " + TakeErrorText());
    BIO_set_data(bio, &s);
    SSL_set_bio(s.ssl.get(), bio, bio);
    SSL_set_ex_data(s.ssl.get(), ExIndex(), &s);
    SSL* ssl = s.ssl.get();
    if (IsAddressLiteral(hostName)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), hostName.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, hostName.c_str());
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(ssl, hostName.c_str());
    }
    if (role == tlsResuming && s.context.session) SSL_set_session(ssl, s.context.session.get());
    s.receiveTimeout = timeoutMs;
    const int result = SSL_connect(ssl);
    s.receiveTimeout = 0;
    if (result != 1) {
        const long verify = SSL_get_verify_result(ssl);
        if (verify != X509_V_OK && !s.timedOut && s.socketError == 0) {
            s.failed = true;
            ERR_clear_error();
            throw EIdTLSError(std::string("TLS handshake failed: the server's certificate was refused: ") +
                              X509_verify_cert_error_string(verify));
        }
        if (SSL_get_error(ssl, result) == SSL_ERROR_SYSCALL && !s.timedOut && s.socketError == 0) {
            s.failed = true;
            ERR_clear_error();
            throw EIdTLSError("TLS handshake failed: the server closed the connection");
        }
        s.RaiseFailure("TLS handshake failed: ");
    }
    s.established = true;
}

TIdTLSSession::~TIdTLSSession() = default;

void TIdTLSSession::Send(const void* buffer, int32_t length) {
    Impl& s = *impl_;
    if (s.failed) throw EIdTLSError("the TLS connection failed earlier");
    if (length <= 0) return;
    ERR_clear_error();
    // Without partial writes a blocking SSL_write answers once all of it went out.
    if (SSL_write(s.ssl.get(), buffer, length) <= 0) s.RaiseFailure("TLS send failed: ");
}

int32_t TIdTLSSession::Receive(void* buffer, int32_t length) {
    Impl& s = *impl_;
    if (s.failed) throw EIdTLSError("the TLS connection failed earlier");
    ERR_clear_error();
    const int n = SSL_read(s.ssl.get(), buffer, length);
    if (n > 0) return n;
    const int error = SSL_get_error(s.ssl.get(), n);
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    if (error == SSL_ERROR_SYSCALL && !s.timedOut && s.socketError == 0) {
        s.failed = true;
        throw EIdTLSError("the server closed the connection without ending the TLS session");
    }
    s.RaiseFailure("TLS receive failed: ");
}

bool TIdTLSSession::Pending() const { return SSL_has_pending(impl_->ssl.get()) == 1; }

void TIdTLSSession::SetReceiveTimeout(int32_t milliseconds) { impl_->receiveTimeout = milliseconds; }

void TIdTLSSession::Shutdown() {
    Impl& s = *impl_;
    if (s.failed || !s.established) return;
    s.failed = true;
    SSL_shutdown(s.ssl.get());
    ERR_clear_error();
}

}  // namespace nb
