#include "app/ArchiveFeed.h"

#include <algorithm>

#include "platform/Exception.h"

namespace nb {

void TArchiveFeed::Grew(int64_t bytes) {
    {
        std::lock_guard lock(mutex_);
        length_ += bytes;
    }
    grew_.notify_all();
}

void TArchiveFeed::Finish(bool complete) {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        complete_ = complete;
    }
    grew_.notify_all();
}

bool TArchiveFeed::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

int64_t TArchiveFeed::WaitBeyond(int64_t position) {
    std::unique_lock lock(mutex_);
    grew_.wait(lock, [&] { return length_ > position || finished_; });
    if (finished_ && !complete_) throw EReadError("the archive run did not complete");
    return length_;
}

int32_t TFeedWriter::Write(const void* buffer, int32_t count) {
    const int32_t written = file_.Write(buffer, count);
    if (written > 0) feed_.Grew(written);
    return written;
}

TFeedReader::TFeedReader(const std::string& path, TArchiveFeed& feed)
    : file_(std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyNone)), feed_(feed) {}

int32_t TFeedReader::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    const int64_t written = feed_.WaitBeyond(position_);
    const auto want = static_cast<int32_t>(std::min<int64_t>(count, written - position_));
    if (want <= 0) return 0;  // the writer is done and everything was read
    const int32_t got = file_->Read(buffer, want);
    if (got <= 0) throw EReadError("Stream read error");
    position_ += got;
    return got;
}

int64_t TFeedReader::Seek(int64_t offset, SeekOrigin origin) {
    if (origin == SeekOrigin::End) {
        // Only a finished archive has an end to count from.
        if (!feed_.Finished()) throw EReadError("the archive being written has no end yet");
        offset += file_->Size();
    } else if (origin == SeekOrigin::Current) {
        offset += position_;
    }
    if (offset < 0) throw EReadError("Stream read error");
    // Beyond what is written: as far as the writer gets.
    if (offset > 0) offset = std::min(offset, feed_.WaitBeyond(offset - 1));
    position_ = file_->Seek(offset, SeekOrigin::Begin);
    return position_;
}

int64_t TFeedReader::Size() { return feed_.Finished() ? file_->Size() : -1; }

}  // namespace nb
