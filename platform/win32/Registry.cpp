#include "platform/Registry.h"

#include <vector>

#include "platform/Format.h"
#include "platform/win32/Win32.h"

namespace nb {

namespace {

// A key of ours that closes on every path out.
class TRegKey {
public:
    ~TRegKey() {
        if (key_) ::RegCloseKey(key_);
    }
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

std::string ReadUserRegistryString(const std::string& location, const std::string& key, const std::string& valueName) {
    std::string path = location.empty() ? key : location + "\\" + key;
    while (!path.empty() && path.front() == '\\') path.erase(0, 1);
    TRegKey k;
    // Opened as the accounting program opens it: full access, created when absent.
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, win32::Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, k.Out(), nullptr) != ERROR_SUCCESS)
        return {};
    std::wstring name = win32::Widen(valueName);
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException(Format("Invalid data type for '%s'", valueName.c_str()));
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    size_t length = size / sizeof(wchar_t);
    while (length > 0 && data[length - 1] == L'\0') --length;
    return win32::Narrow(data.data(), length);
}

std::string LocalPathOfRegistryPath(const std::string&, const std::string& windowsPath) { return windowsPath; }

}  // namespace nb
