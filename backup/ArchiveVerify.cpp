// Checking and listing an archive without writing anything: every volume is read and every
// block inflated, so that a workflow can know an archive is whole before it touches data.
#include <cstring>
#include <memory>

#include "backup/ArchiveFormat.h"
#include "backup/ArchiveIO.h"
#include "backup/BlockCodec.h"
#include "backup/backup.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"

namespace nb {

using namespace archive;

namespace {

struct ArchiveFault {
    std::string Problem;
};

class ArchiveWalker {
public:
    explicit ArchiveWalker(const std::string& path) : path_(path), input_(kPieceSize), output_(kPieceSize) {}

    void Walk(ArchiveListing& listing) {
        Open();
        int32_t titleLength = Int32("title length");
        if (titleLength < 0) Fail(at_, "negative title length");
        const std::string title = Text(titleLength, "title");
        encoding_ = DetectTextEncoding(title);
        // Shown, never used as a name: a title no encoding reads is shown with substitutes.
        if (!StoredNameText(title, encoding_, listing.Title)) listing.Title = FromSystemCodePage(title);
        listing.TotalSize = Int32("total size");
        listing.FileCount = Int32("file count");
        ArchiveEntryInfo* entry = nullptr;
        for (;;) {
            int32_t length = Int32("name length (the end marker is missing)");
            if (length == 0) return;
            if (length < 0) continue;  // passed over, as every reader does
            std::string stored = Text(length, "name");
            if (IsContinuation(stored)) {
                std::string digits = stored.substr(kNextDisk.size(), 3);
                if (!entry) Fail(at_, "continuation record before any entry");
                if (digits != VolumeDigits(volume_ + 1u))
                    Fail(at_, "continuation record names volume \"" + digits + "\"");
                ++volume_;
                std::string next = ChangeFileExt(path_, "." + digits);
                if (!FileExists(next)) Fail(at_, "volume " + std::to_string(volume_) + " is missing: " + next);
                path_ = next;
                Open();
            } else {
                int32_t stamp = Int32("stamp");
                std::string name;
                if (!StoredNameText(stored, encoding_, name))
                    Fail(at_, "stored name \"" + FromSystemCodePage(stored) + "\" cannot be read as a name here");
                if (name != kFileListName && !IsSafeStoredName(name))
                    Fail(at_, "stored name \"" + name + "\" would leave the target folder or name no plain file");
                listing.Entries.push_back({name, stamp, 0});
                entry = &listing.Entries.back();
            }
            entry->Size += DataSection();
        }
    }

private:
    [[noreturn]] void Fail(int64_t offset, const std::string& what) {
        throw ArchiveFault{path_ + " offset " + std::to_string(offset) + ": " + what};
    }

    void Open() {
        in_.reset();
        try {
            file_ = std::make_unique<TFileStream>(path_, fmOpenRead | fmShareDenyNone);
        } catch (const Exception& e) {
            throw ArchiveFault{e.Message()};
        }
        in_ = std::make_unique<ArchiveIn>(*file_);
    }

    void Read(void* data, size_t count, const char* what) {
        at_ = in_->Position();
        try {
            in_->Read(data, count);
        } catch (const Exception&) {
            Fail(at_, std::string("archive ends inside the ") + what);
        }
    }

    int32_t Int32(const char* what) {
        uint8_t word[4];
        Read(word, 4, what);
        return GetInt32(word);
    }

    std::string Text(int32_t length, const char* what) {
        at_ = in_->Position();
        try {
            return in_->ReadText(length);
        } catch (const Exception&) {
            Fail(at_, std::string("archive ends inside the ") + what);
        }
    }

    int64_t DataSection() {
        char marker[4];
        Read(marker, 4, "data section marker");
        if (std::string(marker, strnlen(marker, 4)) != "EC2") Fail(at_, BackupErrorText(beInvalidArchive));
        int64_t bytes = 0;
        for (;;) {
            int32_t length = Int32("block length");
            if (length == 0) return bytes;
            int64_t blockAt = at_;
            if (length < -kPieceSize || length > kPieceSize)
                Fail(blockAt, "block length " + std::to_string(length) + " exceeds 16384");
            int32_t size = length < 0 ? -length : length;
            Read(input_.data(), static_cast<size_t>(size), "block");
            if (length > 0) {
                int32_t produced = 0;
                if (!codec_.Inflate(input_.data(), size, output_.data(), produced))
                    Fail(blockAt, BackupErrorText(beCompressionError));
                size = produced;
            }
            bytes += size;
        }
    }

    std::string path_;
    unsigned volume_ = 1;
    TextEncoding encoding_ = TextEncoding::Unknown;
    int64_t at_ = 0;
    std::unique_ptr<TFileStream> file_;
    std::unique_ptr<ArchiveIn> in_;
    std::vector<uint8_t> input_, output_;
    BlockCodec codec_;
};

}  // namespace

ArchiveListing ListArchive(const std::string& archivePath) {
    ArchiveListing listing;
    try {
        ArchiveWalker(archivePath).Walk(listing);
    } catch (const ArchiveFault& fault) {
        throw Exception(fault.Problem);
    }
    return listing;
}

VerifyResult VerifyArchive(const std::string& archivePath) {
    VerifyResult result;
    ArchiveListing listing;
    try {
        ArchiveWalker(archivePath).Walk(listing);
        result.Ok = true;
    } catch (const ArchiveFault& fault) {
        result.Problem = fault.Problem;
    }
    result.Entries = static_cast<int32_t>(listing.Entries.size());
    for (const auto& e : listing.Entries) result.Bytes += e.Size;
    return result;
}

}  // namespace nb
