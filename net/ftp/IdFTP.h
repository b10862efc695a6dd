#pragma once
// The FTP client: control connection with login, and file transfers over active (PORT) or
// passive (PASV) data connections.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/transport/IdRFCReply.h"
#include "net/transport/IdTCPClient.h"
#include "net/transport/IdTLS.h"

namespace nb {

class TStream;
class TIdSocketHandle;
class TIdSimpleServer;

enum TIdFTPTransferType : uint8_t { ftASCII, ftBinary };

// Explicit TLS (AUTH TLS): never asked for; asked for, with plain text when the server refuses;
// asked for, and a refusal fails the connect.
enum TIdFTPTlsMode : uint8_t { ftpTlsOff, ftpTlsAuto, ftpTlsRequire };

enum TIdFtpProxyType : uint8_t {
    fpcmNone,
    fpcmUserSite,
    fpcmSite,
    fpcmOpen,
    fpcmUserPass,
    fpcmTransparent,
    fpcmHttpProxyWithFtp,
};

struct TIdFtpProxySettings {
    TIdFtpProxyType ProxyType = fpcmNone;
    std::string Host;
    std::string UserName;
    std::string Password;
    int32_t Port = 0;
};

class EIdFTPFileAlreadyExists : public EIdException {
public:
    EIdFTPFileAlreadyExists() : EIdException("Destination file already exists.") {}
};

// The server did not open the data connection within DataConnectionTimeout.
class EIdFTPDataConnectionTimeout : public EIdException {
public:
    EIdFTPDataConnectionTimeout() : EIdException("The server did not open the data connection in time.") {}
};

// PORT was answered with anything but 200.
class EIdFTPPortRefused : public EIdProtocolReplyError {
public:
    using EIdProtocolReplyError::EIdProtocolReplyError;
};

// RNTO was refused after RNFR was accepted: the server would not take the new name (often
// because a file of that name exists).
class EIdFTPRenameTargetRefused : public EIdProtocolReplyError {
public:
    using EIdProtocolReplyError::EIdProtocolReplyError;
};

// A command argument (a user ID, a password, a file name) has no form in the system's code page.
class EIdFTPTextNotSendable : public EIdException {
public:
    EIdFTPTextNotSendable() : EIdException("The command holds a character the system's code page cannot send.") {}
};

// AUTH TLS was refused where TLS is required, or by a server that accepted it before.
class EIdFTPTlsRefused : public EIdProtocolReplyError {
public:
    using EIdProtocolReplyError::EIdProtocolReplyError;
};

class TIdFTP : public TIdTCPClient {
public:
    TIdFTP();
    ~TIdFTP() override;

    bool Passive = false;
    std::string Password;
    std::string Username;
    TIdFtpProxySettings ProxySettings;
    // How long an active-mode transfer waits for the server's data connection (ms).
    int32_t DataConnectionTimeout = 20000;
    // Longest silence of the server on a data connection (ms) before the transfer fails; 0: no limit.
    int32_t DataReadTimeout = 0;
    // An active transfer whose PORT is refused, or whose data connection does not arrive within
    // DataConnectionTimeout, is tried once more in passive mode on the same control connection.
    bool PassiveFallback = false;
    TIdFTPTlsMode UseTLS = ftpTlsOff;
    // A PEM file of further certificate authorities for the server's certificate.
    std::string TlsCaFile;
    // The server accepted TLS before: under ftpTlsAuto a refusal now fails the connect, since
    // someone on the path could otherwise strip TLS by answering for the server.
    bool TlsExpected = false;
    // Fired once the server accepted AUTH TLS and the handshake verified it, before USER.
    std::function<void(TIdFTP& Sender)> OnTlsEstablished;
    std::function<void(TIdFTP& Sender)> OnAfterClientLogin;
    std::function<void(TIdFTP& Sender, TStream& Stream)> OnAfterGet;

    TIdFTPTransferType TransferType() const { return transferType_; }
    void SetTransferType(TIdFTPTransferType value);

    // The control connection runs over TLS, and so will every data connection.
    bool TlsActive() const { return tlsContext_ != nullptr; }
    const std::string& SystemDescription() const { return systemDescription_; }
    TIdRFCReply& LoginReply() { return loginReply_; }
    // The data connection of the transfer in progress; null outside transfers.
    TIdTCPConnection* DataConnection() { return dataConnection_.get(); }

    void Connect(bool autoLogin, int32_t timeout);
    void Connect(int32_t timeout = -1) override { Connect(true, timeout); }
    void Login();
    void SendTransferType();
    int64_t Size(const std::string& fileName);
    // MDTM: the file's last change as the server gives it ("YYYYMMDDHHMMSS[.sss]", UTC); empty
    // when the server does not answer with 213 and such a time.
    std::string ModifiedTime(const std::string& fileName);
    // NOOP, keeping an idle control connection alive; any 2xx answer will do.
    void Noop();
    // RNFR (350) then RNTO (250); a refused RNTO raises EIdFTPRenameTargetRefused.
    void Rename(const std::string& fromName, const std::string& toName);
    // DELE (250).
    void Delete(const std::string& fileName);
    bool ResumeSupported();
    void Quit();
    virtual void Abort();
    virtual void CloseDataConnection();
    virtual void NotifyAfterGet(TStream& stream);
    // Every command line goes out in the system's code page, as the original program sent its
    // user IDs, passwords and file names, so that both reach the same account and files. A line
    // the code page cannot hold raises EIdFTPTextNotSendable: a substitute could name another
    // account or file.
    void WriteLine(const std::string& text) override;

    void Get(const std::string& remoteName, const std::string& localPath, bool canOverwrite = false,
             bool resume = false);
    void GetToStream(const std::string& remoteName, TStream& stream, bool resume = false);
    void Put(const std::string& localPath, const std::string& remoteName = "", bool append = false);
    void PutStream(TStream& stream, const std::string& remoteName = "", bool append = false);

    void Retrieve(const std::string& command, TStream& stream, bool resume);
    void Store(const std::string& command, TStream& stream, bool fromStart);
    void SendPort(TIdSocketHandle& binding);
    void SendPassive(std::string& host, int32_t& port);
    void PrepareDataConnection();

private:
    class DataConnectionScope;

    // AUTH TLS and the handshake, as UseTLS asks.
    void NegotiateTls();
    // The data connection's handshake, resuming the control connection's session.
    void SecureData(TIdTCPConnection& data);

    // The control connection's socket handle; null without a socket transport.
    TIdSocketHandle* ControlBinding();
    TIdSimpleServer& ListenForData();
    void AcceptData(TIdSimpleServer& listener);
    TIdTCPClient& OpenPassiveData(const std::string& host, int32_t port);
    void RetrieveActive(const std::string& command, TStream& stream, bool resume);
    void RetrievePassive(const std::string& command, TStream& stream, bool resume);
    void StoreActive(const std::string& command, TStream& stream, bool fromStart);
    void StorePassive(const std::string& command, TStream& stream, bool fromStart);
    void ReadFinalReply();
    // Closes the data connection of a store once its last byte went out.
    void CloseSentData(TIdTCPConnection& data);
    // Runs the data phase in the configured mode, with the passive retry of PassiveFallback.
    void RunDataPhase(const std::function<void()>& active, const std::function<void()>& passive);
    void AbortUnopenedTransfer();

    TIdFTPTransferType transferType_ = ftBinary;
    bool resumeSupported_ = false;
    bool resumeProbed_ = false;
    std::string systemDescription_;
    TIdRFCReply loginReply_;
    std::unique_ptr<TIdTCPConnection> dataConnection_;
    std::unique_ptr<TIdTLSContext> tlsContext_;
    // What is left for the end of a store: the data connection's close and the final reply.
    TIdDeadline storeEnd_;
};

}  // namespace nb
