#include "backup/ArchiveWriter.h"

#include <algorithm>
#include <cctype>

#include "backup/ArchiveFormat.h"
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

ArchiveWriter::ArchiveWriter(TBackupFile& owner, const std::string& archivePath)
    : c_(owner), archivePath_(archivePath),
      excludedPath_(archivePath == kStreamPath ? std::string() : ExpandFileName(archivePath)),
      toStream_(archivePath == kStreamPath), input_(kPieceSize), packed_(kPieceSize) {}

ArchiveWriter::~ArchiveWriter() = default;

void ArchiveWriter::AddFiles(const std::string& pattern) {
    std::string filePattern;
    if (SplitRecursion(pattern, filePattern)) {
        std::string folder = ExtractFilePath(filePattern);
        TFileSearch dirs(folder + "*", faDirectory | faReadOnly | faArchive);
        TSearchRec rec;
        while (dirs.Next(rec)) {
            if ((rec.Attr & faDirectory) == 0 || rec.Name == "." || rec.Name == "..") continue;
            AddFiles(ExpandFileName(folder + rec.Name + "/" + ExtractFileName(filePattern)) + " /s");
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
        if (!FileExists(path) || listed_.count(path) != 0 || path == excludedPath_) continue;
        if (c_.BackupMode() == bmIncremental && (FileGetAttr(path) & static_cast<int32_t>(faArchive)) == 0) continue;
        listed_.insert(path);
        list_.push_back(path);
    }
}

void ArchiveWriter::MeasureFiles(std::string& fileIds) {
    for (const auto& path : list_) {
        if (!FileExists(path)) continue;
        c_.failedFile_ = path;  // an open failure here leaves the run as an exception
        TFileStream file(path, fmOpenRead | fmShareDenyNone);
        int64_t size = file.Size();
        c_.totalSize_ = Add32(c_.totalSize_, size);
        if (c_.SaveFileID)
            fileIds += ToSystemCodePage(StoredCase(path)) + "\t" + std::to_string(FileGetDate(file)) + "=" +
                       std::to_string(size) + "\r\n";
    }
    c_.failedFile_.clear();
}

void ArchiveWriter::SaveFileIds(const std::string& fileIds) {
    try {
        tempPath_ = CreateTempFile(GetTempDirectory(), "FID");
        if (tempPath_.empty()) throw EFCreateError("Cannot create temporary file");
        TFileStream file(tempPath_, fmCreate);
        file.WriteBuffer(fileIds.data(), static_cast<int32_t>(fileIds.size()));
        list_.insert(list_.begin(), tempPath_);
        listEntry_ = true;
        c_.totalSize_ = Add32(c_.totalSize_, static_cast<int64_t>(fileIds.size()));
    } catch (const Exception&) {
        c_.continue_ = false;
        c_.errorCode_ = beCannotCreateTempFile;
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
    c_.errorCode_ = 0;
    c_.failedFile_.clear();
    c_.busy_ = true;
    // Also when an exception leaves the run: no handle stays open and the component is idle.
    ScopeExit cleanUp([this] {
        out_.reset();
        volumeFile_.reset();
        if (!tempPath_.empty() && FileExists(tempPath_)) DeleteFile(tempPath_);
        c_.busy_ = false;
    });

    for (const auto& pattern : patterns) AddFiles(pattern);
    c_.continue_ = true;
    if (c_.OnProgress) c_.OnProgress(c_, "", 0, c_.continue_);
    c_.totalSize_ = 0;
    c_.filesProcessed_ = 0;
    std::string fileIds;
    MeasureFiles(fileIds);
    if (c_.SaveFileID) SaveFileIds(fileIds);

    c_.processedSize_ = 0;
    c_.packedSize_ = 0;
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
        c_.fileCount_ = static_cast<int32_t>(list_.size()) - (listEntry_ ? 1 : 0);
        const std::string title = ToSystemCodePage(c_.BackupTitle);
        out_->WriteInt32(static_cast<int32_t>(title.size()));
        out_->Write(title.data(), title.size());
        out_->WriteInt32(c_.totalSize_);
        out_->WriteInt32(c_.fileCount_);
    } catch (const Exception&) {
        c_.errorCode_ = beCannotWriteArchive;
        c_.continue_ = false;
    }

    for (size_t i = 0; i < list_.size() && c_.continue_ && out_; ++i) {
        if (!FileExists(list_[i])) continue;
        StoreFile(i);
        if (c_.SetArchiveFlag) ClearArchiveAttr(list_[i]);
    }

    bool result = false;
    if (c_.continue_ && out_) {
        try {
            out_->WriteInt32(0);
            out_->Flush();
            result = true;
        } catch (const Exception&) {
            c_.errorCode_ = beCannotWriteArchive;
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

    if (c_.OnProgress) c_.OnProgress(c_, "", 100, c_.continue_);
    c_.busy_ = false;
    if (c_.errorCode_ != 0) c_.ReportError(c_.errorCode_);
    return result;
}

void ArchiveWriter::StoreFile(size_t index) {
    const std::string& path = list_[index];
    bool isList = listEntry_ && index == 0;
    std::string trimmed = TrimName(path);
    std::string stored = kFileListName;
    if (!isList && !StoredNameBytes(trimmed, stored)) {
        // Stored with a substitute, the name would restore as another file's, or as none.
        c_.continue_ = false;
        c_.errorCode_ = beCannotReadFile;
        c_.failedFile_ = path;
        return;
    }
    c_.currentFile_ = isList ? kFileListName : trimmed;
    // A failing name record is no run error: it leaves Backup as an exception.
    out_->WriteInt32(static_cast<int32_t>(stored.size()));
    out_->Write(stored.data(), stored.size());
    c_.currentFile_ = trimmed;
    try {
        TFileStream source(path, fmOpenRead | fmShareDenyNone);
        int32_t stamp = FileGetDate(source);
        if (stamp == -1) throw EReadError("Cannot read the file's time");
        out_->WriteInt32(stamp);
        int64_t remaining = source.Size();
        if (remaining < 0) throw EReadError("Cannot read the file's size");
        if (c_.continue_) {
            do WriteFileData(source, remaining);
            while (remaining > 0 && c_.continue_);
        }
        if (!isList) ++c_.filesProcessed_;
    } catch (const Exception&) {
        c_.continue_ = false;
        c_.errorCode_ = beCannotReadFile;
        c_.failedFile_ = path;
    }
}

void ArchiveWriter::WriteFileData(TFileStream& source, int64_t& remaining) {
    try {
        out_->Write(kMarker, sizeof kMarker);
        c_.packedSize_ = Add32(c_.packedSize_, 4);
        while (remaining > 0 && c_.continue_) {
            if (limited_ && blocksOnVolume_ > 0 && out_->Position() >= volumeLimit_) break;
            int32_t count =
                ReadPiece(source, input_.data(), static_cast<int32_t>(std::min<int64_t>(remaining, kPieceSize)));
            // A file that shrank since it was measured cannot be stored whole.
            if (count <= 0) throw EReadError("Stream read error");
            remaining -= count;
            c_.processedSize_ = Add32(c_.processedSize_, count);
            int32_t packedSize = 0;
            auto packed =
                codec_.Deflate(input_.data(), count, packed_.data(), kZlibLevels[c_.CompressionLevel & 3], packedSize);
            if (packed == BlockCodec::Packed::Failed) {
                c_.errorCode_ = beCompressionError;
                c_.continue_ = false;
            }
            if (c_.continue_) {
                bool compressed = packed == BlockCodec::Packed::Compressed;
                int32_t length = compressed ? packedSize : count;
                out_->WriteInt32(compressed ? length : -length);
                out_->Write(compressed ? packed_.data() : input_.data(), static_cast<size_t>(length));
                c_.packedSize_ = Add32(c_.packedSize_, static_cast<int64_t>(length) + 4);
                ++blocksOnVolume_;
            }
            ServeMessageQueueOnce();
            if (c_.OnProgress) c_.OnProgress(c_, c_.currentFile_, c_.Percent(), c_.continue_);
        }
        out_->WriteInt32(0);
        if (remaining > 0 && c_.continue_) {
            ++volume_;
            std::string digits = VolumeDigits(volume_);
            out_->WriteInt32(12);
            std::string record = kNextDisk + digits;
            out_->Write(record.data(), record.size());
            CloseVolume();
            c_.AskForDisk(volume_);
            if (c_.continue_) {
                archivePath_ = ChangeFileExt(archivePath_, "." + digits);
                OpenVolume();
            }
        }
    } catch (const Exception&) {
        c_.continue_ = false;
        c_.errorCode_ = beCannotWriteArchive;
    }
}

}  // namespace nb
