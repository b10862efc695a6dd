// The settings file through the system's own profile functions, which keep it in the ANSI code
// page as the original program's copy is.
#include "platform/IniFile.h"

#include <vector>

#include "platform/Environment.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/Text.h"
#include "platform/win32/Win32.h"

namespace nb {

using win32::Widen;

namespace {

// Editors save UTF-8 with a byte-order mark, which the profile functions of Windows do not know:
// the first section's name would carry the mark and the values would be read in the code page.
// Such a file is rewritten in a form they all read: the code page when it holds every character
// (as the program's own writes are), else UTF-16 with its mark. One that cannot be rewritten is
// read as it is.
void DropByteOrderMark(const std::string& path) {
    std::string text;
    if (!ReadWholeFile(path, text) || !StripUtf8ByteOrderMark(text)) return;
    std::string bytes;
    if (!ToSystemCodePageExact(text, bytes)) {
        const std::wstring wide = Widen(text);
        bytes = "\xFF\xFE";
        bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    }
    WriteFileDurably(path, bytes);
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    DropByteOrderMark(fileName_);
    std::vector<wchar_t> buf(MaxReadLength + 1);
    DWORD n = ::GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(defaultValue).c_str(),
                                         buf.data(), static_cast<DWORD>(buf.size()), Widen(fileName_).c_str());
    std::string value = win32::Narrow(buf.data(), n);
    if (value.size() > MaxReadLength) value.resize(MaxReadLength);
    return value;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    DropByteOrderMark(fileName_);
    std::wstring file = Widen(fileName_);
    std::string folder = ExtractFileDir(fileName_);
    bool ok =
        (folder.empty() || ForceDirectories(folder)) &&
        ::WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(), file.c_str());
    // The profile functions may cache: flush the cache, then the file's bytes.
    ok = ok && (::WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str()), SyncFile(fileName_));
    if (!ok) throw Exception(Format("Unable to write to %s", fileName_.c_str()));
}

namespace {

bool FolderWritable(const std::string& folder) {
    std::string probe = CreateTempFile(folder, "nb");
    if (probe.empty()) return false;
    DeleteFile(probe);
    return true;
}

}  // namespace

// Beside the program as the original keeps it (a portable copy), unless that folder cannot be
// written (an installed copy under Program Files): then in the user's application data.
std::string DefaultSettingsFile() {
    std::string exeFolder = ExtractFilePath(ExecutablePath());
    if (!exeFolder.empty() && FolderWritable(exeFolder)) return JoinPath(exeFolder, "FtpHost.ini");
    std::string appData = EnvironmentValue("APPDATA").value_or(GetTempDirectory());
    return JoinPath(JoinPath(appData, "Nestbridge"), "FtpHost.ini");
}

}  // namespace nb
