#include "platform/win32/Win32.h"

namespace nb::win32 {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* wide, size_t length) {
    if (length == 0) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

std::string Narrow(const std::wstring& wide) { return Narrow(wide.data(), wide.size()); }

std::string ErrorText(DWORD code) {
    wchar_t* text = nullptr;
    DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 || !text) return "System error " + std::to_string(code);
    std::string out = Narrow(text, n);
    ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out;
}

HANDLE OpenExisting(const std::string& path, DWORD access) {
    return ::CreateFileW(Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace nb::win32
