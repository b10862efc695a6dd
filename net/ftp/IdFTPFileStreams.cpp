#include "net/ftp/IdFTPFileStreams.h"

#include <algorithm>

#include "platform/Exception.h"

namespace nb {

namespace {
constexpr size_t kBlock = 65536;
}  // namespace

TReadAheadStream::TReadAheadStream(TStream& source) : source_(source), buffer_(kBlock) {}

int32_t TReadAheadStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    if (begin_ == end_) {
        begin_ = 0;
        end_ = static_cast<size_t>(std::max(0, source_.Read(buffer_.data(), static_cast<int32_t>(kBlock))));
        if (end_ == 0) return 0;
    }
    const size_t n = std::min(static_cast<size_t>(count), end_ - begin_);
    std::copy_n(buffer_.data() + begin_, n, static_cast<uint8_t*>(buffer));
    begin_ += n;
    return static_cast<int32_t>(n);
}

int32_t TReadAheadStream::Write(const void*, int32_t) { return 0; }

int64_t TReadAheadStream::Seek(int64_t offset, SeekOrigin origin) {
    const auto buffered = static_cast<int64_t>(end_ - begin_);
    if (origin == SeekOrigin::Current && offset == 0) return source_.Position() - buffered;
    if (origin == SeekOrigin::Current) offset -= buffered;
    begin_ = end_ = 0;
    return source_.Seek(offset, origin);
}

void TReadAheadStream::SetSize(int64_t) { throw EWriteError("Stream write error"); }

int64_t TReadAheadStream::Size() { return source_.Size(); }

TWriteBehindStream::TWriteBehindStream(TStream& target) : target_(target) { pending_.reserve(kBlock); }

int32_t TWriteBehindStream::Read(void* buffer, int32_t count) {
    Flush();
    return target_.Read(buffer, count);
}

int32_t TWriteBehindStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (pending_.size() + static_cast<size_t>(count) > kBlock) Flush();
    if (static_cast<size_t>(count) >= kBlock) {
        target_.WriteBuffer(bytes, count);
    } else {
        pending_.insert(pending_.end(), bytes, bytes + count);
    }
    return count;
}

int64_t TWriteBehindStream::Seek(int64_t offset, SeekOrigin origin) {
    if (origin == SeekOrigin::Current && offset == 0) return target_.Position() + static_cast<int64_t>(pending_.size());
    Flush();
    return target_.Seek(offset, origin);
}

void TWriteBehindStream::SetSize(int64_t size) {
    Flush();
    target_.SetSize(size);
}

int64_t TWriteBehindStream::Size() {
    Flush();
    return target_.Size();
}

void TWriteBehindStream::Flush() {
    if (pending_.empty()) return;
    // Emptied first: a failed block is not written again by a later flush.
    std::vector<uint8_t> block;
    block.swap(pending_);
    pending_.reserve(kBlock);
    target_.WriteBuffer(block.data(), static_cast<int32_t>(block.size()));
}

}  // namespace nb
