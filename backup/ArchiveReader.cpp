#include "backup/ArchiveReader.h"

#include "backup/ArchiveFormat.h"
#include "backup/BackupRun.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "platform/UserInterface.h"

namespace nb {

using namespace archive;

ArchiveReader::ArchiveReader(TBackupFile& owner, TBackupRunState& run) : c_(owner), run_(run), pool_(owner.Threads) {}

ArchiveReader::~ArchiveReader() = default;

bool ArchiveReader::Run(const std::string& archivePath, const std::string& targetFolder) {
    targetFolder_ = targetFolder;
    if (!targetFolder_.empty() && targetFolder_.back() != PathDelim && targetFolder_.back() != '/')
        targetFolder_ += PathDelim;
    bool fromStream = archivePath == kStreamPath;
    run_.ErrorCode = 0;
    run_.FilesProcessed = 0;
    run_.Continue = true;
    if (!fromStream && !FileExists(archivePath)) return false;

    run_.Busy = true;
    // Also when an exception leaves the run: no handle stays open and the component is idle.
    ScopeExit cleanUp([this] {
        cursor_.Close();
        run_.Busy = false;
    });
    try {
        if (fromStream)
            cursor_.OpenStream(c_.RestoreStream);
        else
            cursor_.OpenFile(archivePath);
        cursor_.ReadHeader(run_.TotalSize, run_.FileCount);
        run_.ProcessedSize = 0;
    } catch (const Exception&) {
        throw Exception(BackupErrorText(beCannotReadArchive));
    }
    cursor_.OnNeedVolume = [this](uint16_t volume) {
        AskForDisk(c_, run_, volume);
        return run_.Continue;
    };

    decision_ = true;
    while (run_.Continue) {
        ArchiveCursor::Step step = cursor_.Next();
        if (step == ArchiveCursor::Step::Entry)
            Entry();
        else if (step == ArchiveCursor::Step::Continued)
            Continuation();
        else
            break;
    }
    cursor_.Close();

    bool result = run_.ErrorCode == 0 && run_.Continue;
    if (c_.OnProgress) c_.OnProgress(c_, "", 100, run_.Continue);
    run_.Busy = false;
    if (run_.ErrorCode != 0) ReportError(c_, run_.ErrorCode);
    return result;
}

bool ArchiveReader::RuleAllows(const std::string& path) const {
    bool exists = FileExists(path);
    bool older = exists && FileAge(path) < cursor_.Entry().Stamp;
    switch (c_.RestoreMode) {
        case rmAll: return true;
        case rmNoOverwrite: return !exists;
        case rmNewer: return !exists || older;
        case rmExisting: return exists;
        case rmExistingNewer: return older;
    }
    return false;
}

void ArchiveReader::Entry() {
    const ArchiveEntry& entry = cursor_.Entry();
    std::string path;
    if (!entry.NameReadable || !TargetPathFor(entry.Name, targetFolder_, c_.RestoreFullPath, path)) {
        // Never written: it would land outside the target folder, or under a name not its own.
        // The run goes on but fails.
        run_.CurrentFile = entry.Name.empty() ? FromSystemCodePage(entry.Stored) : entry.Name;
        run_.ErrorCode = beCannotReadFile;
        decision_ = false;
        ReadFileData(nullptr);
        return;
    }
    run_.CurrentFile = path;
    decision_ = RuleAllows(path);
    if (entry.Name == kFileListName)
        decision_ = false;
    else if (c_.OnRestoreFile)
        c_.OnRestoreFile(c_, run_.CurrentFile, entry.Stamp, decision_);
    if (decision_) {
        std::string folder = ExtractFileDir(run_.CurrentFile);
        decision_ = folder.empty() || (ForceDirectories(folder), DirectoryExists(folder));
    }
    if (!decision_) {
        ReadFileData(nullptr);
        return;
    }
    std::unique_ptr<TFileStream> target;
    try {
        target = std::make_unique<TFileStream>(run_.CurrentFile, fmCreate | fmShareExclusive);
        ReadFileData(target.get());
        ++run_.FilesProcessed;
    } catch (const Exception&) {
        run_.ErrorCode = beCannotReadFile;
        run_.Continue = false;
    }
    if (target) FinishTarget(target);
}

void ArchiveReader::FinishTarget(std::unique_ptr<TFileStream>& target) {
    TStream* stream = target.get();
    if (c_.OnFileRestored) c_.OnFileRestored(c_, run_.CurrentFile, stream);
    FileSetDate(*target, cursor_.Entry().Stamp);
    target.reset();
}

// The cut entry's next section, on the volume the cursor has just opened; its failures are no
// run error: they leave Restore as exceptions.
void ArchiveReader::Continuation() {
    std::unique_ptr<TFileStream> target;
    ScopeExit finish([&] {
        if (target) FinishTarget(target);
    });
    if (decision_) {
        target = std::make_unique<TFileStream>(run_.CurrentFile, fmOpenWrite | fmShareExclusive);
        target->Seek(0, SeekOrigin::End);
    }
    ReadFileData(target.get());
}

// One data section: written to the target with progress after every block, or passed over.
void ArchiveReader::ReadFileData(TStream* target) {
    if (!target) {
        RawBlock block;
        while (run_.Continue) {
            bool more = cursor_.NextBlock(block);
            if (more) cursor_.SkipBlock();
            ServeMessageQueueOnce();
            if (!more) break;
        }
        return;
    }
    SectionReadAhead blocks(cursor_, pool_);
    while (run_.Continue) {
        RawBlock block;
        DecodedBlock content;
        bool more = blocks.Next(block, content);
        int32_t written = 0;
        if (more) {
            target->WriteBuffer(content.Data, content.Size);
            written = content.Size;
            if (!content.Ok) {
                run_.ErrorCode = beCompressionError;
                run_.Continue = false;
            }
        }
        ServeMessageQueueOnce();
        run_.ProcessedSize = Add32(run_.ProcessedSize, written);
        if (c_.OnProgress) c_.OnProgress(c_, run_.CurrentFile, run_.Percent(), run_.Continue);
        if (!more) break;
    }
}

}  // namespace nb
