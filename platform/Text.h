#pragma once
// Text inside the program is UTF-8 on every system. What the program stores in its archives or
// sends to the FTP server is in the system's narrow code page, as the accounting program and the
// original program wrote it, so that both can share one server account and one archive: CP949 on
// a Korean Windows, UTF-8 on Linux (where both conversions change nothing).
#include <cstdint>
#include <string>

namespace nb {

// UTF-8 into the system's narrow code page; a character the code page lacks becomes "?".
std::string ToSystemCodePage(const std::string& utf8);
// The same without substitutes: false when some character has no form in the code page, so that
// a name is never stored or sent as another name.
bool ToSystemCodePageExact(const std::string& utf8, std::string& out);
// The system's narrow code page into UTF-8; a byte sequence the code page does not define is
// kept as the replacement character U+FFFD.
std::string FromSystemCodePage(const std::string& text);

// The encodings text stored by either system's program can be in: UTF-8 (Linux) or the Windows
// ANSI code page (the system's on Windows; CP949, the users' Korean Windows, elsewhere).
enum class TextEncoding : uint8_t { Unknown, Utf8, WindowsAnsi };

// Removes a UTF-8 byte-order mark from the start of text, as editors save one; true if there was one.
bool StripUtf8ByteOrderMark(std::string& text);

// True when bytes are valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(const std::string& bytes);
// Bytes in the Windows ANSI code page into UTF-8; false when they are not valid there.
bool DecodeWindowsAnsi(const std::string& bytes, std::string& utf8);
// Which encoding reads bytes that hold a byte above 0x7F: UTF-8 when they are valid UTF-8, else
// the ANSI code page when they are valid there. Unknown for ASCII and for bytes neither reads.
TextEncoding DetectTextEncoding(const std::string& bytes);
// Stored text (an archive's names) into UTF-8, whichever system's program wrote it: read in
// `preferred` when valid there, else as DetectTextEncoding finds. False when no encoding reads
// the bytes and this system cannot name a file with them as they are (Windows names files in
// UTF-16: substitutes could merge two names); on Linux such bytes are kept unchanged.
bool DecodeStoredText(const std::string& bytes, TextEncoding preferred, std::string& utf8);

// Text that fits one line of a record file: every byte up to 0x20, 0x7F and '%' as %XX.
std::string EscapeLineText(const std::string& text);
// The reverse; false when an escape is malformed.
bool UnescapeLineText(const std::string& line, std::string& text);

}  // namespace nb
