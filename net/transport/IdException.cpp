#include "net/transport/IdException.h"

namespace nb {

namespace {

std::string StubMessage(const std::string& title, int32_t code, const std::string& systemText) {
    return code != 0 ? systemText + ": " + title : title;
}

}  // namespace

EIdWS2StubError::EIdWS2StubError(std::string title, int32_t systemErrorCode, std::string systemErrorText)
    : EIdException(StubMessage(title, systemErrorCode, systemErrorText)), Title(std::move(title)),
      SystemErrorCode(systemErrorCode), SystemErrorText(std::move(systemErrorText)) {}

}  // namespace nb
