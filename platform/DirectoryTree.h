#pragma once
// Removal of a folder the program made for itself, with everything in it.
#include <string>

namespace nb {

// Removes path and everything below it, read-only entries included, without following
// symbolic links. True when nothing is left (also when path did not exist).
bool RemoveDirectoryTree(const std::string& path);

// True when something (file, folder, link, anything) stands at path.
bool PathExists(const std::string& path);

}  // namespace nb
