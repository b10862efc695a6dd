#pragma once
// The network layer's exception family, rooted at EIdException. Classes with a fixed text
// construct with it by default.
#include <cstdint>
#include <string>

#include "platform/Exception.h"

namespace nb {

class EIdException : public Exception {
    using Exception::Exception;
};

#define NB_ID_EXCEPTION(Name, Base, DefaultText)                         \
    class Name : public Base {                                           \
    public:                                                              \
        Name() : Base(DefaultText) {}                                    \
        explicit Name(std::string message) : Base(std::move(message)) {} \
    };

class EIdStackError : public EIdException {
    using EIdException::EIdException;
};
class EIdSocketHandleError : public EIdException {
    using EIdException::EIdException;
};
class EIdSilentException : public EIdException {
    using EIdException::EIdException;
};
class EIdTCPConnectionError : public EIdException {
    using EIdException::EIdException;
};

class EIdSocketError : public EIdException {
public:
    EIdSocketError(int32_t errorCode, std::string message) : EIdException(std::move(message)), ErrorCode(errorCode) {}
    int32_t ErrorCode;
};

// Raised when the socket library cannot be reached; message "<system text>: <title>" or the title alone.
class EIdWS2StubError : public EIdException {
public:
    EIdWS2StubError(std::string title, int32_t systemErrorCode, std::string systemErrorText);
    std::string Title;
    int32_t SystemErrorCode;
    std::string SystemErrorText;
};

NB_ID_EXCEPTION(EIdInvalidSocket, EIdException, "Cannot allocate socket.")
NB_ID_EXCEPTION(EIdStackInitializationFailed, EIdStackError, "Winsock Initialization Error.")
NB_ID_EXCEPTION(EIdStackSetSizeExceeded, EIdStackError, "Set Size Exceeded.")
NB_ID_EXCEPTION(EIdInvalidIPAddress, EIdStackError, "")  // "%s is not a valid IP address."
NB_ID_EXCEPTION(EIdCouldNotBindSocket, EIdSocketHandleError,
                "Could not bind socket. Address and port are already in use.")
NB_ID_EXCEPTION(EIdInvalidPortRange, EIdSocketHandleError, "")       // "Invalid Port Range (%d - %d)"
NB_ID_EXCEPTION(EIdCanNotBindPortInRange, EIdSocketHandleError, "")  // "Can not bind in port range (%d - %d)"
NB_ID_EXCEPTION(EIdPackageSizeTooBig, EIdSocketHandleError, "Package Size Too Big.")
NB_ID_EXCEPTION(EIdNotAllBytesSent, EIdSocketHandleError, "Not all bytes sent.")
NB_ID_EXCEPTION(EIdConnClosedGracefully, EIdSilentException, "Connection Closed Gracefully.")
NB_ID_EXCEPTION(EIdAlreadyConnected, EIdException, "Already connected.")
NB_ID_EXCEPTION(EIdNotConnected, EIdTCPConnectionError, "Not Connected")
NB_ID_EXCEPTION(EIdReadTimeout, EIdException, "Read Timeout")
NB_ID_EXCEPTION(EIdReadLnMaxLineLengthExceeded, EIdException, "Max line length exceeded.")
NB_ID_EXCEPTION(EIdNotEnoughDataInBuffer, EIdTCPConnectionError, "Not enough data in buffer.")
NB_ID_EXCEPTION(EIdNoDataToRead, EIdTCPConnectionError, "No data to read.")
NB_ID_EXCEPTION(EIdClosedSocket, EIdException, "Disconnected.")

}  // namespace nb
