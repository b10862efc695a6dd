#pragma once
// Restore: one run of the archive reader over the component's settings.
#include <memory>
#include <string>
#include <vector>

#include "backup/ArchiveIO.h"
#include "backup/BlockCodec.h"
#include "backup/backup.h"
#include "platform/Text.h"

namespace nb {

class TFileStream;

class ArchiveReader {
public:
    ArchiveReader(TBackupFile& owner, TBackupRunState& run);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    bool Run(const std::string& archivePath, const std::string& targetFolder);

private:
    void OpenArchive();
    void Entry(const std::string& name);
    void NextVolume(const std::string& name);
    bool RuleAllows(const std::string& path) const;
    void ReadFileData(TStream* target, bool restoring);
    void FinishTarget(std::unique_ptr<TFileStream>& target);
    void CloseVolume();

    TBackupFile& c_;
    TBackupRunState& run_;
    std::string archivePath_;  // the volume being read
    std::string targetFolder_;
    bool fromStream_ = false;
    uint16_t volume_ = 1;
    bool decision_ = true;
    bool inEntry_ = false;  // an entry has begun, so a continuation has something to continue
    int32_t stamp_ = 0;
    TextEncoding encoding_ = TextEncoding::Unknown;  // the title's, tried first for every name
    std::unique_ptr<TFileStream> volumeFile_;
    std::unique_ptr<archive::ArchiveIn> in_;
    std::vector<uint8_t> input_, output_;
    archive::BlockCodec codec_;
};

}  // namespace nb
