#pragma once
// Path text: how paths are joined and taken apart, with the system's separator ('/' on Linux,
// '\\' on Windows, which also takes '/').
#include <string>

namespace nb {

extern const char PathDelim;

// The one way to build a path: folder, one separator (none more where folder ends in one), name;
// name alone when folder is empty.
std::string JoinPath(const std::string& folder, const std::string& name);

// Lexical full-path expansion: current folder applied, "." and ".." resolved as text.
std::string ExpandFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path);  // folder part with its trailing separator
std::string ExtractFileDir(const std::string& path);   // folder part without it
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);  // from the last dot of the last component
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);  // removes one trailing separator
std::string GetCurrentDir();

}  // namespace nb
