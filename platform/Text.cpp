#include "platform/Text.h"

#include "platform/TextSystem.h"

namespace nb {

bool StripUtf8ByteOrderMark(std::string& text) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) return false;
    text.erase(0, 3);
    return true;
}

bool IsValidUtf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // range of the first continuation byte
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) lo = 0xA0;  // overlong
            if (c == 0xED) hi = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) lo = 0x90;  // overlong
            if (c == 0xF4) hi = 0x8F;  // beyond U+10FFFF
        } else {
            return false;
        }
        if (n - i <= extra) return false;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (size_t k = 2; k <= extra; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

namespace {

bool IsAscii(const std::string& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) > 0x7F) return false;
    return true;
}

bool DecodeIn(const std::string& bytes, TextEncoding encoding, std::string& utf8) {
    switch (encoding) {
        case TextEncoding::Utf8:
            if (!IsValidUtf8(bytes)) return false;
            utf8 = bytes;
            return true;
        case TextEncoding::WindowsAnsi: return DecodeWindowsAnsi(bytes, utf8);
        case TextEncoding::Unknown: break;
    }
    return false;
}

}  // namespace

TextEncoding DetectTextEncoding(const std::string& bytes) {
    if (IsAscii(bytes)) return TextEncoding::Unknown;
    // UTF-8 first: its structure rarely fits bytes of another encoding by chance, while pairs of
    // UTF-8 Korean syllables are often valid CP949 too.
    if (IsValidUtf8(bytes)) return TextEncoding::Utf8;
    std::string ignored;
    if (DecodeWindowsAnsi(bytes, ignored)) return TextEncoding::WindowsAnsi;
    return TextEncoding::Unknown;
}

bool DecodeStoredText(const std::string& bytes, TextEncoding preferred, std::string& utf8) {
    if (IsAscii(bytes)) {
        utf8 = bytes;
        return true;
    }
    if (preferred != TextEncoding::Unknown && DecodeIn(bytes, preferred, utf8)) return true;
    if (DecodeIn(bytes, DetectTextEncoding(bytes), utf8)) return true;
    if (!text::NamesTakeAnyBytes()) {
        utf8.clear();
        return false;
    }
    utf8 = bytes;
    return true;
}

std::string EscapeLineText(const std::string& text) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c == '%' || c == 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool UnescapeLineText(const std::string& line, std::string& text) {
    auto hexValue = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
    text.clear();
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '%') {
            text += line[i];
            continue;
        }
        if (i + 2 >= line.size()) return false;
        int high = hexValue(line[i + 1]), low = hexValue(line[i + 2]);
        if (high < 0 || low < 0) return false;
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

}  // namespace nb
