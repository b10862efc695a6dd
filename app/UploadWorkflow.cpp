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

// Names beside the archive's: "<user ID>.bck.part" while an upload is under way, "<user ID>.bck.old"
// for the previous copy while a server that will not rename onto an existing name swaps the two.
// Every archive name ends in ".bck" and these do not, and they keep the whole user ID, so
// neither can be another user's archive or another user's file of the same kind.
constexpr const char* kIncompleteSuffix = ".part";
constexpr const char* kPreviousSuffix = ".old";

// Replies by which a server says it has no renames at all.
bool RenamesUnsupported(int32_t code) { return code == 500 || code == 502 || code == 504; }

void DeleteQuietly(TIdFTP& ftp, const std::string& name) {
    try {
        ftp.Delete(name);
    } catch (const EIdProtocolReplyError&) {
    }
}

void CloseQuietly(TIdFTP& ftp) {
    try {
        ftp.Disconnect();
    } catch (...) {
    }
}

// After a failure that left the conversation in step.
void RemoveTemporary(TIdFTP& ftp, const std::string& temporary) {
    try {
        if (ftp.IsConnected()) DeleteQuietly(ftp, temporary);
    } catch (...) {
        CloseQuietly(ftp);
    }
}

// What an upload that died left: its temporary file goes; a previous copy it had moved aside
// goes back where the archive was missing, and is removed where the new one stands.
void RemoveLeftovers(TIdFTP& ftp, const std::string& remote) {
    DeleteQuietly(ftp, remote + kIncompleteSuffix);
    try {
        ftp.Rename(remote + kPreviousSuffix, remote);
    } catch (const EIdFTPRenameTargetRefused&) {
        DeleteQuietly(ftp, remote + kPreviousSuffix);
    } catch (const EIdProtocolReplyError&) {
        // None left: the usual case.
    }
}

// A server that answers the size query must hold every byte that was sent.
void StoreChecked(TIdFTP& ftp, const std::string& local, const std::string& remote, int64_t size) {
    ftp.Put(local, remote, false);
    const int64_t stored = ftp.Size(remote);
    if (stored >= 0 && stored != size) throw Exception("the server kept " + std::to_string(stored) + " bytes");
}

// For servers that will not rename onto an existing name. The previous copy is moved aside
// rather than deleted, so that a server refusing the second rename still keeps it.
void SwapThroughAside(TIdFTP& ftp, const std::string& temporary, const std::string& remote) {
    const std::string aside = remote + kPreviousSuffix;
    ftp.Rename(remote, aside);
    try {
        ftp.Rename(temporary, remote);
    } catch (...) {
        try {
            ftp.Rename(aside, remote);
        } catch (...) {
        }
        throw;
    }
    DeleteQuietly(ftp, aside);
}

// Puts the checked temporary file in the archive's place.
void MoveOntoArchive(TIdFTP& ftp, const std::string& temporary, const std::string& remote, const std::string& local,
                     int64_t size) {
    try {
        ftp.Rename(temporary, remote);
        return;
    } catch (const EIdFTPRenameTargetRefused& e) {
        if (!RenamesUnsupported(e.ReplyCode)) return SwapThroughAside(ftp, temporary, remote);
    } catch (const EIdProtocolReplyError& e) {
        if (!RenamesUnsupported(e.ReplyCode)) throw;
    }
    // No renames at all: only the plain store onto the archive's name is left.
    StoreChecked(ftp, local, remote, size);
    DeleteQuietly(ftp, temporary);
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
        ok = BackupFile.Backup(files, partial) && SyncFile(partial) && RenameFile(partial, archivePath);
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
    const std::string remote = RemoteArchiveName();
    const std::string temporary = remote + kIncompleteSuffix;
    try {
        const std::string local = LocalArchivePath();
        const int64_t size = TFileStream(local, fmOpenRead | fmShareDenyWrite).Size();
        IdFTP1.SetTransferType(ftBinary);
        RemoveLeftovers(IdFTP1, remote);
        StoreChecked(IdFTP1, local, temporary, size);
        MoveOntoArchive(IdFTP1, temporary, remote, local, size);
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
    window_.ShowMessage("파일 올리기를 실패하였습니다.");
    return false;
}

}  // namespace nb
