#include "platform/FileSystem.h"

#include "platform/win32/Win32.h"

namespace nb {

using win32::THandle;
using win32::Widen;

bool WriteFileDurably(const std::string& path, const std::string& text) {
    const std::wstring temp = Widen(path + ".tmp");
    bool ok;
    {
        THandle h(
            ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.Valid()) return false;
        DWORD written = 0;
        ok = ::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
             written == text.size() && ::FlushFileBuffers(h.Get());
    }
    ok = ok && ::MoveFileExW(temp.c_str(), Widen(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) ::DeleteFileW(temp.c_str());
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    THandle h(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) return false;
    text.clear();
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.Get(), buffer, sizeof buffer, &n, nullptr)) return false;
        if (n == 0) return true;
        text.append(buffer, n);
    }
}

bool SyncFile(const std::string& path) {
    THandle h(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return h.Valid() && ::FlushFileBuffers(h.Get());
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    return ::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace nb
