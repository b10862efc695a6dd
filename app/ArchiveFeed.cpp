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
    // Only the sender's own questions: where it stands, and back to the start before it begins.
    if (origin == SeekOrigin::Current && offset == 0) return position_;
    if (origin == SeekOrigin::Begin && offset == position_) return position_;
    throw EReadError("the archive being written can only be read in order");
}

int64_t TFeedReader::Size() { return feed_.Finished() ? file_->Size() : -1; }

}  // namespace nb
