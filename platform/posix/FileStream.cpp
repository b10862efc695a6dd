// Files on POSIX descriptors.
#include "platform/Stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace nb {

std::string SystemErrorText(int errnum) { return std::strerror(errnum); }

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : fileName_(fileName) {
    if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
        // A read-only file is not replaced, as on Windows (root would otherwise bypass the mode).
        struct stat existing {};
        if (::stat(fileName.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) && (existing.st_mode & S_IWUSR) == 0)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                       SystemErrorText(EACCES).c_str()));
        handle_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (handle_ < 0)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                       SystemErrorText(errno).c_str()));
        return;
    }
    int flags = O_CLOEXEC;
    switch (mode & 0x3) {
        case fmOpenWrite: flags |= O_WRONLY; break;
        case fmOpenReadWrite: flags |= O_RDWR; break;
        default: flags |= O_RDONLY; break;
    }
    handle_ = ::open(fileName.c_str(), flags);
    if (handle_ >= 0) {
        struct stat st {};
        if (::fstat(handle_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(handle_);
            handle_ = -1;
            errno = EISDIR;
        }
    }
    if (handle_ < 0)
        throw EFOpenError(
            Format("Cannot open file \"%s\". %s", ExpandFileName(fileName).c_str(), SystemErrorText(errno).c_str()));
}

TFileStream::~TFileStream() {
    if (handle_ >= 0) ::close(handle_);
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    ssize_t n;
    do n = ::read(handle_, buffer, static_cast<size_t>(count));
    while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : static_cast<int32_t>(n);
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    ssize_t n;
    do n = ::write(handle_, buffer, static_cast<size_t>(count));
    while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : static_cast<int32_t>(n);
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(handle_, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(handle_, static_cast<off_t>(size)) != 0) throw EWriteError("Stream write error");
    if (Position() > size) Seek(size, SeekOrigin::Begin);
}

int64_t TFileStream::Size() {
    struct stat st {};
    if (::fstat(handle_, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool TFileStream::Sync() { return ::fsync(handle_) == 0; }

}  // namespace nb
