#pragma once
// Folder listings and path joins the components share.
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace nb {

// folder + the system's separator + name.
std::string JoinPath(const std::string& folder, const std::string& name);
// Every entry of a folder but "." and "..", hidden and system ones included (none when the
// folder does not exist).
std::vector<TSearchRec> FolderEntries(const std::string& folder);
std::vector<std::string> FolderEntryNames(const std::string& folder);

}  // namespace nb
