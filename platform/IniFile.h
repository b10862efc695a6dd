#pragma once
// Private-profile (INI) files with the semantics of the Windows profile functions: a read
// falls back to the caller's default and returns at most 2047 characters; each write opens
// the file, writes one key, makes it durable and closes it, creating file and section as needed.
#include <string>

namespace nb {

class TIniFile {
public:
    explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

    const std::string& FileName() const { return fileName_; }

    // Section and key names are compared without regard to ASCII case.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    // Raises nb::Exception "Unable to write to <path>" when the file cannot be written.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    static constexpr size_t MaxReadLength = 2047;

private:
    std::string fileName_;
};

// $XDG_CONFIG_HOME/nestbridge/FtpHost.ini, $HOME/.config/nestbridge/FtpHost.ini without it.
std::string DefaultSettingsFile();

}  // namespace nb
