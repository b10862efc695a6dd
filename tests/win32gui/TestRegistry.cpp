#include "tests/win32gui/TestRegistry.h"

#include <stdexcept>

#include "app/win32gui/Style.h"

namespace nb::test {

namespace {
constexpr const char* DatabaseKey = "Software\\Marrowby\\Tallyvine\\Database";
}

TestRegistry::TestRegistry() {
    static int serial = 0;
    location_ = "Software\\NestbridgeTest\\" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++serial);
}

TestRegistry::~TestRegistry() { ::RegDeleteTreeW(HKEY_CURRENT_USER, Widen(location_).c_str()); }

HKEY TestRegistry::OpenDatabaseKey() const {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, Widen(location_ + "\\" + DatabaseKey).c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the test's registry key");
    return key;
}

void TestRegistry::SetString(const std::string& name, const std::string& value) {
    HKEY key = OpenDatabaseKey();
    std::wstring data = Widen(value);
    ::RegSetValueExW(key, Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void TestRegistry::SetDword(const std::string& name, DWORD value) {
    HKEY key = OpenDatabaseKey();
    ::RegSetValueExW(key, Widen(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::RegCloseKey(key);
}

}  // namespace nb::test
