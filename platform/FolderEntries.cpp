#include "platform/FolderEntries.h"

namespace nb {

std::string JoinPath(const std::string& folder, const std::string& name) { return folder + PathDelim + name; }

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
