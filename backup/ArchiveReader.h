#pragma once
// Restore: one run over the component's settings, writing what the archive cursor hands out.
#include <memory>
#include <string>
#include <vector>

#include "backup/ArchiveCursor.h"
#include "backup/BlockPool.h"
#include "backup/backup.h"

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
    void Entry();
    void Continuation();
    bool RuleAllows(const std::string& path) const;
    void ReadFileData(TStream* target);
    void FinishTarget(std::unique_ptr<TFileStream>& target);

    TBackupFile& c_;
    TBackupRunState& run_;
    std::string targetFolder_;
    bool decision_ = true;
    archive::ArchiveCursor cursor_;
    archive::BlockPool pool_;
};

}  // namespace nb
