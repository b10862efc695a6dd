// Path text, the same on every system but for the separator: Windows also takes '/'.
#include "platform/FileSystem.h"

namespace nb {

namespace {

bool IsDelimiter(char c) { return c == PathDelim || c == '/'; }

size_t LastDelimiter(const std::string& path) {
    for (size_t i = path.size(); i-- > 0;)
        if (IsDelimiter(path[i])) return i;
    return std::string::npos;
}

// A folder's own root keeps its separator: "/", "C:\".
bool IsRootPrefix(const std::string& path, size_t delimiter) {
    return delimiter == 0 || (delimiter == 2 && path[1] == ':');
}

}  // namespace

std::string ExtractFilePath(const std::string& path) {
    size_t pos = LastDelimiter(path);
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string ExtractFileDir(const std::string& path) {
    size_t pos = LastDelimiter(path);
    if (pos == std::string::npos) return {};
    return IsRootPrefix(path, pos) ? path.substr(0, pos + 1) : path.substr(0, pos);
}

std::string ExtractFileName(const std::string& path) {
    size_t pos = LastDelimiter(path);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string ExtractFileExt(const std::string& path) {
    size_t slash = LastDelimiter(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    return path.substr(0, path.size() - ExtractFileExt(path).size()) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    return !path.empty() && IsDelimiter(path.back()) ? path : path + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
    return !path.empty() && IsDelimiter(path.back()) ? path.substr(0, path.size() - 1) : path;
}

bool ForceDirectories(const std::string& path) {
    if (DirectoryExists(path)) return true;
    std::string dir = ExcludeTrailingPathDelimiter(path);
    if (dir.empty()) return false;
    std::string parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir && !ForceDirectories(parent)) return false;
    return CreateDir(dir) || DirectoryExists(dir);
}

}  // namespace nb
