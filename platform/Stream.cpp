#include "platform/Stream.h"

#include <algorithm>
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

int64_t TStream::Size() {
    int64_t pos = Seek(0, SeekOrigin::Current);
    int64_t end = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Begin);
    return end;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        int32_t n = Read(p, count);
        if (n <= 0) throw EReadError("Stream read error");
        p += n;
        count -= n;
    }
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        int32_t n = Write(p, count);
        if (n <= 0) throw EWriteError("Stream write error");
        p += n;
        count -= n;
    }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(count, 65536)));
    int64_t done = 0;
    while (done < count) {
        auto n = static_cast<int32_t>(std::min<int64_t>(count - done, static_cast<int64_t>(chunk.size())));
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        done += n;
    }
    return done;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
    if (count <= 0 || position_ >= Size()) return 0;
    auto n = static_cast<int32_t>(std::min<int64_t>(count, Size() - position_));
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    auto end = static_cast<size_t>(position_) + static_cast<size_t>(count);
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : Size();
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}

void TMemoryStream::SetSize(int64_t size) {
    data_.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
    if (position_ > size) position_ = size;
}

void TMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : fileName_(fileName) {
    if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
        // A read-only file is not replaced, as on Windows (root would otherwise bypass the mode).
        struct stat existing {};
        if (::stat(fileName.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) && (existing.st_mode & S_IWUSR) == 0)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                       SystemErrorText(EACCES).c_str()));
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0)
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
    fd_ = ::open(fileName.c_str(), flags);
    if (fd_ >= 0) {
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            errno = EISDIR;
        }
    }
    if (fd_ < 0)
        throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                 SystemErrorText(errno).c_str()));
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    ssize_t n;
    do n = ::read(fd_, buffer, static_cast<size_t>(count));
    while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : static_cast<int32_t>(n);
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    ssize_t n;
    do n = ::write(fd_, buffer, static_cast<size_t>(count));
    while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : static_cast<int32_t>(n);
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw EWriteError("Stream write error");
    if (Position() > size) Seek(size, SeekOrigin::Begin);
}

int64_t TFileStream::Size() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool TFileStream::Sync() { return ::fsync(fd_) == 0; }

}  // namespace nb
