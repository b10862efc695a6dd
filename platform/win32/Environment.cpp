#include "platform/Environment.h"

#include "platform/win32/Win32.h"

#include <shellapi.h>

namespace nb {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    std::wstring wname = win32::Widen(name);
    DWORD n = ::GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0) return std::nullopt;
    std::wstring value(n, L'\0');
    n = ::GetEnvironmentVariableW(wname.c_str(), value.data(), n);
    value.resize(n);
    return win32::Narrow(value);
}

std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> out;
    if (!args) return out;
    for (int i = 1; i < count; ++i) out.push_back(win32::Narrow(args[i], wcslen(args[i])));
    ::LocalFree(args);
    return out;
}

void TerminateProcessNow() {
    ::TerminateProcess(::GetCurrentProcess(), 137);
    ::ExitProcess(137);
}

}  // namespace nb
