#include "platform/Stream.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"

namespace nb {

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

}  // namespace nb
