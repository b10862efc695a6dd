#include "platform/FileSystem.h"

#include "platform/win32/Win32.h"

namespace nb {

using win32::Widen;

bool IsSymbolicLink(const std::string& path) {
    DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

int64_t DiskFreeSpace(const std::string& path) {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(Widen(path).c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<int64_t>(available.QuadPart);
}

// A file is in the way of the swap when it cannot be opened for moving: some other process holds
// it open without delete sharing, as the accounting program does with its tables.
std::vector<std::string> FilesOpenElsewhere(const std::vector<std::string>& paths) {
    std::vector<std::string> held;
    for (const auto& path : paths) {
        std::wstring w = Widen(path);
        DWORD a = ::GetFileAttributesW(w.c_str());
        if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) continue;
        win32::THandle h(::CreateFileW(w.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!h.Valid() && ::GetLastError() == ERROR_SHARING_VIOLATION) held.push_back(path);
    }
    return held;
}

}  // namespace nb
