#include "platform/FileSystem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

namespace nb {

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int64_t DiskFreeSpace(const std::string& path) {
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0) return -1;
    return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
}

// Linux has no share modes: a file is in use when some other process has a descriptor on it,
// which /proc/<pid>/fd shows for every process the current user may inspect.
std::vector<std::string> FilesOpenElsewhere(const std::vector<std::string>& paths) {
    std::map<std::pair<dev_t, ino_t>, const std::string*> wanted;
    for (const auto& path : paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) wanted[{st.st_dev, st.st_ino}] = &path;
    }
    std::vector<std::string> held;
    if (wanted.empty()) return held;
    const std::string self = std::to_string(::getpid());
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc) return held;
    std::map<const std::string*, bool> found;
    while (dirent* p = ::readdir(proc.get())) {
        if (p->d_name[0] < '1' || p->d_name[0] > '9' || self == p->d_name) continue;
        const std::string fdFolder = JoinPath(JoinPath("/proc", p->d_name), "fd");
        std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(fdFolder.c_str()), ::closedir);
        if (!fds) continue;
        while (dirent* f = ::readdir(fds.get())) {
            if (f->d_name[0] == '.') continue;
            struct stat st {};
            if (::stat(JoinPath(fdFolder, f->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            auto it = wanted.find({st.st_dev, st.st_ino});
            if (it != wanted.end()) found[it->second] = true;
        }
    }
    for (const auto& path : paths)
        if (found.count(&path)) held.push_back(path);
    return held;
}

}  // namespace nb
