#include "platform/FileSystem.h"

#include "platform/win32/Win32.h"

namespace nb {

using win32::Widen;

bool PathExists(const std::string& path) {
    return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

bool RemoveTree(const std::wstring& path) {
    DWORD attr = ::GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) {
        DWORD e = ::GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
    }
    if (attr & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(path.c_str(), attr & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if ((attr & FILE_ATTRIBUTE_DIRECTORY) == 0) return ::DeleteFileW(path.c_str()) != 0;
    // A linked folder is removed as the link itself: what it points to is not ours.
    if (attr & FILE_ATTRIBUTE_REPARSE_POINT) return ::RemoveDirectoryW(path.c_str()) != 0;
    bool ok = true;
    WIN32_FIND_DATAW d{};
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &d);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(d.cFileName, L".") == 0 || wcscmp(d.cFileName, L"..") == 0) continue;
            ok = RemoveTree(path + L"\\" + d.cFileName) && ok;
        } while (::FindNextFileW(find, &d));
        ::FindClose(find);
    }
    return ::RemoveDirectoryW(path.c_str()) != 0 && ok;
}

}  // namespace

bool RemoveDirectoryTree(const std::string& path) {
    std::string p = path;
    while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    return RemoveTree(Widen(p));
}

}  // namespace nb
