#include "backup/ArchiveIO.h"

#include <algorithm>
#include <cstring>

#include "backup/ArchiveFormat.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

namespace nb::archive {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

ArchiveOut::ArchiveOut(TStream& stream)
    : stream_(stream), base_(stream.Position()), buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)) {}

ArchiveOut::~ArchiveOut() {
    try {
        Flush();
    } catch (const Exception&) {
    }
}

void ArchiveOut::Write(const void* data, size_t count) {
    if (used_ + count > kBufferSize) Flush();
    if (count >= kBufferSize) {
        stream_.WriteBuffer(data, static_cast<int32_t>(count));
        base_ += static_cast<int64_t>(count);
        return;
    }
    std::memcpy(buffer_.get() + used_, data, count);
    used_ += count;
}

void ArchiveOut::WriteInt32(int32_t value) {
    uint8_t word[4];
    PutInt32(word, value);
    Write(word, 4);
}

void ArchiveOut::Flush() {
    if (used_ == 0) return;
    size_t n = used_;
    used_ = 0;  // a failed flush is not retried by the destructor
    stream_.WriteBuffer(buffer_.get(), static_cast<int32_t>(n));
    base_ += static_cast<int64_t>(n);
}

ArchiveIn::ArchiveIn(TStream& stream)
    : stream_(stream), bufferStart_(stream.Position()),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)) {}

bool ArchiveIn::Fill() {
    bufferStart_ += static_cast<int64_t>(end_);
    next_ = end_ = 0;
    int32_t n = stream_.Read(buffer_.get(), static_cast<int32_t>(kBufferSize));
    if (n <= 0) return false;
    end_ = static_cast<size_t>(n);
    return true;
}

void ArchiveIn::Read(void* data, size_t count) {
    auto* p = static_cast<uint8_t*>(data);
    while (count > 0) {
        if (next_ == end_ && !Fill()) throw EReadError("Stream read error");
        size_t n = std::min(count, end_ - next_);
        std::memcpy(p, buffer_.get() + next_, n);
        next_ += n;
        p += n;
        count -= n;
    }
}

int32_t ArchiveIn::ReadInt32() {
    uint8_t word[4];
    Read(word, 4);
    return GetInt32(word);
}

std::string ArchiveIn::ReadText(int32_t count) {
    if (count < 0) throw EReadError("Stream read error");
    std::string text;
    auto left = static_cast<size_t>(count);
    while (left > 0) {
        size_t piece = std::min<size_t>(left, 65536);
        size_t at = text.size();
        text.resize(at + piece);
        Read(text.data() + at, piece);
        left -= piece;
    }
    return text;
}

void ArchiveIn::Skip(int64_t count) {
    if (count <= 0) return;
    if (static_cast<uint64_t>(count) <= end_ - next_) {
        next_ += static_cast<size_t>(count);
        return;
    }
    int64_t target = Position() + count;
    if (stream_.Seek(target, SeekOrigin::Begin) != target) throw EReadError("Stream read error");
    bufferStart_ = target;
    next_ = end_ = 0;
}

void ArchiveIn::Release() { stream_.Seek(Position(), SeekOrigin::Begin); }

}  // namespace nb::archive
