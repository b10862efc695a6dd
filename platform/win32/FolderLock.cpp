// The lock is a byte range of a file in the user's temporary folder named after the folder's full
// path: Windows cannot lock a folder itself, and the data folder must not gain a file of ours.
// The system drops the range lock and deletes the file when the holder ends in any way.
#include "platform/FolderLock.h"

#include <cwctype>

#include "platform/FileSystem.h"
#include "platform/win32/Win32.h"

namespace nb {

namespace {

std::wstring LockFileName(const std::string& folder) {
    std::wstring full = win32::Widen(ExcludeTrailingPathDelimiter(ExpandFileName(folder)));
    uint64_t hash = 1469598103934665603ULL;  // FNV-1a over the case-folded path
    for (wchar_t c : full) {
        hash ^= static_cast<uint64_t>(std::towlower(c == L'/' ? L'\\' : c));
        hash *= 1099511628211ULL;
    }
    wchar_t name[64];
    swprintf(name, 64, L"nestbridge-%016llx.lock", static_cast<unsigned long long>(hash));
    return win32::Widen(GetTempDirectory()) + name;
}

}  // namespace

TFolderLock::TFolderLock(const std::string& folder) {
    if (!DirectoryExists(folder)) return;
    HANDLE h = ::CreateFileW(LockFileName(folder).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    OVERLAPPED at{};
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        ::CloseHandle(h);
        return;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
}

TFolderLock::~TFolderLock() {
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace nb
