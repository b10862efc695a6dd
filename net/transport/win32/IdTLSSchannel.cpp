// TLS through Schannel (SSPI, secur32). The certificate is checked here rather than by
// Schannel, so that the extra authorities of TlsCaFile count beside the Windows store.
// Sessions resume by themselves for connections that share the credentials and the name.
#define SECURITY_WIN32
#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/transport/IdTLS.h"
#include "platform/Stream.h"

namespace nb {

namespace {

// SECURITY_FLAG_IGNORE_UNKNOWN_CA of wininet.h, which this file does not otherwise need.
constexpr DWORD kIgnoreUnknownCa = 0x00000100;
// SECURITY_FLAG_IGNORE_CERT_CN_INVALID, likewise.
constexpr DWORD kIgnoreNameMismatch = 0x00001000;
// The content type of a TLS alert record.
constexpr unsigned char kAlertRecord = 21;

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string StatusText(SECURITY_STATUS status) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

std::string ChainErrorText(DWORD error) {
    switch (error) {
        case static_cast<DWORD>(CERT_E_EXPIRED): return "certificate has expired";
        case static_cast<DWORD>(CERT_E_CN_NO_MATCH): return "hostname mismatch";
        case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
        case static_cast<DWORD>(CERT_E_CHAINING): return "certificate from an untrusted authority";
        case static_cast<DWORD>(CERT_E_WRONG_USAGE): return "certificate not meant for a server";
        case static_cast<DWORD>(CRYPT_E_REVOKED): return "certificate revoked";
        default: return "certificate error " + StatusText(static_cast<SECURITY_STATUS>(error));
    }
}

struct CertStoreClose {
    void operator()(HCERTSTORE s) const { CertCloseStore(s, 0); }
};
struct CertFree {
    void operator()(const CERT_CONTEXT* c) const { CertFreeCertificateContext(c); }
};
struct ChainFree {
    void operator()(const CERT_CHAIN_CONTEXT* c) const { CertFreeCertificateChain(c); }
};
using StorePtr = std::unique_ptr<void, CertStoreClose>;
using CertPtr = std::unique_ptr<const CERT_CONTEXT, CertFree>;
using ChainPtr = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

// Windows' SSL policy matches host names only (Wine's not even the address entries), so a host
// given as an address is compared here with the certificate's address entries, never its names.
bool CertificateHoldsAddress(const CERT_CONTEXT* cert, const TIdIPv4Bytes& address) {
    const CERT_EXTENSION* extension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
    if (!extension) return false;
    CERT_ALT_NAME_INFO* raw = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &raw, &size) ||
        !raw)
        return false;
    std::unique_ptr<CERT_ALT_NAME_INFO, LocalFreer> names(raw);
    for (DWORD i = 0; i < names->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == sizeof address.Bytes &&
            std::memcmp(entry.IPAddress.pbData, address.Bytes, sizeof address.Bytes) == 0)
            return true;
    }
    return false;
}

// The PEM certificates of file, added to store.
void LoadCaFile(const std::string& file, HCERTSTORE store) {
    std::string pem;
    try {
        TFileStream in(file, fmOpenRead | fmShareDenyNone);
        pem.resize(static_cast<size_t>(in.Size()));
        if (!pem.empty()) in.ReadBuffer(pem.data(), static_cast<int32_t>(pem.size()));
    } catch (const Exception& e) {
        throw EIdTLSError("the certificate authority file " + file + " cannot be read: " + e.what());
    }
    const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    int added = 0;
    for (size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at)) {
        const size_t stop = pem.find(end, at);
        if (stop == std::string::npos) break;
        const std::string block = pem.substr(at, stop + end.size() - at);
        at = stop;
        DWORD size = 0;
        if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                                  &size, nullptr, nullptr))
            continue;
        std::vector<BYTE> der(size);
        if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                                  &size, nullptr, nullptr))
            continue;
        if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS,
                                             nullptr))
            ++added;
    }
    if (added == 0) throw EIdTLSError("the certificate authority file " + file + " holds no certificate");
}

}  // namespace

struct TIdTLSContext::Impl {
    CredHandle cred{};
    bool haveCred = false;
    // The extra authorities (empty without TlsCaFile).
    StorePtr extra;
    ~Impl() {
        if (haveCred) FreeCredentialsHandle(&cred);
    }
};

TIdTLSContext::TIdTLSContext(TIdTLSConfig config) : config_(std::move(config)), impl_(std::make_unique<Impl>()) {
    impl_->extra.reset(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    if (!impl_->extra) throw EIdTLSError("TLS is not available: no certificate store");
    if (!config_.CaFile.empty()) LoadCaFile(config_.CaFile, impl_->extra.get());
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT | (config_.ReusableSession ? 0 : SP_PROT_TLS1_3_CLIENT);
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    wchar_t package[] = UNISP_NAME_W;
    const SECURITY_STATUS status = AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &cred,
                                                             nullptr, nullptr, &impl_->cred, &expiry);
    if (status != SEC_E_OK) throw EIdTLSError("TLS is not available: Schannel refused " + StatusText(status));
    impl_->haveCred = true;
}

TIdTLSContext::~TIdTLSContext() = default;

struct TIdTLSSession::Impl {
    TIdTLSContext& context;
    TIdTLSRawIO& io;
    std::wstring target;
    std::string host;
    CtxtHandle ctx{};
    bool haveCtx = false;
    SecPkgContext_StreamSizes sizes{};
    std::vector<char> incoming;  // raw bytes not yet decrypted
    std::vector<char> plain;     // decrypted bytes not yet handed out
    size_t plainAt = 0;
    int32_t receiveTimeout = 0;
    bool failed = false;
    bool closed = false;
    bool established = false;

    Impl(TIdTLSContext& c, TIdTLSRawIO& i) : context(c), io(i) {}
    ~Impl() {
        if (haveCtx) DeleteSecurityContext(&ctx);
    }

    [[noreturn]] void Fail(const std::string& what) {
        failed = true;
        throw EIdTLSError(what);
    }

    void SendAll(const char* data, size_t length) {
        while (length > 0) {
            const int32_t n = io.RawSend(data, static_cast<int32_t>(length));
            if (n == Id_SOCKET_ERROR) {
                failed = true;
                SharedStack()->ThrowSocketError(SharedStack()->LastSocketError());
            }
            data += n;
            length -= static_cast<size_t>(n);
        }
    }

    // More raw bytes appended to incoming; false when the peer closed.
    bool ReadMore() {
        if (receiveTimeout > 0 && !io.RawWaitReadable(receiveTimeout)) {
            failed = true;
            throw EIdReadTimeout();
        }
        char buffer[16384];
        const int32_t n = io.RawReceive(buffer, sizeof buffer);
        if (n == Id_SOCKET_ERROR) {
            failed = true;
            SharedStack()->ThrowSocketError(SharedStack()->LastSocketError());
        }
        if (n == 0) return false;
        incoming.insert(incoming.end(), buffer, buffer + n);
        return true;
    }

    void SendToken(SecBuffer& token) {
        if (token.cbBuffer > 0 && token.pvBuffer) {
            const std::string bytes(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
            FreeContextBuffer(token.pvBuffer);
            token.pvBuffer = nullptr;
            SendAll(bytes.data(), bytes.size());
        } else if (token.pvBuffer) {
            FreeContextBuffer(token.pvBuffer);
            token.pvBuffer = nullptr;
        }
    }

    // The handshake's exchange of tokens until Schannel answers SEC_E_OK.
    void Handshake(bool started) {
        const ULONG want = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;
        ULONG got = 0;
        TimeStamp expiry;
        if (!started) {
            SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
            const SECURITY_STATUS status =
                InitializeSecurityContextW(&context.Internals().cred, nullptr, target.data(), want, 0, 0, nullptr, 0,
                                           &ctx, &outDesc, &got, &expiry);
            if (status != SEC_I_CONTINUE_NEEDED) Fail("TLS handshake failed: Schannel refused " + StatusText(status));
            haveCtx = true;
            SendToken(out);
        }
        for (;;) {
            if (incoming.empty() && !ReadMore()) Fail("TLS handshake failed: the server closed the connection");
            SecBuffer in[2] = {{static_cast<ULONG>(incoming.size()), SECBUFFER_TOKEN, incoming.data()},
                               {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
            SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
            const SECURITY_STATUS status =
                InitializeSecurityContextW(&context.Internals().cred, &ctx, target.data(), want, 0, 0, &inDesc, 0,
                                           nullptr, &outDesc, &got, &expiry);
            if (status == SEC_E_INCOMPLETE_MESSAGE) {
                if (!ReadMore()) Fail("TLS handshake failed: the server closed the connection");
                continue;
            }
            if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED && status != SEC_I_INCOMPLETE_CREDENTIALS) {
                if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
                Fail("TLS handshake failed: Schannel refused " + StatusText(status));
            }
            SendToken(out);
            if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0) {
                incoming.erase(incoming.begin(), incoming.end() - in[1].cbBuffer);
            } else {
                incoming.clear();
            }
            if (status == SEC_E_OK) return;
        }
    }

    void VerifyPeer() {
        const CERT_CONTEXT* raw = nullptr;
        if (QueryContextAttributesW(&ctx, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) != SEC_E_OK || !raw)
            Fail("TLS handshake failed: the server sent no certificate");
        CertPtr peer(raw);
        CERT_CHAIN_PARA para{};
        para.cbSize = sizeof para;
        // The server's own intermediates travel in the peer's store; the extra authorities join them
        // in one plain memory store (Wine builds no chain through a collection store).
        StorePtr pool(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
        if (!pool) Fail("TLS handshake failed: no certificate store");
        for (HCERTSTORE from : {context.Internals().extra.get(), peer->hCertStore}) {
            const CERT_CONTEXT* c = nullptr;
            while (from && (c = CertEnumCertificatesInStore(from, c)) != nullptr)
                CertAddCertificateContextToStore(pool.get(), c, CERT_STORE_ADD_USE_EXISTING, nullptr);
        }
        // The chain is built for a copy in that store: Schannel's own context does not build one
        // under Wine.
        const CERT_CONTEXT* rawCopy = nullptr;
        if (!CertAddCertificateContextToStore(pool.get(), peer.get(), CERT_STORE_ADD_USE_EXISTING, &rawCopy) ||
            !rawCopy)
            Fail("TLS handshake failed: the server's certificate cannot be read");
        CertPtr copy(rawCopy);
        const CERT_CHAIN_CONTEXT* rawChain = nullptr;
        SetLastError(0);
        if (!CertGetCertificateChain(HCCE_LOCAL_MACHINE, copy.get(), nullptr, pool.get(), &para, 0, nullptr,
                                     &rawChain) ||
            !rawChain)
            Fail("TLS handshake failed: the server's certificate chain cannot be built (" +
                 StatusText(static_cast<SECURITY_STATUS>(GetLastError())) + ")");
        ChainPtr chain(rawChain);
        // A chain that ends at one of the extra authorities is trusted as if the store held it.
        bool extraRoot = false;
        if (chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
            const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
            const CERT_CONTEXT* root = simple->rgpElement[simple->cElement - 1]->pCertContext;
            const CERT_CONTEXT* ca = nullptr;
            while ((ca = CertEnumCertificatesInStore(context.Internals().extra.get(), ca)) != nullptr) {
                if (CertCompareCertificate(X509_ASN_ENCODING, ca->pCertInfo, root->pCertInfo)) {
                    extraRoot = true;
                    CertFreeCertificateContext(ca);
                    break;
                }
            }
        }
        TIdIPv4Bytes address;
        const bool byAddress = TIdStack::ParseAddress(host, address) != TIdIPAddressKind::Invalid;
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.fdwChecks = (extraRoot ? kIgnoreUnknownCa : 0) | (byAddress ? kIgnoreNameMismatch : 0);
        ssl.pwszServerName = byAddress ? nullptr : target.data();
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS result{};
        result.cbSize = sizeof result;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &result))
            Fail("TLS handshake failed: the server's certificate cannot be checked");
        if (result.dwError != 0)
            Fail("TLS handshake failed: the server's certificate was refused: " + ChainErrorText(result.dwError));
        if (byAddress && !CertificateHoldsAddress(peer.get(), address))
            Fail("TLS handshake failed: the server's certificate was refused: " +
                 ChainErrorText(static_cast<DWORD>(CERT_E_CN_NO_MATCH)));
    }

    // Decrypts what incoming holds into plain; false when a record is still incomplete.
    bool DecryptSome() {
        while (!incoming.empty()) {
            // Wine's Schannel answers the peer's close_notify with SEC_E_OK and no data instead of
            // SEC_I_CONTEXT_EXPIRED. A TLS 1.2 alert record shows its type in clear, and one that
            // decrypts without an error to nothing can only be that end.
            const bool alertRecord = static_cast<unsigned char>(incoming[0]) == kAlertRecord;
            SecBuffer buffers[4] = {{static_cast<ULONG>(incoming.size()), SECBUFFER_DATA, incoming.data()},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            const SECURITY_STATUS status = DecryptMessage(&ctx, &desc, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE) return false;
            if (status == SEC_I_CONTEXT_EXPIRED) {
                closed = true;
                incoming.clear();
                return true;
            }
            if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) Fail("TLS receive failed: " + StatusText(status));
            std::vector<char> extra;
            bool gotData = false;
            for (const SecBuffer& b : buffers) {
                if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
                    const char* p = static_cast<const char*>(b.pvBuffer);
                    plain.insert(plain.end(), p, p + b.cbBuffer);
                    gotData = true;
                } else if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0) {
                    const char* p = static_cast<const char*>(b.pvBuffer);
                    extra.assign(p, p + b.cbBuffer);
                }
            }
            if (status == SEC_E_OK && alertRecord && !gotData) {
                closed = true;
                incoming.clear();
                return true;
            }
            incoming.swap(extra);
            if (status == SEC_I_RENEGOTIATE) Handshake(true);  // TLS 1.3's messages after the handshake
            if (plainAt < plain.size()) return true;
        }
        return plainAt < plain.size();
    }
};

TIdTLSSession::TIdTLSSession(TIdTLSContext& context, TIdTLSRawIO& io, const std::string& hostName, TIdTLSRole,
                             int32_t timeoutMs)
    : impl_(std::make_unique<Impl>(context, io)) {
    Impl& s = *impl_;
    s.host = hostName;
    s.target = Wide(hostName);
    s.receiveTimeout = timeoutMs;
    s.Handshake(false);
    s.VerifyPeer();
    if (QueryContextAttributesW(&s.ctx, SECPKG_ATTR_STREAM_SIZES, &s.sizes) != SEC_E_OK)
        s.Fail("TLS handshake failed: no record sizes");
    s.receiveTimeout = 0;
    s.established = true;
}

TIdTLSSession::~TIdTLSSession() = default;

void TIdTLSSession::Send(const void* buffer, int32_t length) {
    Impl& s = *impl_;
    if (s.failed) throw EIdTLSError("the TLS connection failed earlier");
    const char* data = static_cast<const char*>(buffer);
    std::vector<char> record(s.sizes.cbHeader + s.sizes.cbMaximumMessage + s.sizes.cbTrailer);
    while (length > 0) {
        const ULONG n = std::min<ULONG>(static_cast<ULONG>(length), s.sizes.cbMaximumMessage);
        std::memcpy(record.data() + s.sizes.cbHeader, data, n);
        SecBuffer buffers[4] = {{s.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                                {n, SECBUFFER_DATA, record.data() + s.sizes.cbHeader},
                                {s.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + s.sizes.cbHeader + n},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = EncryptMessage(&s.ctx, 0, &desc, 0);
        if (status != SEC_E_OK) s.Fail("TLS send failed: " + StatusText(status));
        s.SendAll(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        data += n;
        length -= static_cast<int32_t>(n);
    }
}

int32_t TIdTLSSession::Receive(void* buffer, int32_t length) {
    Impl& s = *impl_;
    if (s.failed) throw EIdTLSError("the TLS connection failed earlier");
    while (s.plainAt == s.plain.size()) {
        s.plain.clear();
        s.plainAt = 0;
        if (s.closed) return 0;
        if (s.DecryptSome()) continue;
        if (!s.ReadMore()) s.Fail("the server closed the connection without ending the TLS session");
    }
    const size_t n = std::min(static_cast<size_t>(length), s.plain.size() - s.plainAt);
    std::memcpy(buffer, s.plain.data() + s.plainAt, n);
    s.plainAt += n;
    return static_cast<int32_t>(n);
}

bool TIdTLSSession::Pending() const { return impl_->plainAt < impl_->plain.size() || !impl_->incoming.empty(); }

void TIdTLSSession::SetReceiveTimeout(int32_t milliseconds) { impl_->receiveTimeout = milliseconds; }

void TIdTLSSession::Shutdown() {
    Impl& s = *impl_;
    if (s.failed || !s.established) return;
    s.failed = true;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
    if (ApplyControlToken(&s.ctx, &controlDesc) != SEC_E_OK) return;
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG got = 0;
    TimeStamp expiry;
    const ULONG want = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                       ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
    InitializeSecurityContextW(&s.context.Internals().cred, &s.ctx, s.target.data(), want, 0, 0, nullptr, 0, nullptr,
                               &outDesc, &got, &expiry);
    try {
        s.SendToken(out);
    } catch (const EIdException&) {
        // The peer may already be gone; the socket closes anyway.
    }
}

}  // namespace nb
