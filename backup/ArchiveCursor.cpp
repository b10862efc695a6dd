#include "backup/ArchiveCursor.h"

#include <cstring>

#include "backup/ArchiveFormat.h"
#include "backup/backup.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"

namespace nb::archive {

std::string ArchivePlace::Text() const { return Volume + " offset " + std::to_string(Offset) + ": " + What; }

EArchiveInvalid::EArchiveInvalid(ArchivePlace place)
    : Exception(BackupErrorText(beInvalidArchive)), ArchiveFault(std::move(place)) {}

ArchiveCursor::ArchiveCursor() : input_(kPieceSize) {}

ArchiveCursor::~ArchiveCursor() = default;

void ArchiveCursor::Restart(const std::string& path, TStream* stream) {
    Close();
    path_ = path;
    stream_ = stream;
    volume_ = 1;
    entry_ = ArchiveEntry{};
    inEntry_ = finished_ = false;
    section_ = Section::None;
    unread_ = 0;
}

void ArchiveCursor::OpenFile(const std::string& path) {
    Restart(path, nullptr);
    OpenVolume();
}

void ArchiveCursor::OpenStream(TStream* stream) {
    if (!stream) throw EReadError("Stream read error");
    Restart(kStreamPath, stream);
    in_ = std::make_unique<ArchiveIn>(*stream);
}

void ArchiveCursor::OpenVolume() {
    in_.reset();
    file_ = std::make_unique<TFileStream>(path_, fmOpenRead | fmShareDenyNone);
    in_ = std::make_unique<ArchiveIn>(*file_);
}

void ArchiveCursor::Close() {
    if (in_ && stream_) in_->Release();
    in_.reset();
    file_.reset();
}

ArchivePlace ArchiveCursor::PlaceAt(int64_t offset, std::string what) const {
    return ArchivePlace{path_, offset, std::move(what)};
}

void ArchiveCursor::Invalid(std::string what) const { throw EArchiveInvalid(Place(std::move(what))); }

void ArchiveCursor::Read(void* data, size_t count, const char* what) {
    at_ = in_->Position();
    try {
        in_->Read(data, count);
    } catch (const Exception& e) {
        throw EArchiveEnds(e.Message(), Place(std::string("archive ends inside the ") + what));
    }
}

int32_t ArchiveCursor::Int32(const char* what) {
    uint8_t word[4];
    Read(word, sizeof word, what);
    return GetInt32(word);
}

std::string ArchiveCursor::Text(int32_t count, const char* what) {
    at_ = in_->Position();
    try {
        return in_->ReadText(count);
    } catch (const Exception& e) {
        throw EArchiveEnds(e.Message(), Place(std::string("archive ends inside the ") + what));
    }
}

void ArchiveCursor::ReadHeader(int32_t& totalSize, int32_t& fileCount) {
    int32_t titleLength = Int32("title length");
    if (titleLength < 0) Invalid("negative title length");
    title_ = Text(titleLength, "title");
    // The program's titles hold a Korean phrase, which tells which system's program wrote them.
    encoding_ = DetectTextEncoding(title_);
    totalSize = Int32("total size");
    fileCount = Int32("file count");
}

ArchiveCursor::Step ArchiveCursor::Next() {
    if (finished_) return last_;
    RawBlock rest;
    while (section_ != Section::None) NextBlock(rest);
    for (;;) {
        int32_t length = Int32("name length (the end marker is missing)");
        if (length == 0) {
            finished_ = true;
            return last_ = Step::End;
        }
        if (length < 0) continue;  // passed over, as every reader of the format does
        std::string stored = Text(length, "name");
        if (IsContinuation(stored)) return NextVolume(stored);
        entry_.Stored = std::move(stored);
        entry_.Stamp = Int32("stamp");
        entry_.Name.clear();
        entry_.NameReadable = StoredNameText(entry_.Stored, encoding_, entry_.Name);
        inEntry_ = true;
        section_ = Section::Pending;
        return Step::Entry;
    }
}

ArchiveCursor::Step ArchiveCursor::NextVolume(const std::string& record) {
    std::string digits = record.substr(kNextDisk.size(), 3);
    // Volumes follow one another; anything else would read a foreign file or go round in circles.
    if (stream_) Invalid("continuation record in an archive read from a stream");
    if (!inEntry_) Invalid("continuation record before any entry");
    if (digits != VolumeDigits(volume_ + 1u)) Invalid("continuation record names volume \"" + digits + "\"");
    std::string next = ChangeFileExt(path_, "." + digits);
    if (!OnNeedVolume && !FileExists(next)) Invalid("volume " + std::to_string(volume_ + 1u) + " is missing: " + next);
    Close();
    if (OnNeedVolume) {
        auto number = static_cast<uint16_t>(std::stoi(digits));
        bool goOn = true;
        do goOn = OnNeedVolume(number);
        while (goOn && !FileExists(next));
        if (!goOn) {
            finished_ = true;
            return last_ = Step::Stopped;
        }
    }
    ++volume_;
    path_ = next;
    OpenVolume();
    section_ = Section::Pending;
    return Step::Continued;
}

bool ArchiveCursor::NextBlock(RawBlock& block) {
    if (section_ == Section::None) return false;
    if (unread_ > 0) SkipBlock();
    if (section_ == Section::Pending) {
        char marker[4];
        Read(marker, sizeof marker, "data section marker");
        if (std::string(marker, strnlen(marker, sizeof marker)) != "EC2") Invalid(BackupErrorText(beInvalidArchive));
        section_ = Section::Open;
    }
    int32_t length = Int32("block length");
    if (length == 0) {
        section_ = Section::None;
        return false;
    }
    // The writer never makes a longer block; a longer one could only overrun the buffers.
    if (length < -kPieceSize || length > kPieceSize)
        Invalid("block length " + std::to_string(length) + " exceeds 16384");
    block.Type = length > 0 ? RawBlock::Kind::Compressed : RawBlock::Kind::Stored;
    block.Size = length < 0 ? -length : length;
    block.Offset = at_;
    block.Data = nullptr;
    unread_ = block.Size;
    return true;
}

void ArchiveCursor::ReadBlock(RawBlock& block) { ReadBlock(block, input_.data()); }

void ArchiveCursor::ReadBlock(RawBlock& block, uint8_t* into) {
    unread_ = 0;
    Read(into, static_cast<size_t>(block.Size), "block");
    block.Data = into;
}

void ArchiveCursor::SkipBlock() {
    // Moved over rather than read: a skipped block costs no copy and, beyond the buffer, no reading.
    int32_t count = unread_;
    unread_ = 0;
    at_ = in_->Position();
    try {
        in_->Skip(count);
    } catch (const Exception& e) {
        throw EArchiveEnds(e.Message(), Place("archive ends inside the block"));
    }
}

}  // namespace nb::archive
