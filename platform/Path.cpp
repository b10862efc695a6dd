// Path text, the same on every system but for the separator: Windows also takes '/'.
#include "platform/Path.h"

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

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool MatchFrom(const std::string& pat, size_t p, const std::string& name, size_t n) {
    while (p < pat.size()) {
        char pc = pat[p];
        if (pc == '*') {
            while (p < pat.size() && pat[p] == '*') ++p;
            if (p == pat.size()) return true;
            for (size_t k = n; k <= name.size(); ++k)
                if (MatchFrom(pat, p, name, k)) return true;
            return false;
        }
        if (n >= name.size()) return false;
        if (pc != '?' && LowerAscii(pc) != LowerAscii(name[n])) return false;
        ++p;
        ++n;
    }
    return n == name.size();
}

}  // namespace

// Windows matching: "*.*" takes every name and a trailing ".*" may also match no extension at all.
bool MatchesFileMask(const std::string& name, const std::string& mask) {
    if (mask == "*.*" || mask == "*") return true;
    if (MatchFrom(mask, 0, name, 0)) return true;
    if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0)
        return MatchFrom(mask.substr(0, mask.size() - 2), 0, name, 0);
    return false;
}

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

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : IncludeTrailingPathDelimiter(folder) + name;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    return !path.empty() && IsDelimiter(path.back()) ? path : path + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
    return !path.empty() && IsDelimiter(path.back()) ? path.substr(0, path.size() - 1) : path;
}

}  // namespace nb
