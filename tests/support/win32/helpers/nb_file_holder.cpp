// nb_file_holder FILE PARENT_PID: opens FILE the way the accounting program keeps its tables open
// (readers and writers shared, deletion not), prints "holding" and keeps it open until it is
// ended or the process PARENT_PID ends, two minutes at most.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count != 3) return 2;
    HANDLE file = CreateFileW(args[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::wcstoul(args[2], nullptr, 10)));
    LocalFree(args);
    std::fputs("holding\n", stdout);
    std::fflush(stdout);
    if (parent) {
        WaitForSingleObject(parent, 120000);
        CloseHandle(parent);
    } else {
        Sleep(120000);
    }
    CloseHandle(file);
    return 0;
}
