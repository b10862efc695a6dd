#pragma once
// Everything a folder holds (hidden entries and subfolders included), for comparing a folder
// with what it held before.
#include <map>
#include <string>

namespace nb::test {

// Relative path -> the file's bytes, "<dir>" for a folder, "<link>target" for a symbolic link.
using FolderSnapshot = std::map<std::string, std::string>;

FolderSnapshot SnapshotFolder(const std::string& folder);
// Makes folder hold exactly snapshot (the folder itself is created when missing).
void RestoreSnapshot(const std::string& folder, const FolderSnapshot& snapshot);
// A short description of how two snapshots differ, for failure messages.
std::string DescribeDifference(const FolderSnapshot& expected, const FolderSnapshot& actual);

}  // namespace nb::test
