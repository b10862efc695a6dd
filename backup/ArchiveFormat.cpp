#include "backup/ArchiveFormat.h"

#include "backup/backup.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <vector>

namespace nb::archive {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> SplitComponents(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : name) {
        if (IsSeparator(c)) {
            parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(std::move(part));
    return parts;
}

// "..", and what Windows trims to it: dots and blanks only, two dots or more.
bool IsParentLike(const std::string& part) {
    size_t dots = 0;
    for (char c : part) {
        if (c == '.')
            ++dots;
        else if (c != ' ')
            return false;
    }
    return dots >= 2;
}

}  // namespace

std::string TrimName(const std::string& name) {
    size_t b = 0, e = name.size();
    while (b < e && static_cast<uint8_t>(name[b]) <= 0x20) ++b;
    while (e > b && static_cast<uint8_t>(name[e - 1]) <= 0x20) --e;
    return name.substr(b, e - b);
}

std::string LastComponent(const std::string& name) {
    size_t pos = name.find_last_of("\\/:");
    return pos == std::string::npos ? name : name.substr(pos + 1);
}

bool IsContinuation(const std::string& name) { return name.compare(0, kNextDisk.size(), kNextDisk) == 0; }

std::string VolumeDigits(unsigned volume) {
    std::string s = std::to_string(volume);
    if (s.size() < 3) s.insert(0, 3 - s.size(), '0');
    return s.substr(s.size() - 3);
}

bool IsSafeStoredName(const std::string& name) {
    if (name.find('\0') != std::string::npos) return false;
    for (const auto& part : SplitComponents(name))
        if (IsParentLike(part)) return false;
    std::string last = LastComponent(name);
    return !last.empty() && last != "." && !IsParentLike(last) && IsPlainFileName(last);
}

bool StoredNameText(const std::string& stored, TextEncoding encoding, std::string& name) {
    return DecodeStoredText(stored, encoding, name);
}

std::string StoredCase(const std::string& path) {
    if (!FileNamesIgnoreCase()) return path;
    // On the text before the code page, so that no byte of a double-byte character changes.
    std::string folded = path;
    for (auto& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
}

bool StoredNameBytes(const std::string& name, std::string& stored) {
    return ToSystemCodePageExact(StoredCase(name), stored);
}

bool TargetPathFor(const std::string& name, const std::string& targetFolder, bool fullPath, std::string& out) {
    if (!IsSafeStoredName(name)) return false;
    if (targetFolder.empty()) {
        out = name;
        for (auto& c : out)
            if (IsSeparator(c)) c = PathDelim;
        return true;
    }
    if (!fullPath) {
        out = targetFolder + LastComponent(name);
        return true;
    }
    // Drop a drive ("c:") and every leading separator; what remains is relative to the target.
    size_t start = 0;
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        start = 2;
    std::string rel;
    for (const auto& part : SplitComponents(name.substr(start))) {
        if (part.empty() || part == ".") continue;
        if (!IsPlainFileName(part)) return false;
        if (!rel.empty()) rel += PathDelim;
        rel += part;
    }
    if (rel.empty()) return false;
    out = targetFolder + rel;
    return true;
}

}  // namespace nb::archive

namespace nb {

std::string FormatDosStamp(int32_t stamp) {
    auto s = static_cast<uint32_t>(stamp);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", (s >> 25) + 1980, s >> 21 & 0x0F, s >> 16 & 0x1F,
                  s >> 11 & 0x1F, s >> 5 & 0x3F, (s & 0x1F) * 2);
    return buf;
}

std::string VolumePath(const std::string& firstVolume, unsigned volume) {
    // Appended rather than "." + digits: g++ 12 at -O3 warns falsely (-Wrestrict) on the insert.
    std::string ext(1, '.');
    ext += archive::VolumeDigits(volume);
    return ChangeFileExt(firstVolume, ext);
}

}  // namespace nb
