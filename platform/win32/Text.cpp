#include "platform/Text.h"

#include "platform/TextSystem.h"
#include "platform/win32/Win32.h"

namespace nb {

namespace {

// No ANSI code page holds a character beyond the BMP: one '?' for it, not one per surrogate.
std::wstring WithoutSurrogatePairs(std::wstring wide) {
    std::wstring bmp;
    bmp.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                    wide[i + 1] <= 0xDFFF;
        bmp.push_back(pair ? L'?' : wide[i]);
        if (pair) ++i;
    }
    return bmp;
}

// Strict conversion into UTF-16: false at a byte sequence the code page does not define.
bool WidenStrict(UINT codePage, const std::string& bytes, std::wstring& wide) {
    wide.clear();
    if (bytes.empty()) return true;
    int n =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return false;
    wide.resize(static_cast<size_t>(n));
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                 wide.data(), n) == n;
}

}  // namespace

std::string ToSystemCodePage(const std::string& utf8) {
    std::wstring wide = WithoutSurrogatePairs(win32::Widen(utf8));
    if (wide.empty()) return {};
    int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, "?", nullptr);
    return out;
}

bool ToSystemCodePageExact(const std::string& utf8, std::string& out) {
    out.clear();
    std::wstring wide;
    if (!WidenStrict(CP_UTF8, utf8, wide)) return false;
    if (wide.empty()) return true;
    if (::GetACP() == CP_UTF8) {  // the system's optional UTF-8 code page takes no substitute flags
        out = utf8;
        return true;
    }
    // No best-fit forms either: they would turn, say, a full-width solidus into a separator.
    BOOL substituted = FALSE;
    int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                  nullptr, &substituted);
    if (n <= 0 || substituted) return false;
    out.resize(static_cast<size_t>(n));
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                          nullptr, &substituted);
    // A round trip proves no character was folded into another.
    std::wstring back;
    return !substituted && WidenStrict(CP_ACP, out, back) && back == wide;
}

std::string FromSystemCodePage(const std::string& text) {
    if (text.empty()) return {};
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return win32::Narrow(wide);
}

bool DecodeWindowsAnsi(const std::string& bytes, std::string& utf8) {
    std::wstring wide;
    if (!WidenStrict(CP_ACP, bytes, wide)) return false;
    utf8 = win32::Narrow(wide);
    return true;
}

namespace text {
// Windows names files in UTF-16: bytes no encoding reads have no name of their own there.
bool NamesTakeAnyBytes() { return false; }
}  // namespace text

}  // namespace nb
