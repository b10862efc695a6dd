#include "platform/Text.h"

namespace nb {

// Linux's narrow code page is UTF-8 already.
std::string ToSystemCodePage(const std::string& utf8) { return utf8; }
std::string FromSystemCodePage(const std::string& text) { return text; }

}  // namespace nb
