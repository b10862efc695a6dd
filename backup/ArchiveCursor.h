#pragma once
// The one reading of the archive format: the header, then entry after entry with the blocks of
// each data section, from volume to volume as continuation records lead. What is done with the
// entries (restore, verify, list) is the caller's; block contents are decoded by BlockCodec.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/ArchiveIO.h"
#include "backup/BlockCodec.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace nb {
class TFileStream;
}

namespace nb::archive {

// Where a fault lies, as the verifier names it: "<volume> offset <n>: <what>".
struct ArchivePlace {
    std::string Volume;
    int64_t Offset = 0;
    std::string What;
    std::string Text() const;
};

// The place every fault the cursor raises carries besides its message. Two classes carry it,
// so that a read error reaches the restore's callers as the read error it always was.
class ArchiveFault {
public:
    explicit ArchiveFault(ArchivePlace place) : place_(std::move(place)) {}
    const ArchivePlace& Place() const { return place_; }

private:
    ArchivePlace place_;
};

// A structure the format does not allow; the message is "Invalid archive type".
class EArchiveInvalid : public Exception, public ArchiveFault {
public:
    explicit EArchiveInvalid(ArchivePlace place);
};

// The archive ends (or cannot be read) inside a field; the message is the read error's.
class EArchiveEnds : public EReadError, public ArchiveFault {
public:
    EArchiveEnds(const std::string& message, ArchivePlace place)
        : EReadError(message), ArchiveFault(std::move(place)) {}
};

// An entry as its entry header gives it; it stays while its continuations are read.
struct ArchiveEntry {
    std::string Stored;         // the name's bytes
    std::string Name;           // the name as text of this system, as far as it could be read
    bool NameReadable = false;  // false: the bytes cannot be read here without merging with another name
    int32_t Stamp = 0;
};

class ArchiveCursor {
public:
    ArchiveCursor();
    ~ArchiveCursor();
    ArchiveCursor(const ArchiveCursor&) = delete;
    ArchiveCursor& operator=(const ArchiveCursor&) = delete;

    // Asked for volume n (2, 3, ...) once the volume before is closed, again until its file is
    // there; answers whether to go on. Without it a volume that is not there is a fault.
    std::function<bool(uint16_t volume)> OnNeedVolume;

    // The first volume's file (its open errors pass as they are), or a stream read from where it
    // stands (null: a read error), which is left where the reading stops and never changes volume.
    void OpenFile(const std::string& path);
    void OpenStream(TStream* stream);
    // Stores each value as soon as it is read, so a fault keeps what came before it.
    void ReadHeader(int32_t& totalSize, int32_t& fileCount);
    const std::string& Title() const { return title_; }
    TextEncoding Encoding() const { return encoding_; }

    enum class Step {
        Entry,      // a new entry: Entry() holds its header, its data section follows
        Continued,  // the next volume is open and holds the next data section of the same entry
        End,        // the end marker
        Stopped     // OnNeedVolume answered that the walk stops
    };
    // Passes over what is left of the current data section, then reads up to the next section.
    Step Next();
    const ArchiveEntry& Entry() const { return entry_; }

    // The next block of the current data section (its marker is checked first); false at the
    // end of the section. Its bytes are read with ReadBlock (Data stays valid until the next
    // call) or passed over with SkipBlock; left alone, the next call passes over them.
    bool NextBlock(RawBlock& block);
    void ReadBlock(RawBlock& block);
    // The same into a buffer of 16384 bytes of the caller's, where Data then points.
    void ReadBlock(RawBlock& block, uint8_t* into);
    void SkipBlock();

    // The place of the field read last, or of an offset, in the volume being read.
    ArchivePlace Place(std::string what) const { return PlaceAt(at_, std::move(what)); }
    ArchivePlace PlaceAt(int64_t offset, std::string what) const;
    // Closes the volume; a stream is left where the reading stopped.
    void Close();

private:
    void Restart(const std::string& path, TStream* stream);
    void OpenVolume();
    Step NextVolume(const std::string& record);
    void Read(void* data, size_t count, const char* what);
    int32_t Int32(const char* what);
    std::string Text(int32_t count, const char* what);
    [[noreturn]] void Invalid(std::string what) const;

    enum class Section { None, Pending, Open };
    std::string path_;  // the volume being read
    TStream* stream_ = nullptr;
    unsigned volume_ = 1;
    std::string title_;
    TextEncoding encoding_ = TextEncoding::Unknown;  // the title's, tried first for every name
    ArchiveEntry entry_;
    bool inEntry_ = false;   // an entry has begun, so a continuation has something to continue
    bool finished_ = false;  // End or Stopped came: Next answers it again
    Step last_ = Step::End;
    Section section_ = Section::None;
    int32_t unread_ = 0;  // bytes of the current block neither read nor passed over
    int64_t at_ = 0;
    std::unique_ptr<TFileStream> file_;
    std::unique_ptr<ArchiveIn> in_;
    std::vector<uint8_t> input_;
};

}  // namespace nb::archive
