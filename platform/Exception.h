#pragma once
// The base of every error the program raises, and the file layer's own errors.
#include <exception>
#include <string>

namespace nb {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class EStreamError : public Exception {
    using Exception::Exception;
};
class EFCreateError : public EStreamError {
    using EStreamError::EStreamError;
};  // "Cannot create file "%s". %s"
class EFOpenError : public EStreamError {
    using EStreamError::EStreamError;
};  // "Cannot open file "%s". %s"
class EReadError : public EStreamError {
    using EStreamError::EStreamError;
};  // "Stream read error"
class EWriteError : public EStreamError {
    using EStreamError::EStreamError;
};  // "Stream write error"
class EConvertError : public Exception {
    using Exception::Exception;
};  // "'%s' is not a valid integer value"
class EOSError : public Exception {
    using Exception::Exception;
};

// An error's text as one line: without the carriage returns and the trailing line ends and
// blanks a server's reply carries.
std::string ReasonText(const std::string& message);
// Inside a catch block: the text of the exception being handled, as ReasonText gives it.
std::string CurrentExceptionText();

}  // namespace nb
