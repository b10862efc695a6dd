#pragma once
// Folders described as maps, for making a data folder in a known state and for saying how a
// folder differs from what was expected.
#include <map>
#include <string>

namespace nb::test {

// Relative path -> the file's bytes, or "<dir>" for a folder.
using FolderContents = std::map<std::string, std::string>;

// Makes folder hold exactly contents (the folder is emptied, or created when missing); names
// with a leading dot are hidden.
void BuildFolder(const std::string& folder, const FolderContents& contents);
// A short description of how two path-keyed maps differ, for failure messages.
std::string DescribeDifference(const std::map<std::string, std::string>& expected,
                               const std::map<std::string, std::string>& actual);

}  // namespace nb::test
