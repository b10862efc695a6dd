#pragma once
// Private to the Win32 side (platform/win32 and the Win32 window layer): the Windows headers, and the UTF-8 <-> UTF-16
// conversions every call needs, since text inside the program is UTF-8 and the wide Win32 calls take UTF-16.
#include <windows.h>

#include <string>

// windows.h maps these names onto its own wide calls; ours must keep their names.
#undef DeleteFile
#undef CreateFile
#undef MoveFile

namespace nb::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide, size_t length);

// The system's message for a GetLastError code, without its trailing line break.
std::string ErrorText(DWORD code);

// A kernel handle closed on every path out.
class THandle {
public:
    THandle() = default;
    explicit THandle(HANDLE h) : h_(h) {}
    ~THandle() { Reset(); }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE Get() const { return h_; }
    HANDLE Release() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void Reset() {
        if (Valid()) ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// Opens an existing path for reading its data (files) or its attributes and times (folders too).
HANDLE OpenExisting(const std::string& path, DWORD access);

}  // namespace nb::win32
