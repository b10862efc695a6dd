#include "backup/ArchiveReader.h"

#include <algorithm>
#include <cstring>

#include "backup/ArchiveFormat.h"
#include "backup/BackupRun.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "platform/UserInterface.h"

namespace nb {

using namespace archive;

namespace {
const char* const kInvalidArchive = "Invalid archive type";
}

ArchiveReader::ArchiveReader(TBackupFile& owner, TBackupRunState& run)
    : c_(owner), run_(run), input_(kPieceSize), output_(kPieceSize) {}

ArchiveReader::~ArchiveReader() = default;

void ArchiveReader::CloseVolume() {
    if (fromStream_) {
        if (in_) in_->Release();
        in_.reset();
        return;
    }
    in_.reset();
    volumeFile_.reset();
}

void ArchiveReader::OpenArchive() {
    if (fromStream_) {
        if (!c_.RestoreStream) throw EReadError("Stream read error");
        in_ = std::make_unique<ArchiveIn>(*c_.RestoreStream);
    } else {
        volumeFile_ = std::make_unique<TFileStream>(archivePath_, fmOpenRead | fmShareDenyNone);
        in_ = std::make_unique<ArchiveIn>(*volumeFile_);
    }
}

bool ArchiveReader::Run(const std::string& archivePath, const std::string& targetFolder) {
    targetFolder_ = targetFolder;
    if (!targetFolder_.empty() && targetFolder_.back() != PathDelim && targetFolder_.back() != '/')
        targetFolder_ += PathDelim;
    archivePath_ = archivePath;
    fromStream_ = archivePath == kStreamPath;
    run_.ErrorCode = 0;
    run_.FilesProcessed = 0;
    run_.Continue = true;
    if (!fromStream_ && !FileExists(archivePath)) return false;

    run_.Busy = true;
    // Also when an exception leaves the run: no handle stays open and the component is idle.
    ScopeExit cleanUp([this] {
        CloseVolume();
        run_.Busy = false;
    });
    try {
        OpenArchive();
        int32_t titleLength = in_->ReadInt32();
        // The program's titles hold a Korean phrase, which tells which system's program wrote them.
        encoding_ = DetectTextEncoding(in_->ReadText(titleLength));
        run_.TotalSize = in_->ReadInt32();
        run_.FileCount = in_->ReadInt32();
        run_.ProcessedSize = 0;
    } catch (const Exception&) {
        throw Exception(BackupErrorText(beCannotReadArchive));
    }

    decision_ = true;
    int32_t length = 0;
    do {
        length = in_->ReadInt32();
        if (length > 0) {
            std::string name = in_->ReadText(length);
            if (IsContinuation(name))
                NextVolume(name);
            else
                Entry(name);
        }
    } while (length != 0 && run_.Continue);
    CloseVolume();

    bool result = run_.ErrorCode == 0 && run_.Continue;
    if (c_.OnProgress) c_.OnProgress(c_, "", 100, run_.Continue);
    run_.Busy = false;
    if (run_.ErrorCode != 0) ReportError(c_, run_.ErrorCode);
    return result;
}

bool ArchiveReader::RuleAllows(const std::string& path) const {
    bool exists = FileExists(path);
    bool older = exists && FileAge(path) < stamp_;
    switch (c_.RestoreMode) {
        case rmAll: return true;
        case rmNoOverwrite: return !exists;
        case rmNewer: return !exists || older;
        case rmExisting: return exists;
        case rmExistingNewer: return older;
    }
    return false;
}

void ArchiveReader::Entry(const std::string& stored) {
    stamp_ = in_->ReadInt32();
    inEntry_ = true;
    std::string name, path;
    if (!StoredNameText(stored, encoding_, name) || !TargetPathFor(name, targetFolder_, c_.RestoreFullPath, path)) {
        // Never written: it would land outside the target folder, or under a name not its own.
        // The run goes on but fails.
        run_.CurrentFile = name.empty() ? FromSystemCodePage(stored) : name;
        run_.ErrorCode = beCannotReadFile;
        decision_ = false;
        ReadFileData(nullptr, false);
        return;
    }
    run_.CurrentFile = path;
    decision_ = RuleAllows(path);
    if (name == kFileListName)
        decision_ = false;
    else if (c_.OnRestoreFile)
        c_.OnRestoreFile(c_, run_.CurrentFile, stamp_, decision_);
    if (decision_) {
        std::string folder = ExtractFileDir(run_.CurrentFile);
        decision_ = folder.empty() || (ForceDirectories(folder), DirectoryExists(folder));
    }
    if (!decision_) {
        ReadFileData(nullptr, false);
        return;
    }
    std::unique_ptr<TFileStream> target;
    try {
        target = std::make_unique<TFileStream>(run_.CurrentFile, fmCreate | fmShareExclusive);
        ReadFileData(target.get(), true);
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
    FileSetDate(*target, stamp_);
    target.reset();
}

void ArchiveReader::NextVolume(const std::string& name) {
    std::string digits = name.substr(kNextDisk.size(), 3);
    // Volumes follow one another; anything else would read a foreign file or go round in circles.
    if (fromStream_ || !inEntry_ || digits != VolumeDigits(volume_ + 1u)) throw Exception(kInvalidArchive);
    CloseVolume();
    auto number = static_cast<uint16_t>(std::stoi(digits));
    do {
        AskForDisk(c_, run_, number);
        archivePath_ = ChangeFileExt(archivePath_, "." + digits);
    } while (!FileExists(archivePath_) && run_.Continue);
    if (!run_.Continue) return;
    ++volume_;
    OpenArchive();
    std::unique_ptr<TFileStream> target;
    ScopeExit finish([&] {
        if (target) FinishTarget(target);
    });
    if (decision_) {
        target = std::make_unique<TFileStream>(run_.CurrentFile, fmOpenWrite | fmShareExclusive);
        target->Seek(0, SeekOrigin::End);
    }
    ReadFileData(target.get(), decision_);
}

void ArchiveReader::ReadFileData(TStream* target, bool restoring) {
    char marker[4];
    in_->Read(marker, sizeof marker);
    if (std::string(marker, strnlen(marker, sizeof marker)) != "EC2") throw Exception(kInvalidArchive);
    while (run_.Continue) {
        int32_t length = in_->ReadInt32();
        int32_t written = 0;
        if (length != 0) {
            // The writer never makes a longer block; a longer one could only overrun the buffers.
            if (length < -kPieceSize || length > kPieceSize) throw Exception(kInvalidArchive);
            int32_t size = length < 0 ? -length : length;
            if (restoring) {
                in_->Read(input_.data(), static_cast<size_t>(size));
                if (length > 0) {
                    bool ok = codec_.Inflate(input_.data(), size, output_.data(), written);
                    target->WriteBuffer(output_.data(), written);
                    if (!ok) {
                        run_.ErrorCode = beCompressionError;
                        run_.Continue = false;
                    }
                } else {
                    target->WriteBuffer(input_.data(), size);
                    written = size;
                }
            } else {
                in_->Skip(size);
            }
        }
        ServeMessageQueueOnce();
        if (restoring) {
            run_.ProcessedSize = Add32(run_.ProcessedSize, written);
            if (c_.OnProgress) c_.OnProgress(c_, run_.CurrentFile, run_.Percent(), run_.Continue);
        }
        if (length == 0) break;
    }
}

}  // namespace nb
