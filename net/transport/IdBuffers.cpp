// The byte buffers of a connection: a plain front-consumed run and the receive queue.
#include <algorithm>
#include <cstring>

#include "net/transport/IdException.h"
#include "net/transport/IdTCPConnection.h"

namespace nb {

void TIdSimpleBuffer::Append(const void* data, int32_t count) {
    if (count <= 0) return;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    storage_.insert(storage_.end(), p, p + count);
}

uint8_t* TIdSimpleBuffer::GrowBy(int32_t count) {
    size_t old = storage_.size();
    storage_.resize(old + static_cast<size_t>(count < 0 ? 0 : count));
    return storage_.data() + old;
}

void TIdSimpleBuffer::ShrinkBy(int32_t count) {
    storage_.resize(storage_.size() -
                    static_cast<size_t>(std::clamp<int32_t>(count, 0, static_cast<int32_t>(storage_.size()))));
}

std::string TIdSimpleBuffer::TakeFront(int32_t count) {
    if (count > Size()) throw EIdNotEnoughDataInBuffer();
    std::string text(reinterpret_cast<const char*>(Unread()), static_cast<size_t>(count < 0 ? 0 : count));
    DropFront(count);
    return text;
}

void TIdSimpleBuffer::DropFront(int32_t count) {
    if (count > Size()) throw EIdNotEnoughDataInBuffer();
    if (count <= 0) return;
    if (count == Size())
        decltype(storage_)().swap(storage_);
    else
        storage_.erase(storage_.begin(), storage_.begin() + count);
    if (OnConsumed) OnConsumed(*this, count);
}

void TIdSimpleBuffer::Clear() { decltype(storage_)().swap(storage_); }

void TIdManagedBuffer::DropFront(int32_t count) {
    if (count > Size()) throw EIdNotEnoughDataInBuffer();
    if (count <= 0) return;
    if (count == Size()) {
        Clear();
    } else {
        ReadOffset += count;
        if (ReadOffset >= CompactThreshold) Compact();
    }
    if (OnConsumed) OnConsumed(*this, count);
}

// Keeps the storage's capacity: the queue refills at once, and its size stays bounded by one
// receive plus what the reader leaves unconsumed.
void TIdManagedBuffer::Clear() {
    storage_.clear();
    ReadOffset = 0;
}

void TIdManagedBuffer::Compact() {
    if (ReadOffset == 0) return;
    storage_.erase(storage_.begin(), storage_.begin() + ReadOffset);
    ReadOffset = 0;
}

}  // namespace nb
