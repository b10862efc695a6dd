#pragma once
// Backup: one run of the archive writer over the component's settings.
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "backup/ArchiveIO.h"
#include "backup/BlockPool.h"
#include "backup/backup.h"

namespace nb {

class TFileStream;

class ArchiveWriter {
public:
    ArchiveWriter(TBackupFile& owner, TBackupRunState& run, const std::string& archivePath);
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    bool Run(const std::vector<std::string>& patterns);

private:
    // Lists the files pattern names; answers how many it matched (also those listed before).
    size_t AddFiles(const std::string& pattern);
    void MeasureFiles(std::string& fileIds);
    void SaveFileIds(const std::string& fileIds);
    void StoreFile(size_t index);
    void WriteFileData(TFileStream& source, int64_t& remaining);
    void ReadAhead(TFileStream& source);
    void OpenVolume();
    void CloseVolume();

    TBackupFile& c_;
    TBackupRunState& run_;
    std::string archivePath_;   // the volume being written
    std::string excludedPath_;  // the archive's full path, never stored in itself
    bool toStream_;
    bool limited_ = false;
    int64_t volumeLimit_ = 0;  // position from which a volume counts as full
    uint16_t volume_ = 1;
    int32_t blocksOnVolume_ = 0;
    std::vector<std::string> list_;
    std::unordered_set<std::string> listed_;
    std::string tempPath_;    // the file-ID list, once made
    bool listEntry_ = false;  // list_[0] is the file-ID list
    std::unique_ptr<TFileStream> volumeFile_;
    std::unique_ptr<archive::ArchiveOut> out_;
    int64_t unread_ = 0;  // bytes of the source file not yet handed to the pool
    archive::BlockPool pool_;
};

}  // namespace nb
