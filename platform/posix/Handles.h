#pragma once
// The POSIX handles the platform layer owns: file descriptors and folder listings.
#include <dirent.h>
#include <unistd.h>

#include "platform/UniqueHandle.h"

namespace nb {

struct DescriptorTraits {
    using Handle = int;
    static int Invalid() { return -1; }
    static bool Close(int fd) { return ::close(fd) == 0; }
};
struct FolderListingTraits {
    using Handle = DIR*;
    static DIR* Invalid() { return nullptr; }
    static bool Close(DIR* dir) { return ::closedir(dir) == 0; }
};

using TDescriptor = UniqueHandle<DescriptorTraits>;
using TFolderListing = UniqueHandle<FolderListingTraits>;

}  // namespace nb
