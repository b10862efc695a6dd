#include "tests/support/FolderSnapshot.h"

#include <filesystem>

#include "tests/support/TestSupport.h"

namespace nb::test {

namespace fs = std::filesystem;

void BuildFolder(const std::string& folder, const FolderContents& contents) {
    RemoveTree(folder);  // read-only files too
    fs::create_directories(FsPath(folder));
    for (const auto& [rel, content] : contents) {  // a folder sorts before what it holds
        const fs::path path = FsPath(folder) / FsPath(rel);
        if (content == "<dir>")
            fs::create_directories(path);
        else
            WriteFile(PathText(path), content);
        // What the tests name with a leading dot is hidden, as it is on Linux.
        if (PathText(path.filename()).starts_with(".")) MarkHidden(PathText(path));
    }
}

std::string DescribeDifference(const std::map<std::string, std::string>& expected,
                               const std::map<std::string, std::string>& actual) {
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
