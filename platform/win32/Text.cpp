#include "platform/Text.h"

#include "platform/win32/Win32.h"

namespace nb {

std::string ToSystemCodePage(const std::string& utf8) {
    std::wstring wide = win32::Widen(utf8);
    if (wide.empty()) return {};
    // No ANSI code page holds a character beyond the BMP: one '?' for it, not one per surrogate.
    std::wstring bmp;
    bmp.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                    wide[i + 1] <= 0xDFFF;
        bmp.push_back(pair ? L'?' : wide[i]);
        if (pair) ++i;
    }
    wide.swap(bmp);
    int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, "?", nullptr);
    return out;
}

std::string FromSystemCodePage(const std::string& text) {
    if (text.empty()) return {};
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return win32::Narrow(wide);
}

}  // namespace nb
