#pragma once
// Adapters that let transfers move a file in large blocks while the data connection works in
// the small chunks of its buffer sizes: one system call per block instead of one per chunk.
#include <cstdint>
#include <vector>

#include "platform/Stream.h"

namespace nb {

// Reads ahead; for uploads, which only seek before they start.
class TReadAheadStream : public TStream {
public:
    explicit TReadAheadStream(TStream& source);

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override;

private:
    TStream& source_;
    std::vector<uint8_t> buffer_;
    size_t begin_ = 0, end_ = 0;
};

// Collects writes and passes them on in blocks; for downloads. Flush before the target is
// used elsewhere: a block that cannot be written raises EWriteError there.
class TWriteBehindStream : public TStream {
public:
    explicit TWriteBehindStream(TStream& target);

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override;
    void Flush();

private:
    TStream& target_;
    std::vector<uint8_t> pending_;
};

}  // namespace nb
