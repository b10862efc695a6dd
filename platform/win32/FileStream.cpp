// Files on Win32 handles, with the share modes the callers ask for.
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/Stream.h"
#include "platform/win32/Win32.h"

namespace nb {

std::string SystemErrorText(int errnum) { return win32::ErrorText(static_cast<DWORD>(errnum)); }

namespace {

DWORD ShareOf(uint32_t mode) {
    switch (mode & 0xF0) {
        case fmShareExclusive: return 0;
        case fmShareDenyWrite: return FILE_SHARE_READ;
        case fmShareDenyRead: return FILE_SHARE_WRITE;
        // Nor a rename: a file sent while it is written is renamed into place under its reader.
        case fmShareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        default: return FILE_SHARE_READ | FILE_SHARE_WRITE;  // compatibility mode
    }
}

HANDLE Native(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : fileName_(fileName) {
    std::wstring name = win32::Widen(fileName);
    if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
        HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, ShareOf(mode & 0xF0), nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                       SystemErrorText(static_cast<int>(::GetLastError())).c_str()));
        handle_ = reinterpret_cast<intptr_t>(h);
        return;
    }
    DWORD access = GENERIC_READ;
    if ((mode & 0x3) == fmOpenWrite) access = GENERIC_WRITE;
    if ((mode & 0x3) == fmOpenReadWrite) access = GENERIC_READ | GENERIC_WRITE;
    HANDLE h =
        ::CreateFileW(name.c_str(), access, ShareOf(mode), nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                 SystemErrorText(static_cast<int>(::GetLastError())).c_str()));
    handle_ = reinterpret_cast<intptr_t>(h);
}

TFileStream::~TFileStream() {
    if (handle_ != -1) ::CloseHandle(Native(handle_));
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    DWORD n = 0;
    if (!::ReadFile(Native(handle_), buffer, static_cast<DWORD>(count), &n, nullptr)) return 0;
    return static_cast<int32_t>(n);
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    DWORD n = 0;
    if (!::WriteFile(Native(handle_), buffer, static_cast<DWORD>(count), &n, nullptr)) return 0;
    return static_cast<int32_t>(n);
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
    DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER to{}, now{};
    to.QuadPart = offset;
    if (!::SetFilePointerEx(Native(handle_), to, &now, method)) return -1;
    return now.QuadPart;
}

void TFileStream::SetSize(int64_t size) {
    int64_t position = Position();
    if (Seek(size, SeekOrigin::Begin) < 0 || !::SetEndOfFile(Native(handle_))) throw EWriteError("Stream write error");
    Seek(position > size ? size : position, SeekOrigin::Begin);
}

int64_t TFileStream::Size() {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Native(handle_), &size)) return -1;
    return size.QuadPart;
}

bool TFileStream::Sync() { return ::FlushFileBuffers(Native(handle_)) != 0; }

}  // namespace nb
