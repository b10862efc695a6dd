#include "platform/posix/WineRegistry.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/Format.h"
#include "platform/Path.h"
#include "platform/posix/Handles.h"

namespace nb {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes a Wine-escaped text from pos up to the closing terminator (a '"' or ']'), leaving pos
// after it. Wine writes characters outside printable ASCII as \xHHHH (UTF-16 code units).
std::string Unescape(const std::string& s, size_t& pos, char terminator) {
    std::string out;
    uint32_t highSurrogate = 0;
    auto emit = [&](uint32_t unit) {
        if (unit >= 0xD800 && unit < 0xDC00) {
            highSurrogate = unit;
            return;
        }
        if (unit >= 0xDC00 && unit < 0xE000 && highSurrogate) {
            AppendUtf8(out, 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
        } else {
            AppendUtf8(out, unit);
        }
        highSurrogate = 0;
    };
    while (pos < s.size() && s[pos] != terminator) {
        char c = s[pos++];
        if (c != '\\' || pos >= s.size()) {
            out += c;
            highSurrogate = 0;
            continue;
        }
        char e = s[pos++];
        switch (e) {
            case 'n': emit('\n'); break;
            case 't': emit('\t'); break;
            case 'r': emit('\r'); break;
            case 'a': emit('\a'); break;
            case 'b': emit('\b'); break;
            case 'f': emit('\f'); break;
            case 'v': emit('\v'); break;
            case 'e': emit(0x1B); break;
            case 'x': {
                uint32_t unit = 0;
                int digits = 0;
                while (digits < 4 && pos < s.size() && HexDigit(s[pos]) >= 0) {
                    unit = unit * 16 + static_cast<uint32_t>(HexDigit(s[pos++]));
                    ++digits;
                }
                if (digits == 0)
                    out += 'x';
                else
                    emit(unit);
                break;
            }
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7': {
                uint32_t unit = static_cast<uint32_t>(e - '0');
                for (int digits = 1; digits < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++digits)
                    unit = unit * 8 + static_cast<uint32_t>(s[pos++] - '0');
                emit(unit);
                break;
            }
            default:
                out += e;
                highSurrogate = 0;
                break;  // \\ and \" and anything else stand for themselves
        }
    }
    if (pos < s.size()) ++pos;  // the terminator
    return out;
}

// Collapses doubled separators and strips the outer ones, so "\Software\\X\" and "software\x" compare alike.
std::string NormaliseKey(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += c;
    }
    if (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

}  // namespace

std::string DefaultWinePrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix && *prefix) return prefix;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

std::string ReadUserRegistryString(const std::string& location, const std::string& key, const std::string& valueName) {
    const std::string prefix = location.empty() ? DefaultWinePrefix() : location;
    std::ifstream in(JoinPath(prefix, "user.reg"), std::ios::binary);
    if (!in) return {};
    const std::string wanted = NormaliseKey(key);
    bool inKey = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            size_t pos = 1;
            inKey = SameText(NormaliseKey(Unescape(line, pos, ']')), wanted);
            continue;
        }
        if (!inKey || line.empty()) continue;
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;  // the key's default value has the empty name
        } else if (line[0] == '"') {
            pos = 1;
            name = Unescape(line, pos, '"');
        } else {
            continue;
        }
        if (pos >= line.size() || line[pos] != '=' || !SameText(name, valueName)) continue;
        std::string data = line.substr(pos + 1);
        size_t start = 0;
        if (data.rfind("\"", 0) == 0) {
            start = 1;
        } else if (data.rfind("str(2):\"", 0) == 0) {
            start = 8;
        } else {
            throw ERegistryException(Format("Invalid data type for '%s'", valueName.c_str()));
        }
        return Unescape(data, start, '"');
    }
    return {};
}

namespace {

// The entry of folder whose name equals component without regard to ASCII case ("" when none).
std::string FindCaseless(const std::string& folder, const std::string& component) {
    TFolderListing dir(::opendir(folder.c_str()));
    if (!dir.Valid()) return {};
    while (dirent* e = ::readdir(dir.Get())) {
        if (SameText(e->d_name, component)) return e->d_name;
    }
    return {};
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string MapWindowsPath(const std::string& prefix, const std::string& windowsPath) {
    if (!windowsPath.empty() && windowsPath[0] == '/') return windowsPath;
    if (windowsPath.size() < 2 || windowsPath[1] != ':' ||
        !((windowsPath[0] >= 'A' && windowsPath[0] <= 'Z') || (windowsPath[0] >= 'a' && windowsPath[0] <= 'z')))
        return {};
    std::string path = JoinPath(JoinPath(prefix, "dosdevices"), std::string(1, LowerAscii(windowsPath[0])) + ":");
    bool found = true;  // once a component is missing, the rest are taken as written
    size_t pos = 2;
    while (pos <= windowsPath.size()) {
        size_t next = windowsPath.find_first_of("\\/", pos);
        if (next == std::string::npos) next = windowsPath.size();
        std::string component = windowsPath.substr(pos, next - pos);
        pos = next + 1;
        if (component.empty() || component == ".") continue;
        std::string candidate = JoinPath(path, component);
        if (found && !Exists(candidate)) {
            std::string match = component == ".." ? std::string() : FindCaseless(path, component);
            if (match.empty())
                found = false;
            else
                candidate = JoinPath(path, match);
        }
        path = candidate;
    }
    // A trailing separator stays, so that the caller's removal of one keeps its meaning.
    char last = windowsPath.back();
    if (last == '\\' || last == '/') path += '/';
    return path;
}

std::string LocalPathOfRegistryPath(const std::string& location, const std::string& windowsPath) {
    return MapWindowsPath(location.empty() ? DefaultWinePrefix() : location, windowsPath);
}

}  // namespace nb
