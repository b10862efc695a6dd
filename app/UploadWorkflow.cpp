// "자료 올리기": pack the data tables into the user's archive and store it on the server.
#include <vector>

#include "app/DataGuard.h"
#include "app/FileNotices.h"
#include "app/ServerArchive.h"
#include "app/Unit1.h"
#include "platform/Clock.h"
#include "platform/DurableFile.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/ScopeExit.h"
#include "platform/Stream.h"

namespace nb {

namespace {

std::string BackupTitleNow(double now) {
    TDateParts t = DecodeDateTime(now);
    return Format("%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute) + "에 만든 백업파일";
}

void CloseQuietly(TIdFTP& ftp) {
    try {
        ftp.Disconnect();
    } catch (...) {
        // Closing a broken connection: there is nothing left to save.
    }
}

// After a failure that left the conversation in step: the temporary file of the upload goes.
void RemoveTemporary(TIdFTP& ftp, const std::string& temporary) {
    try {
        if (ftp.IsConnected()) ftp.Delete(temporary);
    } catch (const EIdProtocolReplyError&) {
        // Not there: the failure came before it was stored.
    } catch (...) {
        CloseQuietly(ftp);
    }
}

constexpr const char* kUploadFailed = "파일 올리기를 실패하였습니다.";

}  // namespace

void TForm1::btnBackupWizardClick() {
    if (!InputUsable()) return;
    // An empty folder (a new computer, a wrong or unplugged drive) must never replace the
    // server's copy with an archive of nothing.
    if (CurrentTables(DataFolder_).empty()) {
        window_.ShowInformation(NoTablesToUploadText(DataFolder_), kGuardCaption);
        return;
    }
    TPressRecord record;
    const TPressRecord* last = ReadPressRecord(PressRecordPath(), window_.UserIDText(), DataFolder_, record) ? &record : nullptr;
    if (!Ask(UploadLosesTablesQuestion(last, CurrentTables(DataFolder_)))) return;
    if (!CheckInternet()) return;
    if (!ConnectServer()) return;
    try {
        IdFTP1.SetTransferType(ftBinary);
        serverCopy_ = TServerArchive(IdFTP1, RemoteArchiveName(), Generations_).Describe(RemoteArchiveName());
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
        window_.ShowMessage(kUploadFailed);
        DisconnectServer();
        return;
    }
    if (!Ask(UploadOverOtherCopyQuestion(last, serverCopy_, Generations_))) {
        DisconnectServer();
        return;
    }
    // The state the record keeps is taken before packing: a table written meanwhile then counts
    // as changed at the next press, never as already uploaded.
    const std::vector<TTableState> tables = CurrentTables(DataFolder_);
    BackupData(LocalArchivePath());
    // A failed archive run must not replace the server's good copy with what it left behind.
    if (!backupSucceeded_) {
        DisconnectServer();
        return;
    }
    const bool uploaded = UploadFile();
    if (uploaded) {
        TServerCopy stored;
        try {
            stored = TServerArchive(IdFTP1, RemoteArchiveName(), Generations_).Describe(RemoteArchiveName());
        } catch (...) {
            // Unknown: the next upload asks once more.
        }
        RecordPress(stored, BackupFile.BackupTitle, tables);
        window_.ShowMessage("모든 작업을 정상적으로 완료하였습니다.");
    }
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
    bool ok = false, noTables = false;
    std::string problem;
    ScopeExit dropPartial([&partial] {
        if (!partial.empty()) DeleteFile(partial);
    });
    auto finish = [this](bool succeeded) {
        window_.SetProgressVisible(false);
        window_.SetStatusText(succeeded ? "백업을 완료했습니다." : "백업에 실패하였습니다.");
        window_.SetCursor(TScreenCursor::Default);
    };
    try {
        window_.SetCursor(TScreenCursor::AppStart);
        ShowArchiveProgress();
        ok = BackupFile.Backup(files, partial);
        // The tables vanished since they were counted: the previous local archive stays.
        noTables = ok && BackupFile.UnmatchedPatterns().size() == files.size();
        ok = ok && !noTables && SyncFile(partial) && RenameFile(partial, archivePath);
        if (ok) {
            partial.clear();
            SyncDirectory(folder);
        } else if (!noTables) {
            problem = ArchiveRunProblem(folder);
        }
    } catch (...) {
        finish(false);
        // The run's own exception still goes to the default error box, after the notice.
        problem = ArchiveRunProblem(folder);
        if (!problem.empty()) window_.ShowProblem(problem);
        throw;
    }
    finish(ok);
    if (!problem.empty()) window_.ShowProblem(problem);
    if (noTables)
        window_.ShowInformation(NoTablesToUploadText(DataFolder_), kGuardCaption);
    else if (!ok)
        window_.ShowInformation("백업에 실패하였습니다.", "자료백업/복원");
    backupSucceeded_ = ok;
}

std::string TForm1::ArchiveRunProblem(const std::string& archiveFolder) const {
    if (!DirectoryExists(archiveFolder)) return {};  // no data folder: said before any press runs
    if (DiskLooksFull(archiveFolder)) return DiskFullNotice(archiveFolder);
    if (!BackupFile.FailedFile().empty()) return UnreadableTableNotice(ExtractFileName(BackupFile.FailedFile()));
    return {};
}

bool TForm1::UploadFile() {
    window_.SetProgressVisible(true);
    window_.SetStatusText("파일을 올리는 중...");
    window_.ProcessMessages();
    TServerArchive server(IdFTP1, RemoteArchiveName(), Generations_);
    server.OnTransferred = [this] { window_.SetStatusText("전송을 완료했습니다."); };
    const std::string temporary = RemoteArchiveName() + ".part";
    try {
        if (!EnsureConnected()) throw EIdException("the connection to the server was lost");
        const std::string local = LocalArchivePath();
        const int64_t size = TFileStream(local, fmOpenRead | fmShareDenyWrite).Size();
        IdFTP1.SetTransferType(ftBinary);
        server.Upload(local, size, serverCopy_);
        return true;
    } catch (const EIdProtocolReplyError&) {
        window_.ShowFailureReason(CurrentExceptionText());
        RemoveTemporary(IdFTP1, temporary);
    } catch (const EIdException&) {
        window_.ShowFailureReason(CurrentExceptionText());
        // A broken or silent connection may leave replies unread: the conversation is out of
        // step, so it ends here; the next upload removes the temporary file.
        CloseQuietly(IdFTP1);
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
        RemoveTemporary(IdFTP1, temporary);
    }
    window_.SetProgressVisible(false);
    window_.ShowMessage(kUploadFailed);
    return false;
}

}  // namespace nb
