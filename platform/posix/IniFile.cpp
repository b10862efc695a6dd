#include "platform/IniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace nb {

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// An editor's byte-order mark is no part of the first line; byteOrderMark tells whether there was one.
std::vector<std::string> ReadLines(const std::string& path, bool* byteOrderMark = nullptr) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    const bool mark = !lines.empty() && StripUtf8ByteOrderMark(lines.front());
    if (byteOrderMark) *byteOrderMark = mark;
    return lines;
}

// "[name]" gives name; anything else gives false.
bool SectionName(const std::string& line, std::string& name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value" gives both, trimmed; a line without "=" is no entry.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return !key.empty() && key[0] != ';';
}

// Writes the whole text to path through a temporary file in the same folder, so that a crash
// or a full disk leaves either the old file or the new one, never a torn one.
bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string folder = ExtractFileDir(path);
    if (!folder.empty() && !DirectoryExists(folder)) {
        // The settings folder holds a password: owner only.
        if (!ForceDirectories(folder)) return false;
        ::chmod(folder.c_str(), 0700);
    }
    // A file the owner may not write is refused, as the profile functions refuse it.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) return false;
    return WriteFileDurably(path, text);
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    std::string result = defaultValue;
    bool inSection = false;
    for (const auto& line : ReadLines(fileName_)) {
        std::string name, k, v;
        if (SectionName(line, name)) {
            inSection = SameName(name, section);
            continue;
        }
        if (inSection && KeyValue(line, k, v) && SameName(k, key)) {
            // The profile functions strip one pair of enclosing quotes.
            if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
                v = v.substr(1, v.size() - 2);
            result = v;
            break;
        }
    }
    if (result.size() > MaxReadLength) result.resize(MaxReadLength);
    return result;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    bool byteOrderMark = false;
    std::vector<std::string> lines = ReadLines(fileName_, &byteOrderMark);
    std::string entry = key + "=" + value;
    bool inSection = false, sectionSeen = false, written = false;
    size_t insertAt = lines.size();
    for (size_t i = 0; i < lines.size() && !written; ++i) {
        std::string name, k, v;
        if (SectionName(lines[i], name)) {
            if (inSection) break;  // the key was not in its section: append it there
            inSection = SameName(name, section);
            if (inSection) {
                sectionSeen = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        if (KeyValue(lines[i], k, v) && SameName(k, key)) {
            lines[i] = entry;
            written = true;
        } else if (!Trim(lines[i]).empty()) {
            insertAt = i + 1;
        }
    }
    if (!written) {
        if (sectionSeen) {
            lines.insert(lines.begin() + static_cast<long>(insertAt), entry);
        } else {
            lines.push_back("[" + section + "]");
            lines.push_back(entry);
        }
    }
    std::ostringstream text;
    if (byteOrderMark) text << "\xEF\xBB\xBF";  // the file stays as its editor saved it
    for (const auto& l : lines) text << l << '\n';
    if (!ReplaceFile(fileName_, text.str())) throw Exception(Format("Unable to write to %s", fileName_.c_str()));
}

std::string DefaultSettingsFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = JoinPath(home ? home : "/", ".config");
    }
    return JoinPath(JoinPath(folder, "nestbridge"), "FtpHost.ini");
}

}  // namespace nb
