#pragma once
// Text inside the program is UTF-8 on every system. What the program stores in its archives or
// sends to the FTP server is in the system's narrow code page, as the accounting program and the
// original program wrote it, so that both can share one server account and one archive: CP949 on
// a Korean Windows, UTF-8 on Linux (where both conversions change nothing).
#include <string>

namespace nb {

// UTF-8 into the system's narrow code page; a character the code page lacks becomes "?".
std::string ToSystemCodePage(const std::string& utf8);
// The system's narrow code page into UTF-8; a byte sequence the code page does not define is
// kept as the replacement character U+FFFD.
std::string FromSystemCodePage(const std::string& text);

}  // namespace nb
