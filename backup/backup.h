#pragma once
// TBackupFile: packs files named by wildcard patterns into a compressed, optionally
// multi-volume backup archive, and restores such an archive into a folder.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nb {

class TStream;

enum TBackupMode : uint8_t { bmAll = 0, bmIncremental = 1 };
enum TRestoreMode : uint8_t { rmAll = 0, rmNoOverwrite = 1, rmNewer = 2, rmExisting = 3, rmExistingNewer = 4 };
enum TCompressionLevel : uint8_t { clFastest = 0, clNone = 1, clDefault = 2, clMax = 3 };
using TPercentage = uint8_t;  // 0 to 100

class TBackupFile;

using TProgressEvent =
    std::function<void(TBackupFile& Sender, std::string Filename, TPercentage Percent, bool& Continue)>;
using TNeedDiskEvent = std::function<void(TBackupFile& Sender, uint16_t DiskID, bool& Continue)>;
using TRestoreFileEvent = std::function<void(TBackupFile& Sender, std::string& Filename, int32_t FA, bool& DoRestore)>;
using TFileRestoredEvent = std::function<void(TBackupFile& Sender, std::string& Filename, TStream*& Stream)>;
using TBackupErrorEvent = std::function<void(TBackupFile& Sender, int32_t Error, std::string ErrString)>;

// Error codes of a run, reported through ReportError.
constexpr int32_t beCannotReadFile = 1;
constexpr int32_t beOverwritingFailed = 2;
constexpr int32_t beCannotReadArchive = 3;
constexpr int32_t beCannotWriteArchive = 4;
constexpr int32_t beInvalidArchive = 5;
constexpr int32_t beCompressionError = 6;
constexpr int32_t beCannotCreateTempFile = 7;

// The message of an error code ("" for any other code).
std::string BackupErrorText(int32_t code);

// What a Backup or Restore run keeps: the values its owner reads afterwards, the run flag (the
// Continue of every event) and the run's error code. The component owns it and hands it to the
// writer or the reader for the run.
struct TBackupRunState {
    int32_t FileCount = 0;
    int32_t FilesProcessed = 0;
    int32_t TotalSize = 0;
    int32_t ProcessedSize = 0;
    int32_t PackedSize = 0;
    std::string CurrentFile;
    std::string FailedFile;
    std::vector<std::string> UnmatchedPatterns;  // of the last Backup
    bool Busy = false;
    bool Continue = true;
    int32_t ErrorCode = 0;

    // ProcessedSize of TotalSize in percent, rounded halves to even.
    TPercentage Percent() const;
};

class TBackupFile {
public:
    TBackupFile() = default;
    TBackupFile(const TBackupFile&) = delete;
    TBackupFile& operator=(const TBackupFile&) = delete;

    // Published.
    std::string Version() const { return "5.10"; }
    void SetVersion(const std::string&) {}
    std::string BackupTitle;
    TBackupMode BackupMode() const { return backupMode_; }
    void SetBackupMode(TBackupMode value);
    TCompressionLevel CompressionLevel = clFastest;
    TRestoreMode RestoreMode = rmAll;
    int32_t MaxSize = 0;
    bool SetArchiveFlag = false;
    TProgressEvent OnProgress;
    TNeedDiskEvent OnNeedDisk;
    TRestoreFileEvent OnRestoreFile;
    TFileRestoredEvent OnFileRestored;
    TBackupErrorEvent OnError;
    bool RestoreFullPath = false;
    bool SaveFileID = false;
    // Threads that pack and unpack blocks (0: one per core); the archive is the same for any count.
    unsigned Threads = 0;

    // State the owner may read.
    int32_t FileCount() const { return run_.FileCount; }
    int32_t FilesProcessed() const { return run_.FilesProcessed; }
    int32_t TotalSize() const { return run_.TotalSize; }
    int32_t ProcessedSize() const { return run_.ProcessedSize; }
    int32_t PackedSize() const { return run_.PackedSize; }
    const std::string& CurrentFile() const { return run_.CurrentFile; }
    // The source file the last Backup could not open or read; empty when there was none.
    const std::string& FailedFile() const { return run_.FailedFile; }
    // The patterns of the last Backup that named no file (a folder names none).
    const std::vector<std::string>& UnmatchedPatterns() const { return run_.UnmatchedPatterns; }
    bool Busy() const { return run_.Busy; }
    // Archive target / source when the archive path is ":STREAM"; owned by the owner.
    TStream* BackupStream = nullptr;
    TStream* RestoreStream = nullptr;

    bool Backup(const std::vector<std::string>& files, const std::string& archivePath);
    bool Restore(const std::string& archivePath, const std::string& targetFolder);

private:
    TBackupMode backupMode_ = bmAll;
    TBackupRunState run_;
};

// Walks every volume and inflates every block without writing anything.
struct VerifyResult {
    bool Ok = false;
    int32_t Entries = 0;  // entries seen (the file-list entry included)
    int64_t Bytes = 0;    // uncompressed bytes over all entries
    std::string Problem;  // what is wrong, with the volume path and offset
};
VerifyResult VerifyArchive(const std::string& archivePath, unsigned threads = 0);

// One entry of an archive listing.
struct ArchiveEntryInfo {
    std::string Name;
    int32_t Stamp = 0;
    int64_t Size = 0;
};
struct ArchiveListing {
    std::string Title;
    int32_t TotalSize = 0;
    int32_t FileCount = 0;
    std::vector<ArchiveEntryInfo> Entries;
};
// Reads the header and every entry (all volumes); raises nb::Exception with the place of a fault.
ArchiveListing ListArchive(const std::string& archivePath);
// The title, from the header alone; raises nb::Exception where the header cannot be read.
std::string ArchiveTitle(const std::string& archivePath);

// A stamp as "YYYY-MM-DD HH:MM:SS", its fields as they decode.
std::string FormatDosStamp(int32_t stamp);
// The path of volume n (2, 3, ...) of the archive whose first volume is firstVolume.
std::string VolumePath(const std::string& firstVolume, unsigned volume);

}  // namespace nb
