#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace nb {

TFolderLock::TFolderLock(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    handle_ = fd;
}

TFolderLock::~TFolderLock() {
    if (handle_ != -1) ::close(static_cast<int>(handle_));  // closing the last descriptor releases the lock
}

}  // namespace nb
