#pragma once
// A key below HKEY_CURRENT_USER that stands in for it in one test (TForm1Environment's
// RegistryLocation), holding the accounting program's key; removed on destruction.
#include <windows.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace nb::test {

class TestRegistry {
public:
    TestRegistry();
    ~TestRegistry();
    TestRegistry(const TestRegistry&) = delete;
    TestRegistry& operator=(const TestRegistry&) = delete;

    const std::string& Location() const { return location_; }
    // A value of the accounting program's key.
    void SetString(const std::string& name, const std::string& value);
    void SetDword(const std::string& name, DWORD value);

private:
    HKEY OpenDatabaseKey() const;
    std::string location_;
};

}  // namespace nb::test
