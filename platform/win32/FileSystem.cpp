#include "platform/FileSystem.h"

#include <vector>

#include "platform/DosStamp.h"
#include "platform/Stream.h"
#include "platform/win32/Win32.h"

namespace nb {

extern const char PathDelim = '\\';

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ' || name.find(':') != std::string::npos) return false;
    // A device name stays a device with any extension.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (auto& c : base)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (base == device) return false;
    bool numbered = base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0);
    return !(numbered && base[3] >= '1' && base[3] <= '9');
}

bool FileNamesIgnoreCase() { return true; }

namespace {

using win32::Narrow;
using win32::THandle;
using win32::Widen;

uint32_t AttrBits(DWORD native) {
    // The fa* bits are the low Windows attribute bits; a reparse point (a link) is neither a
    // plain file nor a folder of ours, so it counts as a system entry.
    uint32_t attr = native & (faReadOnly | faHidden | faSysFile | faDirectory | faArchive);
    if (native & FILE_ATTRIBUTE_REPARSE_POINT) attr |= faSysFile;
    return attr;
}

int32_t DosStampOfFileTime(const FILETIME& utc) {
    FILETIME local{};
    WORD date = 0, time = 0;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToDosDateTime(&local, &date, &time)) return -1;
    return static_cast<int32_t>(static_cast<uint32_t>(date) << 16 | time);
}

bool FileTimeOfDosStamp(int32_t dosStamp, FILETIME& utc) {
    // DosDateTimeToFileTime accepts 30 February; a stamp that names no real time is refused here.
    TDosStampParts parts{};
    if (!SplitDosStamp(dosStamp, parts)) return false;
    auto s = static_cast<uint32_t>(dosStamp);
    FILETIME local{};
    return ::DosDateTimeToFileTime(static_cast<WORD>(s >> 16), static_cast<WORD>(s & 0xFFFF), &local) &&
           ::LocalFileTimeToFileTime(&local, &utc);
}

constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;

}  // namespace

struct TFileSearch::Impl {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data{};
    bool pending = false;  // data holds an entry not yet looked at
    uint32_t mask = 0;
    ~Impl() {
        if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    }
};

TFileSearch::TFileSearch(const std::string& pattern, uint32_t attrMask) : impl_(std::make_unique<Impl>()) {
    impl_->mask = attrMask;
    impl_->find = ::FindFirstFileW(Widen(pattern).c_str(), &impl_->data);
    impl_->pending = impl_->find != INVALID_HANDLE_VALUE;
}

TFileSearch::~TFileSearch() = default;

bool TFileSearch::Next(TSearchRec& rec) {
    constexpr uint32_t excludable = faHidden | faSysFile | faVolumeID | faDirectory;
    while (impl_->pending) {
        WIN32_FIND_DATAW d = impl_->data;
        impl_->pending = ::FindNextFileW(impl_->find, &impl_->data) != 0;
        uint32_t attr = AttrBits(d.dwFileAttributes);
        if ((attr & excludable & ~impl_->mask) != 0) continue;
        rec.Name = Narrow(d.cFileName, wcslen(d.cFileName));
        rec.Attr = attr;
        rec.Size = static_cast<int64_t>(static_cast<uint64_t>(d.nFileSizeHigh) << 32 | d.nFileSizeLow);
        int32_t stamp = DosStampOfFileTime(d.ftLastWriteTime);
        rec.Time = stamp == -1 ? 0 : stamp;
        const auto ticks = static_cast<int64_t>(static_cast<uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32 |
                                                d.ftLastWriteTime.dwLowDateTime);
        rec.WriteTime = (ticks - kUnixEpochInFileTime) * 100;
        return true;
    }
    return false;
}

int32_t FileGetAttr(const std::string& path) {
    DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<int32_t>(AttrBits(a));
}

bool ClearArchiveAttr(const std::string& path) {
    std::wstring w = Widen(path);
    DWORD a = ::GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    if ((a & FILE_ATTRIBUTE_ARCHIVE) == 0) return true;
    DWORD rest = a & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE);
    return ::SetFileAttributesW(w.c_str(), rest == 0 ? FILE_ATTRIBUTE_NORMAL : rest) != 0;
}

bool FileExists(const std::string& path) {
    DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
    if (path.empty()) return false;
    DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDir(const std::string& path) {
    return !path.empty() && ::CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

bool DeleteFile(const std::string& path) { return ::DeleteFileW(Widen(path).c_str()) != 0; }

bool RemoveDir(const std::string& path) { return ::RemoveDirectoryW(Widen(path).c_str()) != 0; }

bool RenameFile(const std::string& from, const std::string& to) {
    return ::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           0;
}

// Windows has no flush of a folder: the renames that must last are made with MOVEFILE_WRITE_THROUGH.
bool SyncDirectory(const std::string& path) { return path.empty() || DirectoryExists(path); }

int32_t FileAge(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return DosStampOfFileTime(data.ftLastWriteTime);
}

int32_t FileGetDate(TFileStream& file) {
    FILETIME written{};
    if (!::GetFileTime(reinterpret_cast<HANDLE>(file.NativeHandle()), nullptr, nullptr, &written)) return -1;
    return DosStampOfFileTime(written);
}

bool FileSetDate(TFileStream& file, int32_t dosStamp) {
    FILETIME utc{};
    return FileTimeOfDosStamp(dosStamp, utc) &&
           ::SetFileTime(reinterpret_cast<HANDLE>(file.NativeHandle()), nullptr, nullptr, &utc) != 0;
}

int32_t UnixToDosStamp(int64_t unixSeconds) {
    ULARGE_INTEGER t{};
    t.QuadPart = static_cast<uint64_t>(unixSeconds * 10000000LL + kUnixEpochInFileTime);
    FILETIME utc{t.LowPart, t.HighPart};
    return DosStampOfFileTime(utc);
}

bool DosStampToUnix(int32_t dosStamp, int64_t& unixSeconds) {
    FILETIME utc{};
    if (!FileTimeOfDosStamp(dosStamp, utc)) return false;
    ULARGE_INTEGER t{};
    t.LowPart = utc.dwLowDateTime;
    t.HighPart = utc.dwHighDateTime;
    unixSeconds = (static_cast<int64_t>(t.QuadPart) - kUnixEpochInFileTime) / 10000000LL;
    return true;
}

std::string GetCurrentDir() {
    DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring buf(n, L'\0');
    n = ::GetCurrentDirectoryW(n, buf.data());
    buf.resize(n);
    return Narrow(buf);
}

std::string ExpandFileName(const std::string& path) {
    if (path.empty()) return path;
    std::wstring w = Widen(path);
    DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    full.resize(n);
    return Narrow(full);
}

std::string GetTempDirectory() {
    wchar_t buf[MAX_PATH + 2];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
    return IncludeTrailingPathDelimiter(n == 0 ? std::string("C:\\") : Narrow(buf, n));
}

std::string CreateTempFile(const std::string& folder, const std::string& prefix) {
    // GetTempFileName takes three characters of the prefix and 65535 numbers; a longer prefix
    // keeps its whole text by creating the name ourselves.
    if (prefix.size() <= 3) {
        wchar_t name[MAX_PATH];
        if (::GetTempFileNameW(Widen(folder).c_str(), Widen(prefix).c_str(), 0, name) == 0) return {};
        return Narrow(name, wcslen(name));
    }
    std::string base = JoinPath(folder, prefix);
    for (uint32_t attempt = 0; attempt < 100000; ++attempt) {
        char suffix[16];
        snprintf(suffix, sizeof suffix, "%06lX",
                 static_cast<unsigned long>((::GetTickCount64() * 7919u + attempt * 104729u) & 0xFFFFFF));
        std::string name = base + suffix;
        THandle h(
            ::CreateFileW(Widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (h.Valid()) return name;
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

std::string ExecutablePath() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return Narrow(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

}  // namespace nb
