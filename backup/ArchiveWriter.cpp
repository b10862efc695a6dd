#include "backup/ArchiveWriter.h"

#include <algorithm>
#include <cctype>

#include "backup/ArchiveFormat.h"
#include "backup/BackupRun.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "platform/UserInterface.h"

namespace nb {

using namespace archive;

namespace {

constexpr int kZlibLevels[] = {1, 0, -1, 9};  // clFastest, clNone, clDefault, clMax

// " /s" (any case) at the end of a pattern asks for its subfolders; on Linux "/s" inside a
// pattern is an ordinary path, so only a trailing switch after a blank counts.
bool SplitRecursion(const std::string& pattern, std::string& rest) {
    std::string p = TrimName(pattern);
    if (p.size() < 3 || p[p.size() - 2] != '/' || std::tolower(static_cast<unsigned char>(p.back())) != 's' ||
        static_cast<uint8_t>(p[p.size() - 3]) > 0x20)
        return false;
    rest = TrimName(p.substr(0, p.size() - 2));
    return true;
}

int32_t ReadPiece(TFileStream& source, uint8_t* buffer, int32_t want) {
    int32_t got = 0;
    while (got < want) {
        int32_t n = source.Read(buffer + got, want - got);
        if (n <= 0) break;
        got += n;
    }
    return got;
}

}  // namespace

ArchiveWriter::ArchiveWriter(TBackupFile& owner, TBackupRunState& run, const std::string& archivePath)
    : c_(owner), run_(run), archivePath_(archivePath),
      excludedPath_(archivePath == kStreamPath ? std::string() : ExpandFileName(archivePath)),
      toStream_(archivePath == kStreamPath), pool_(owner.Threads) {}

ArchiveWriter::~ArchiveWriter() = default;

size_t ArchiveWriter::AddFiles(const std::string& pattern) {
    size_t matched = 0;
    std::string filePattern;
    if (SplitRecursion(pattern, filePattern)) {
        std::string folder = ExtractFilePath(filePattern);
        TFileSearch dirs(folder + "*", faDirectory | faReadOnly | faArchive);
        TSearchRec rec;
        while (dirs.Next(rec)) {
            if ((rec.Attr & faDirectory) == 0 || rec.Name == "." || rec.Name == "..") continue;
            matched += AddFiles(ExpandFileName(folder + rec.Name + "/" + ExtractFileName(filePattern)) + " /s");
        }
    } else {
        filePattern = pattern;
    }
    std::string folder = ExtractFilePath(filePattern);
    TFileSearch files(filePattern, faReadOnly | faHidden | faSysFile | faArchive);
    TSearchRec rec;
    while (files.Next(rec)) {
        std::string path = ExpandFileName(folder + rec.Name);
        // Devices, pipes and sockets are no data files; reading one could block the run.
        if (!FileExists(path) || path == excludedPath_) continue;
        ++matched;
        if (listed_.count(path) != 0) continue;
        if (c_.BackupMode() == bmIncremental && (FileGetAttr(path) & static_cast<int32_t>(faArchive)) == 0) continue;
        listed_.insert(path);
        list_.push_back(path);
    }
    return matched;
}

void ArchiveWriter::MeasureFiles(std::string& fileIds) {
    for (const auto& path : list_) {
        if (!FileExists(path)) continue;
        run_.FailedFile = path;  // an open failure here leaves the run as an exception
        TFileStream file(path, fmOpenRead | fmShareDenyNone);
        int64_t size = file.Size();
        run_.TotalSize = Add32(run_.TotalSize, size);
        if (c_.SaveFileID)
            fileIds += ToSystemCodePage(StoredCase(path)) + "\t" + std::to_string(FileGetDate(file)) + "=" +
                       std::to_string(size) + "\r\n";
    }
    run_.FailedFile.clear();
}

void ArchiveWriter::SaveFileIds(const std::string& fileIds) {
    try {
        tempPath_ = CreateTempFile(GetTempDirectory(), "FID");
        if (tempPath_.empty()) throw EFCreateError("Cannot create temporary file");
        TFileStream file(tempPath_, fmCreate);
        file.WriteBuffer(fileIds.data(), static_cast<int32_t>(fileIds.size()));
        list_.insert(list_.begin(), tempPath_);
        listEntry_ = true;
        run_.TotalSize = Add32(run_.TotalSize, static_cast<int64_t>(fileIds.size()));
    } catch (const Exception&) {
        run_.Continue = false;
        run_.ErrorCode = beCannotCreateTempFile;
    }
}

void ArchiveWriter::OpenVolume() {
    volumeFile_ = std::make_unique<TFileStream>(archivePath_, fmCreate | fmShareExclusive);
    out_ = std::make_unique<ArchiveOut>(*volumeFile_);
    blocksOnVolume_ = 0;
}

void ArchiveWriter::CloseVolume() {
    if (out_) out_->Flush();
    out_.reset();
    volumeFile_.reset();
}

bool ArchiveWriter::Run(const std::vector<std::string>& patterns) {
    run_.ErrorCode = 0;
    run_.FailedFile.clear();
    run_.Busy = true;
    // Also when an exception leaves the run: no handle stays open and the component is idle.
    ScopeExit cleanUp([this] {
        out_.reset();
        volumeFile_.reset();
        if (!tempPath_.empty() && FileExists(tempPath_)) DeleteFile(tempPath_);
        run_.Busy = false;
    });

    run_.UnmatchedPatterns.clear();
    for (const auto& pattern : patterns)
        if (AddFiles(pattern) == 0) run_.UnmatchedPatterns.push_back(pattern);
    run_.Continue = true;
    if (c_.OnProgress) c_.OnProgress(c_, "", 0, run_.Continue);
    run_.TotalSize = 0;
    run_.FilesProcessed = 0;
    std::string fileIds;
    MeasureFiles(fileIds);
    if (c_.SaveFileID) SaveFileIds(fileIds);

    run_.ProcessedSize = 0;
    run_.PackedSize = 0;
    try {
        volume_ = 1;
        if (toStream_) {
            if (!c_.BackupStream) throw EWriteError("Stream write error");
            out_ = std::make_unique<ArchiveOut>(*c_.BackupStream);
        } else {
            // A volume limit below one block's room would cut forever; such volumes hold one block each.
            limited_ = c_.MaxSize != 0;
            volumeLimit_ = static_cast<int64_t>(c_.MaxSize) - kVolumeReserve;
            OpenVolume();
        }
        run_.FileCount = static_cast<int32_t>(list_.size()) - (listEntry_ ? 1 : 0);
        const std::string title = ToSystemCodePage(c_.BackupTitle);
        out_->WriteInt32(static_cast<int32_t>(title.size()));
        out_->Write(title.data(), title.size());
        out_->WriteInt32(run_.TotalSize);
        out_->WriteInt32(run_.FileCount);
    } catch (const Exception&) {
        run_.ErrorCode = beCannotWriteArchive;
        run_.Continue = false;
    }

    for (size_t i = 0; i < list_.size() && run_.Continue && out_; ++i) {
        if (!FileExists(list_[i])) continue;
        StoreFile(i);
        if (c_.SetArchiveFlag) ClearArchiveAttr(list_[i]);
    }

    bool result = false;
    if (run_.Continue && out_) {
        try {
            out_->WriteInt32(0);
            out_->Flush();
            result = true;
        } catch (const Exception&) {
            run_.ErrorCode = beCannotWriteArchive;
        }
    }
    if (out_) {
        try {
            out_->Flush();
        } catch (const Exception&) {
        }
    }
    out_.reset();
    volumeFile_.reset();
    if (!tempPath_.empty() && FileExists(tempPath_)) DeleteFile(tempPath_);
    tempPath_.clear();

    if (c_.OnProgress) c_.OnProgress(c_, "", 100, run_.Continue);
    run_.Busy = false;
    if (run_.ErrorCode != 0) ReportError(c_, run_.ErrorCode);
    return result;
}

void ArchiveWriter::StoreFile(size_t index) {
    const std::string& path = list_[index];
    bool isList = listEntry_ && index == 0;
    std::string trimmed = TrimName(path);
    std::string stored = kFileListName;
    if (!isList && !StoredNameBytes(trimmed, stored)) {
        // Stored with a substitute, the name would restore as another file's, or as none.
        run_.Continue = false;
        run_.ErrorCode = beCannotReadFile;
        run_.FailedFile = path;
        return;
    }
    run_.CurrentFile = isList ? kFileListName : trimmed;
    // A failing name record is no run error: it leaves Backup as an exception.
    out_->WriteInt32(static_cast<int32_t>(stored.size()));
    out_->Write(stored.data(), stored.size());
    run_.CurrentFile = trimmed;
    try {
        TFileStream source(path, fmOpenRead | fmShareDenyNone);
        int32_t stamp = FileGetDate(source);
        if (stamp == -1) throw EReadError("Cannot read the file's time");
        out_->WriteInt32(stamp);
        int64_t remaining = source.Size();
        if (remaining < 0) throw EReadError("Cannot read the file's size");
        pool_.Clear();
        unread_ = remaining;
        if (run_.Continue) {
            do WriteFileData(source, remaining);
            while (remaining > 0 && run_.Continue);
        }
        if (!isList) ++run_.FilesProcessed;
    } catch (const Exception&) {
        run_.Continue = false;
        run_.ErrorCode = beCannotReadFile;
        run_.FailedFile = path;
    }
}

// Reads pieces of the source while the pool has room; a read that fails is raised in its
// piece's turn, once the pieces before it are written and reported.
void ArchiveWriter::ReadAhead(TFileStream& source) {
    while (unread_ > 0 && !pool_.Full()) {
        BlockJob& job = pool_.Next();
        try {
            job.Count = ReadPiece(source, job.In.data(), static_cast<int32_t>(std::min<int64_t>(unread_, kPieceSize)));
            // A file that shrank since it was measured cannot be stored whole.
            if (job.Count <= 0) throw EReadError("Stream read error");
            unread_ -= job.Count;
            job.Kind = BlockJob::Work::Deflate;
            job.ZlibLevel = kZlibLevels[c_.CompressionLevel & 3];
        } catch (...) {
            job.Fault = std::current_exception();
            unread_ = 0;
        }
        pool_.Submit();
    }
}

void ArchiveWriter::WriteFileData(TFileStream& source, int64_t& remaining) {
    try {
        out_->Write(kMarker, sizeof kMarker);
        run_.PackedSize = Add32(run_.PackedSize, 4);
        while (remaining > 0 && run_.Continue) {
            if (limited_ && blocksOnVolume_ > 0 && out_->Position() >= volumeLimit_) break;
            ReadAhead(source);
            BlockJob& job = pool_.Front();
            if (job.Fault) std::rethrow_exception(job.Fault);
            int32_t count = job.Count;
            remaining -= count;
            run_.ProcessedSize = Add32(run_.ProcessedSize, count);
            if (job.Result == Packed::Failed) {
                run_.ErrorCode = beCompressionError;
                run_.Continue = false;
            }
            if (run_.Continue) {
                bool compressed = job.Result == Packed::Compressed;
                int32_t length = compressed ? job.PackedSize : count;
                out_->WriteInt32(compressed ? length : -length);
                out_->Write(compressed ? job.Out.data() : job.In.data(), static_cast<size_t>(length));
                run_.PackedSize = Add32(run_.PackedSize, static_cast<int64_t>(length) + 4);
                ++blocksOnVolume_;
            }
            pool_.Pop();
            ServeMessageQueueOnce();
            if (c_.OnProgress) c_.OnProgress(c_, run_.CurrentFile, run_.Percent(), run_.Continue);
        }
        out_->WriteInt32(0);
        if (remaining > 0 && run_.Continue) {
            ++volume_;
            std::string digits = VolumeDigits(volume_);
            out_->WriteInt32(12);
            std::string record = kNextDisk + digits;
            out_->Write(record.data(), record.size());
            CloseVolume();
            AskForDisk(c_, run_, volume_);
            if (run_.Continue) {
                archivePath_ = ChangeFileExt(archivePath_, "." + digits);
                OpenVolume();
            }
        }
    } catch (const Exception&) {
        run_.Continue = false;
        run_.ErrorCode = beCannotWriteArchive;
    }
}

}  // namespace nb
