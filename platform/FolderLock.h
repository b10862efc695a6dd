#pragma once
// An advisory lock on a folder that only one process holds at a time. The system drops it when
// the holder ends in any way, a SIGKILL included, so a crashed run never leaves it behind, and
// it leaves no file in the folder.
#include <cstdint>
#include <string>

namespace nb {

class TFolderLock {
public:
    // Tries once, without waiting.
    explicit TFolderLock(const std::string& folder);
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    // False when another process holds the lock or the folder cannot be opened.
    bool Held() const { return handle_ != -1; }

private:
    intptr_t handle_ = -1;  // the system's handle that holds the lock
};

}  // namespace nb
