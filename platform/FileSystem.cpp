// What is the same on every system: folders made with their parents, listings built on the search.
#include "platform/FileSystem.h"

namespace nb {

bool ForceDirectories(const std::string& path) {
    if (DirectoryExists(path)) return true;
    std::string dir = ExcludeTrailingPathDelimiter(path);
    if (dir.empty()) return false;
    std::string parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir && !ForceDirectories(parent)) return false;
    return CreateDir(dir) || DirectoryExists(dir);
}

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
