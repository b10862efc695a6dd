#include "platform/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/posix/Handles.h"

namespace nb {

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool RemoveDirectoryTree(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
    bool ok = true;
    {
        TFolderListing dir(::opendir(path.c_str()));
        if (!dir.Valid()) return false;
        while (dirent* e = ::readdir(dir.Get())) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            ok = RemoveDirectoryTree(JoinPath(path, e->d_name)) && ok;
        }
    }
    return ::rmdir(path.c_str()) == 0 && ok;
}

}  // namespace nb
