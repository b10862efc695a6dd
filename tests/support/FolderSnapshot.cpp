#include "tests/support/FolderSnapshot.h"

#include <filesystem>

#include "tests/support/TestSupport.h"

namespace nb::test {

namespace fs = std::filesystem;

FolderSnapshot SnapshotFolder(const std::string& folder) {
    FolderSnapshot snapshot;
    if (!fs::exists(folder)) return snapshot;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = fs::relative(it->path(), folder).string();
        if (it->is_symlink())
            snapshot[rel] = "<link>" + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            snapshot[rel] = "<dir>";
        else
            snapshot[rel] = ReadFile(it->path().string());
    }
    return snapshot;
}

void RestoreSnapshot(const std::string& folder, const FolderSnapshot& snapshot) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [rel, content] : snapshot) {  // a folder sorts before what it holds
        const fs::path path = fs::path(folder) / rel;
        if (content == "<dir>")
            fs::create_directories(path);
        else if (content.rfind("<link>", 0) == 0)
            fs::create_symlink(content.substr(6), path);
        else
            WriteFile(path.string(), content);
    }
}

std::string DescribeDifference(const FolderSnapshot& expected, const FolderSnapshot& actual) {
    std::string out;
    for (const auto& [rel, content] : expected) {
        auto it = actual.find(rel);
        if (it == actual.end())
            out += "missing " + rel + "; ";
        else if (it->second != content)
            out += "changed " + rel + "; ";
    }
    for (const auto& [rel, content] : actual)
        if (!expected.count(rel)) out += "extra " + rel + "; ";
    return out.empty() ? "same" : out;
}

}  // namespace nb::test
