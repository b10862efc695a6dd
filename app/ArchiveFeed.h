#pragma once
// An archive read while it is still being written: the upload sends the bytes the archive run has
// written so far and waits for the rest, so that packing and sending overlap. The reader ends only
// once the writer says the archive is complete; a failed run fails the reader instead, so that a
// fragment never passes for a whole archive.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Stream.h"
#include "platform/Sync.h"

namespace nb {

class TArchiveFeed {
public:
    // Bytes the writer has added to the file.
    void Grew(int64_t bytes);
    // The writer is done: complete (the reader ends at the file's length) or not (the reader fails).
    void Finish(bool complete);
    bool Finished() const;

    // Waits until the file is longer than position or the writer is done. Returns the length
    // written so far; raises EReadError where the writer finished incomplete.
    int64_t WaitBeyond(int64_t position);

private:
    mutable TLock mutex_;
    TCondition grew_;
    int64_t length_ = 0;
    bool finished_ = false, complete_ = false;
};

// Writes through to the file and tells the feed each time.
class TFeedWriter : public TStream {
public:
    TFeedWriter(TStream& file, TArchiveFeed& feed) : file_(file), feed_(feed) {}
    int32_t Read(void* buffer, int32_t count) override { return file_.Read(buffer, count); }
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override { return file_.Seek(offset, origin); }
    void SetSize(int64_t size) override { file_.SetSize(size); }
    int64_t Size() override { return file_.Size(); }

private:
    TStream& file_;
    TArchiveFeed& feed_;
};

// Reads the file as far as the feed says it is written, waiting for more; seeks within it. Its
// Size() is -1 until the writer is done: the length is not known yet.
class TFeedReader : public TStream {
public:
    // Opens the file (EFOpenError where it cannot).
    TFeedReader(const std::string& path, TArchiveFeed& feed);
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t) override {}
    int64_t Size() override;

private:
    std::unique_ptr<TFileStream> file_;
    TArchiveFeed& feed_;
    int64_t position_ = 0;
};

}  // namespace nb
