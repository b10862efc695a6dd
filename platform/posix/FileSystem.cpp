#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "platform/DosStamp.h"
#include "platform/Stream.h"
#include "platform/posix/Handles.h"

namespace nb {

extern const char PathDelim = '/';

bool IsPlainFileName(const std::string& name) { return !name.empty(); }

bool FileNamesIgnoreCase() { return false; }

namespace {

constexpr const char* kDosAttrName = "user.DOSATTRIB";
constexpr const char* kArchivedMark = "user.nestbridge.archived";

// user.DOSATTRIB as Wine and older Samba write it: the attribute word as "0x..." text.
uint32_t DosAttribBits(const std::string& path) {
    char buf[64];
    ssize_t n = ::getxattr(path.c_str(), kDosAttrName, buf, sizeof buf - 1);
    if (n <= 2) return 0;
    buf[n] = '\0';
    if (buf[0] != '0' || (buf[1] != 'x' && buf[1] != 'X')) return 0;
    return static_cast<uint32_t>(std::strtoul(buf + 2, nullptr, 16));
}

std::string ArchivedMarkValue(const struct stat& st) {
    return std::to_string(static_cast<long long>(st.st_mtim.tv_sec)) + "." +
           std::to_string(static_cast<long long>(st.st_mtim.tv_nsec)) + " " +
           std::to_string(static_cast<long long>(st.st_size));
}

bool ArchivedMarkMatches(const std::string& path, const struct stat& st) {
    char buf[96];
    ssize_t n = ::getxattr(path.c_str(), kArchivedMark, buf, sizeof buf);
    if (n < 0) return false;
    return std::string(buf, static_cast<size_t>(n)) == ArchivedMarkValue(st);
}

int32_t AttrOf(const std::string& path, const std::string& name, const struct stat& st) {
    uint32_t attr = 0;
    bool dir = S_ISDIR(st.st_mode);
    if (dir) attr |= faDirectory;
    if (!dir && !S_ISREG(st.st_mode)) attr |= faSysFile;
    if ((st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attr |= faHidden;
    attr |= DosAttribBits(path) & (faHidden | faSysFile);
    if (S_ISREG(st.st_mode) && !ArchivedMarkMatches(path, st)) attr |= faArchive;
    return static_cast<int32_t>(attr);
}

bool StatPath(const std::string& path, struct stat& st) {
    if (::stat(path.c_str(), &st) == 0) return true;
    return ::lstat(path.c_str(), &st) == 0;  // a dangling link still is an entry
}

}  // namespace

struct TFileSearch::Impl {
    std::string folder;
    std::vector<std::string> names;
    size_t next = 0;
    uint32_t mask = 0;
};

TFileSearch::TFileSearch(const std::string& pattern, uint32_t attrMask) : impl_(std::make_unique<Impl>()) {
    impl_->mask = attrMask;
    impl_->folder = ExtractFilePath(pattern);
    std::string namePattern = ExtractFileName(pattern);
    TFolderListing dir(::opendir(impl_->folder.empty() ? "." : impl_->folder.c_str()));
    if (!dir.Valid()) return;
    while (dirent* e = ::readdir(dir.Get())) {
        std::string name = e->d_name;
        if (MatchesFileMask(name, namePattern)) impl_->names.push_back(std::move(name));
    }
    dir.Reset();
    // Directory order is arbitrary here; name order keeps runs repeatable.
    std::sort(impl_->names.begin(), impl_->names.end());
}

TFileSearch::~TFileSearch() = default;

bool TFileSearch::Next(TSearchRec& rec) {
    constexpr uint32_t excludable = faHidden | faSysFile | faVolumeID | faDirectory;
    while (impl_->next < impl_->names.size()) {
        const std::string& name = impl_->names[impl_->next++];
        std::string path = impl_->folder + name;
        struct stat st {};
        if (!StatPath(path, st)) continue;
        auto attr = static_cast<uint32_t>(AttrOf(path, name, st));
        if ((attr & excludable & ~impl_->mask) != 0) continue;
        rec.Name = name;
        rec.Attr = attr;
        rec.Size = static_cast<int64_t>(st.st_size);
        int32_t stamp = UnixToDosStamp(static_cast<int64_t>(st.st_mtime));
        rec.Time = stamp == -1 ? 0 : stamp;
        rec.WriteTime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        return true;
    }
    return false;
}

int32_t FileGetAttr(const std::string& path) {
    struct stat st {};
    if (!StatPath(path, st)) return -1;
    return AttrOf(path, ExtractFileName(ExcludeTrailingPathDelimiter(path)), st);
}

bool ClearArchiveAttr(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) return true;
    std::string value = ArchivedMarkValue(st);
    if (::setxattr(path.c_str(), kArchivedMark, value.data(), value.size(), 0) == 0) return true;
    return errno == ENOTSUP;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) { return !path.empty() && ::mkdir(path.c_str(), 0755) == 0; }

bool DeleteFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) return false;
    return ::unlink(path.c_str()) == 0;
}

bool RemoveDir(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool SyncDirectory(const std::string& path) {
    TDescriptor fd(::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.Valid() && ::fsync(fd.Get()) == 0;
}

int32_t FileAge(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return UnixToDosStamp(static_cast<int64_t>(st.st_mtime));
}

int32_t FileGetDate(TFileStream& file) {
    struct stat st {};
    if (::fstat(static_cast<int>(file.NativeHandle()), &st) != 0) return -1;
    return UnixToDosStamp(static_cast<int64_t>(st.st_mtime));
}

bool FileSetDate(TFileStream& file, int32_t dosStamp) {
    int64_t secs = 0;
    if (!DosStampToUnix(dosStamp, secs)) return false;
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(secs);
    return ::futimens(static_cast<int>(file.NativeHandle()), times) == 0;
}

int32_t UnixToDosStamp(int64_t unixSeconds) {
    auto t = static_cast<time_t>(unixSeconds);
    tm local{};
    if (!localtime_r(&t, &local)) return -1;
    int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return -1;
    uint32_t stamp = static_cast<uint32_t>(year - 1980) << 25 | static_cast<uint32_t>(local.tm_mon + 1) << 21 |
                     static_cast<uint32_t>(local.tm_mday) << 16 | static_cast<uint32_t>(local.tm_hour) << 11 |
                     static_cast<uint32_t>(local.tm_min) << 5 | static_cast<uint32_t>(local.tm_sec / 2);
    return static_cast<int32_t>(stamp);
}

bool DosStampToUnix(int32_t dosStamp, int64_t& unixSeconds) {
    TDosStampParts p{};
    if (!SplitDosStamp(dosStamp, p)) return false;
    tm local{};
    local.tm_year = p.Year - 1900;
    local.tm_mon = p.Month - 1;
    local.tm_mday = p.Day;
    local.tm_hour = p.Hour;
    local.tm_min = p.Minute;
    local.tm_sec = p.Second;
    local.tm_isdst = -1;
    time_t t = mktime(&local);
    if (t == static_cast<time_t>(-1)) return false;
    unixSeconds = static_cast<int64_t>(t);
    return true;
}

std::string GetCurrentDir() {
    std::vector<char> buf(PATH_MAX);
    if (!::getcwd(buf.data(), buf.size())) return "/";
    return buf.data();
}

std::string ExpandFileName(const std::string& path) {
    if (path.empty()) return path;
    std::string full = path[0] == '/' ? path : IncludeTrailingPathDelimiter(GetCurrentDir()) + path;
    bool trailing = full.size() > 1 && full.back() == '/';
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find('/', start);
        if (end == std::string::npos) end = full.size();
        std::string part = full.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    if (out.empty()) return "/";
    if (trailing) out += '/';
    return out;
}

std::string GetTempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return IncludeTrailingPathDelimiter(dir && *dir ? dir : "/tmp");
}

std::string CreateTempFile(const std::string& folder, const std::string& prefix) {
    std::string templ = JoinPath(folder, prefix + "XXXXXX");
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    TDescriptor fd(::mkstemp(buf.data()));
    if (!fd.Valid()) return {};
    return buf.data();
}

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), PATH_MAX);
    return n <= 0 ? std::string() : std::string(buf.data(), static_cast<size_t>(n));
}

}  // namespace nb
