// Checking and listing an archive without writing anything: every volume is read and every
// block inflated, so that a workflow can know an archive is whole before it touches data.
#include <optional>

#include "backup/ArchiveCursor.h"
#include "backup/ArchiveFormat.h"
#include "backup/BlockPool.h"
#include "backup/backup.h"
#include "platform/Exception.h"

namespace nb {

using namespace archive;

namespace {

// Shown, never used as a name: a title no encoding reads is shown with substitutes.
std::string TitleText(const ArchiveCursor& cursor) {
    std::string title;
    return StoredNameText(cursor.Title(), cursor.Encoding(), title) ? title : FromSystemCodePage(cursor.Title());
}

// Fills the listing as far as the archive is sound; answers what is wrong and where, if anything.
std::optional<std::string> Walk(const std::string& path, ArchiveListing& listing, unsigned threads) {
    try {
        ArchiveCursor cursor;  // no OnNeedVolume: a missing volume is a fault of the archive
        cursor.OpenFile(path);
        cursor.ReadHeader(listing.TotalSize, listing.FileCount);
        listing.Title = TitleText(cursor);
        BlockPool pool(threads);
        for (;;) {
            ArchiveCursor::Step step = cursor.Next();
            if (step == ArchiveCursor::Step::End) return std::nullopt;
            if (step == ArchiveCursor::Step::Entry) {
                const ArchiveEntry& entry = cursor.Entry();
                if (!entry.NameReadable)
                    return cursor
                        .Place("stored name \"" + FromSystemCodePage(entry.Stored) + "\" cannot be read as a name here")
                        .Text();
                if (entry.Name != kFileListName && !IsSafeStoredName(entry.Name))
                    return cursor
                        .Place("stored name \"" + entry.Name + "\" would leave the target folder or name no plain file")
                        .Text();
                listing.Entries.push_back({entry.Name, entry.Stamp, 0});
            }
            int64_t bytes = 0;  // counted once the section is whole
            RawBlock block;
            DecodedBlock content;
            SectionReadAhead blocks(cursor, pool);
            while (blocks.Next(block, content)) {
                if (!content.Ok) return cursor.PlaceAt(block.Offset, BackupErrorText(beCompressionError)).Text();
                bytes += content.Size;
            }
            listing.Entries.back().Size += bytes;
        }
    } catch (const ArchiveFault& fault) {
        return fault.Place().Text();
    } catch (const Exception& e) {
        return e.Message();  // a volume that cannot be opened: the message names it
    }
}

}  // namespace

ArchiveListing ListArchive(const std::string& archivePath) {
    ArchiveListing listing;
    if (auto problem = Walk(archivePath, listing, 0)) throw Exception(*problem);
    return listing;
}

VerifyResult VerifyArchive(const std::string& archivePath, unsigned threads) {
    VerifyResult result;
    ArchiveListing listing;
    auto problem = Walk(archivePath, listing, threads);
    result.Ok = !problem;
    if (problem) result.Problem = *problem;
    result.Entries = static_cast<int32_t>(listing.Entries.size());
    for (const auto& e : listing.Entries) result.Bytes += e.Size;
    return result;
}

std::string ArchiveTitle(const std::string& archivePath) {
    ArchiveCursor cursor;
    cursor.OpenFile(archivePath);
    int32_t totalSize = 0, fileCount = 0;
    cursor.ReadHeader(totalSize, fileCount);
    return TitleText(cursor);
}

}  // namespace nb
