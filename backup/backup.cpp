// The component itself: settings, error reporting, the volume prompt and the progress figure.
#include "backup/backup.h"

#include <algorithm>
#include <cmath>

#include "backup/ArchiveReader.h"
#include "backup/ArchiveWriter.h"
#include "backup/BackupRun.h"
#include "platform/Format.h"
#include "platform/UserInterface.h"

namespace nb {

std::string BackupErrorText(int32_t code) {
    switch (code) {
        case beCannotReadFile: return "Cannot read file";
        case beOverwritingFailed: return "Overwriting file failed";
        case beCannotReadArchive: return "Cannot read archive";
        case beCannotWriteArchive: return "Cannot write to archive";
        case beInvalidArchive: return "Invalid archive type";
        case beCompressionError: return "Compression error";
        case beCannotCreateTempFile: return "Cannot create temporary file to save the file IDs";
        default: return "";
    }
}

void TBackupFile::SetBackupMode(TBackupMode value) {
    if (value == backupMode_) return;
    if (value == bmIncremental) SetArchiveFlag = true;
    backupMode_ = value;
}

TPercentage TBackupRunState::Percent() const {
    if (TotalSize == 0) return 100;  // nothing to measure against: all of nothing is done
    long double share = static_cast<long double>(ProcessedSize) / TotalSize * 100.0L;
    long double rounded = std::nearbyint(share);  // the default rounding mode takes halves to even
    return static_cast<TPercentage>(std::clamp<long double>(rounded, 0.0L, 100.0L));
}

namespace archive {

void ReportError(TBackupFile& owner, int32_t code) {
    std::string message = BackupErrorText(code);
    if (owner.OnError)
        owner.OnError(owner, code, message);
    else
        ShowErrorBox(message);
}

void AskForDisk(TBackupFile& owner, TBackupRunState& run, uint16_t volume) {
    if (owner.OnNeedDisk)
        owner.OnNeedDisk(owner, volume, run.Continue);
    else
        run.Continue =
            AskOkCancel(Format("Please insert disk %s and click OK to continue.", std::to_string(volume).c_str()));
}

}  // namespace archive

bool TBackupFile::Backup(const std::vector<std::string>& files, const std::string& archivePath) {
    return ArchiveWriter(*this, run_, archivePath).Run(files);
}

bool TBackupFile::Restore(const std::string& archivePath, const std::string& targetFolder) {
    return ArchiveReader(*this, run_).Run(archivePath, targetFolder);
}

}  // namespace nb
