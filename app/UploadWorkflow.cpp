// "자료 올리기": pack the data tables into the user's archive and store it on the server.
#include <vector>

#include "platform/ScopeExit.h"
#include "app/FileNotices.h"
#include "app/Unit1.h"
#include "platform/DurableFile.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/Stream.h"

namespace nb {

namespace {

std::string BackupTitleNow(double now) {
    TDateParts t = DecodeDateTime(now);
    return Format("%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute) + "에 만든 백업파일";
}

}  // namespace

void TForm1::btnBackupWizardClick() {
    if (!InputUsable()) return;
    if (!CheckInternet()) return;
    if (!ConnectServer()) return;
    BackupData(LocalArchivePath());
    // A failed archive run must not replace the server's good copy with what it left behind.
    if (!backupSucceeded_) {
        DisconnectServer();
        return;
    }
    bool uploaded = UploadFile();
    if (uploaded) window_.ShowMessage("모든 작업을 정상적으로 완료하였습니다.");
    DisconnectServer();
    lastPressCompleted_ = uploaded;
}

void TForm1::BackupData(const std::string& archivePath) {
    backupSucceeded_ = false;
    std::vector<std::string> files;
    files.reserve(std::size(DataFilePatterns));
    for (const char* pattern : DataFilePatterns) files.push_back(DataFolder_ + PathDelim + pattern);

    std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(archivePath));
    if (!DirectoryExists(folder)) CreateDir(folder);

    // An archive meant for upload is never cut into volumes: the server holds one file.
    BackupFile.MaxSize = 0;
    BackupFile.BackupTitle = BackupTitleNow(Now());
    BackupFile.SetBackupMode(bmAll);
    BackupFile.CompressionLevel = clFastest;
    BackupFile.SaveFileID = false;

    // The run writes a file of its own beside the previous local archive, which it replaces
    // only once complete: a failed run leaves the previous one as it was.
    std::string partial = CreateTempFile(folder, ".nestbridge-archive-");
    // Where no file can be made the run itself fails to create it and reports that in its own words.
    if (partial.empty()) partial = folder + PathDelim + ".nestbridge-archive-000000";
    bool ok = false;
    std::string problem;
    ScopeExit dropPartial([&partial] {
        if (!partial.empty()) DeleteFile(partial);
    });
    try {
        window_.SetCursor(TScreenCursor::AppStart);
        ShowArchiveProgress();
        ScopeExit done([this] {
            window_.SetProgressVisible(false);
            window_.SetStatusText("백업을 완료했습니다.");
            window_.SetCursor(TScreenCursor::Default);
        });
        ok = BackupFile.Backup(files, partial) && SyncFile(partial) &&
             RenameFile(partial, archivePath);
        if (ok) {
            partial.clear();
            SyncDirectory(folder);
        } else {
            problem = ArchiveRunProblem(folder);
        }
    } catch (...) {
        // The run's own exception still goes to the default error box, after the notice.
        problem = ArchiveRunProblem(folder);
        if (!problem.empty()) window_.ShowProblem(problem);
        throw;
    }
    if (!problem.empty()) window_.ShowProblem(problem);
    if (!ok) window_.ShowInformation("백업에 실패하였습니다.", "자료백업/복원");
    backupSucceeded_ = ok;
}

std::string TForm1::ArchiveRunProblem(const std::string& archiveFolder) const {
    if (!DirectoryExists(archiveFolder)) return {};  // no data folder: said before any press runs
    if (DiskLooksFull(archiveFolder)) return DiskFullNotice(archiveFolder);
    if (!BackupFile.FailedFile().empty()) return UnreadableTableNotice(ExtractFileName(BackupFile.FailedFile()));
    return {};
}

bool TForm1::UploadFile() {
    if (!IdFTP1.IsConnected()) return false;
    window_.SetProgressVisible(true);
    window_.SetStatusText("파일을 올리는 중...");
    window_.ProcessMessages();
    try {
        const std::string local = LocalArchivePath();
        const std::string remote = RemoteArchiveName();
        IdFTP1.SetTransferType(ftBinary);
        IdFTP1.Put(local, remote, false);
        // A server that answers the size query must hold every byte that was sent.
        int64_t sent = TFileStream(local, fmOpenRead | fmShareDenyWrite).Size();
        int64_t stored = IdFTP1.Size(remote);
        if (stored >= 0 && stored != sent) throw Exception("size mismatch after upload");
        return true;
    } catch (...) {
        window_.ShowMessage("파일 올리기를 실패하였습니다.");
        return false;
    }
}

}  // namespace nb
