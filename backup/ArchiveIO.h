#pragma once
// Buffered reading and writing of an archive volume: the format is a stream of small words,
// which would otherwise cost one system call each.
#include <cstdint>
#include <memory>
#include <string>

namespace nb {
class TStream;
}

namespace nb::archive {

class ArchiveOut {
public:
    explicit ArchiveOut(TStream& stream);
    // Writes what is still buffered; failures here are ignored (call Flush to see them).
    ~ArchiveOut();
    ArchiveOut(const ArchiveOut&) = delete;
    ArchiveOut& operator=(const ArchiveOut&) = delete;

    // Failures raise EWriteError.
    void Write(const void* data, size_t count);
    void WriteInt32(int32_t value);
    void Flush();
    int64_t Position() const { return base_ + static_cast<int64_t>(used_); }

private:
    TStream& stream_;
    int64_t base_;
    std::unique_ptr<uint8_t[]> buffer_;  // left uninitialised: only what is used is touched
    size_t used_ = 0;
};

class ArchiveIn {
public:
    explicit ArchiveIn(TStream& stream);
    ArchiveIn(const ArchiveIn&) = delete;
    ArchiveIn& operator=(const ArchiveIn&) = delete;

    // A short read raises EReadError "Stream read error".
    void Read(void* data, size_t count);
    int32_t ReadInt32();
    // count bytes as text, taken in pieces so that a forged length costs no more than the data.
    std::string ReadText(int32_t count);
    void Skip(int64_t count);
    int64_t Position() const { return bufferStart_ + static_cast<int64_t>(next_); }
    // Leaves the underlying stream where the archive reading stopped.
    void Release();

private:
    bool Fill();
    TStream& stream_;
    int64_t bufferStart_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t next_ = 0, end_ = 0;
};

}  // namespace nb::archive
