#pragma once
// What the workflows ask about files before they touch them, to tell the user which file stands
// in the way and why.
#include <cstdint>
#include <string>
#include <vector>

namespace nb {

// True when path itself is a symbolic link (Windows: a reparse point), whatever it points to.
bool IsSymbolicLink(const std::string& path);

// Bytes the current user may still write on the file system holding path; -1 when unknown.
int64_t DiskFreeSpace(const std::string& path);

// The paths of the list that another process holds open (Windows: that cannot be opened
// without sharing). Paths that do not exist are never in the answer.
std::vector<std::string> FilesOpenElsewhere(const std::vector<std::string>& paths);

}  // namespace nb
