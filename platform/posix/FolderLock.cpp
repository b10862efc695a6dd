#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/posix/Handles.h"

namespace nb {

TFolderLock::TFolderLock(const std::string& folder) {
    TDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid() || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return;
    handle_ = fd.Release();
}

TFolderLock::~TFolderLock() {
    TDescriptor lock(static_cast<int>(handle_));  // closing the last descriptor releases the lock
}

}  // namespace nb
