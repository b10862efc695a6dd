#pragma once
// The FTP client: control connection with login, and file transfers over active (PORT) or
// passive (PASV) data connections.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/ftp/IdRFCReply.h"
#include "net/transport/IdTCPClient.h"

namespace nb {

class TStream;
class TIdSocketHandle;
class TIdSimpleServer;

enum TIdFTPTransferType : uint8_t { ftASCII, ftBinary };

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
    std::function<void(TIdFTP& Sender)> OnAfterClientLogin;
    std::function<void(TIdFTP& Sender, TStream& Stream)> OnAfterGet;

    TIdFTPTransferType TransferType() const { return transferType_; }
    void SetTransferType(TIdFTPTransferType value);

    const std::string& SystemDescription() const { return systemDescription_; }
    TIdRFCReply& LoginReply() { return loginReply_; }
    // The data connection of the transfer in progress; null outside transfers.
    TIdTCPConnection* DataConnection() { return dataConnection_.get(); }

    void Connect(bool autoLogin, int32_t timeout);
    void Connect(int32_t timeout = -1) override { Connect(true, timeout); }
    void Login();
    void SendTransferType();
    int64_t Size(const std::string& fileName);
    bool ResumeSupported();
    void Quit();
    virtual void Abort();
    virtual void CloseDataConnection();
    virtual void NotifyAfterGet(TStream& stream);

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

    TIdFTPTransferType transferType_ = ftBinary;
    bool resumeSupported_ = false;
    bool resumeProbed_ = false;
    std::string systemDescription_;
    TIdRFCReply loginReply_;
    std::unique_ptr<TIdTCPConnection> dataConnection_;
};

}  // namespace nb
