// Listings built on the search, the same on every system.
#include "platform/FileSystem.h"

namespace nb {

std::vector<TSearchRec> FolderEntries(const std::string& folder) {
    std::vector<TSearchRec> entries;
    if (!DirectoryExists(folder)) return entries;
    TFileSearch search(JoinPath(folder, "*"), faAnyFile);
    TSearchRec rec;
    while (search.Next(rec))
        if (rec.Name != "." && rec.Name != "..") entries.push_back(rec);
    return entries;
}

std::vector<std::string> FolderEntryNames(const std::string& folder) {
    std::vector<std::string> names;
    for (auto& entry : FolderEntries(folder)) names.push_back(std::move(entry.Name));
    return names;
}

}  // namespace nb
