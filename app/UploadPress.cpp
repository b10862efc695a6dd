#include "app/UploadPress.h"

#include <memory>
#include <vector>

#include "app/BackgroundTransfer.h"
#include "app/DataGuard.h"
#include "app/FileNotices.h"
#include "app/ServerArchive.h"
#include "net/ftp/IdFTPFileStreams.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/ScopeExit.h"
#include "platform/Stream.h"

namespace nb {

namespace {

constexpr const char* kUploadFailed = "파일 올리기를 실패하였습니다.";

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

}  // namespace

std::string BackupTitleNow(double now) {
    TDateParts t = DecodeDateTime(now);
    return Format("%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute) + "에 만든 백업파일";
}

TResult<> TUploadPress::Run() {
    if (auto usable = c_.InputUsable(); !usable) return usable;
    // An empty folder (a new computer, a wrong or unplugged drive) must never replace the
    // server's copy with an archive of nothing.
    if (CurrentTables(c_.DataFolder).empty()) {
        const std::string refusal = NoTablesToUploadText(c_.DataFolder);
        c_.Window.ShowInformation(refusal, kGuardCaption);
        return Refused(refusal);
    }
    const TPressRecord* last = c_.LastRecord();
    if (auto asked = c_.Ask(UploadLosesTablesQuestion(last, CurrentTables(c_.DataFolder))); !asked) return asked;
    TServiceSession& session = c_.Session;
    if (!session.CheckInternet()) return Fail("the Internet is not reachable");
    if (!session.ConnectServer()) return Fail("cannot log in to the server");
    const int32_t generations = session.Endpoints().Generations;
    try {
        c_.IdFTP1.SetTransferType(ftBinary);
        serverCopy_ = TServerArchive(c_.IdFTP1, c_.RemoteArchiveName(), generations).Describe(c_.RemoteArchiveName());
    } catch (...) {
        const std::string reason = CurrentExceptionText();
        c_.Window.ShowFailureReason(reason);
        c_.Window.ShowMessage(kUploadFailed);
        session.DisconnectServer();
        return Fail(reason);
    }
    if (auto asked = c_.Ask(UploadOverOtherCopyQuestion(last, serverCopy_, generations)); !asked) {
        session.DisconnectServer();
        return asked;
    }
    // The state the record keeps is taken before packing: a table written meanwhile then counts
    // as changed at the next press, never as already uploaded.
    const std::vector<TTableState> tables = CurrentTables(c_.DataFolder);
    TResult<> done = PackAndUpload();
    if (done) {
        TServerCopy stored;
        try {
            stored = TServerArchive(c_.IdFTP1, c_.RemoteArchiveName(), generations).Describe(c_.RemoteArchiveName());
        } catch (...) {
            // Unknown: the next upload asks once more.
        }
        c_.RecordPress(stored, c_.BackupFile.BackupTitle, tables);
        c_.Window.ShowMessage("모든 작업을 정상적으로 완료하였습니다.");
    }
    session.DisconnectServer();
    return done;
}

// The archive's bytes go to the server's temporary name while they are packed, where the server
// renames: the press then takes about as long as the line needs. A failed archive run must not
// replace the server's good copy with what it left behind: it never reaches the archive's name.
TResult<> TUploadPress::PackAndUpload() {
    TServerArchive server(c_.IdFTP1, c_.RemoteArchiveName(), c_.Session.Endpoints().Generations);
    bool overlap = false;
    try {
        if (c_.Session.EnsureConnected()) {
            c_.IdFTP1.SetTransferType(ftBinary);
            overlap = server.Prepare(serverCopy_);
        }
    } catch (...) {
        // Packed first then, and the upload says what fails when it tries again.
    }
    if (!overlap) {
        TResult<> done = BackupData(c_.LocalArchivePath());
        return done ? UploadFile() : done;
    }
    TBackgroundTransfer store(c_.IdFTP1);
    c_.Session.SetTransferUnderWay(true);
    ScopeExit ours([this] { c_.Session.SetTransferUnderWay(false); });
    TResult<> done = BackupData(c_.LocalArchivePath(), [&](const std::string& partial) -> TArchiveFeed& {
        auto reader = std::make_shared<TFeedReader>(partial, store.Feed());
        c_.Display.MarkTransferStart();
        store.Start([&ftp = c_.IdFTP1, reader, name = server.TemporaryName()] {
            TReadAheadStream ahead(*reader);
            ftp.PutStream(ahead, name, false);
        });
        return store.Feed();
    });
    if (done) return UploadFile(&server, &store);
    if (store.Started()) {
        store.Feed().Finish(false);
        try {
            store.Finish();
        } catch (...) {
            // The store was cut short on purpose.
        }
        // The cut store's final reply is still unread: the conversation is out of step, and the
        // next upload removes the temporary file.
        CloseQuietly(c_.IdFTP1);
    }
    return done;
}

TResult<> TUploadPress::BackupData(const std::string& archivePath, const TSendWhilePacking& sendWhilePacking) {
    std::vector<std::string> files;
    files.reserve(std::size(DataFilePatterns));
    for (const char* pattern : DataFilePatterns) files.push_back(JoinPath(c_.DataFolder, pattern));

    std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(archivePath));
    if (!DirectoryExists(folder)) CreateDir(folder);

    // Set before every run; an archive meant for upload is never cut into volumes: the server
    // holds one file.
    TBackupFile& archive = c_.BackupFile;
    archive.MaxSize = 0;
    archive.BackupTitle = BackupTitleNow(Now());
    archive.SetBackupMode(bmAll);
    archive.CompressionLevel = clFastest;
    archive.SaveFileID = false;

    // The run writes a file of its own beside the previous local archive, which it replaces
    // only once complete: a failed run leaves the previous one as it was.
    std::string partial = CreateTempFile(folder, ".nestbridge-archive-");
    // Where no file can be made the run itself fails to create it and reports that in its own words.
    if (partial.empty()) partial = JoinPath(folder, ".nestbridge-archive-000000");
    ScopeExit dropPartial([&partial] {
        if (!partial.empty()) DeleteFile(partial);
    });
    TWindowLayer& window = c_.Window;
    auto finish = [&window](bool succeeded) {
        window.SetProgressVisible(false);
        window.SetStatusText(succeeded ? "백업을 완료했습니다." : "백업에 실패하였습니다.");
        window.SetCursor(TScreenCursor::Default);
    };
    // Written through a stream of our own where a transfer follows the file.
    std::unique_ptr<TFileStream> out;
    std::unique_ptr<TFeedWriter> feeding;
    TArchiveFeed* feed = nullptr;
    if (sendWhilePacking && !partial.empty()) {
        try {
            out = std::make_unique<TFileStream>(partial, fmCreate | fmShareDenyWrite);
            feed = &sendWhilePacking(partial);
            feeding = std::make_unique<TFeedWriter>(*out, *feed);
        } catch (...) {
            // Packed alone then: the run names what is wrong with the file.
            out.reset();
        }
    }
    archive.BackupStream = feeding.get();
    ScopeExit detach([&archive] { archive.BackupStream = nullptr; });
    bool ok = false, noTables = false;
    std::string problem;
    try {
        window.SetCursor(TScreenCursor::AppStart);
        c_.Display.ShowArchiveProgress();
        ok = archive.Backup(files, feeding ? ":STREAM" : partial);
        if (out) {
            feeding.reset();
            ok = ok && out->Sync();
            out.reset();
        }
        // The tables vanished since they were counted: the previous local archive stays.
        noTables = ok && archive.UnmatchedPatterns().size() == files.size();
        ok = ok && !noTables && SyncFile(partial);
        if (feed) feed->Finish(ok);
        ok = ok && RenameFile(partial, archivePath);
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
        if (!problem.empty()) window.ShowProblem(problem);
        throw;
    }
    finish(ok);
    if (!problem.empty()) window.ShowProblem(problem);
    if (ok) return {};
    if (noTables) {
        window.ShowInformation(NoTablesToUploadText(c_.DataFolder), kGuardCaption);
        return Refused(NoTablesToUploadText(c_.DataFolder));
    }
    window.ShowInformation("백업에 실패하였습니다.", "자료백업/복원");
    return Fail(problem.empty() ? "the archive run failed" : problem);
}

std::string TUploadPress::ArchiveRunProblem(const std::string& archiveFolder) const {
    if (!DirectoryExists(archiveFolder)) return {};  // no data folder: said before any press runs
    if (DiskLooksFull(archiveFolder)) return DiskFullNotice(archiveFolder);
    if (!c_.BackupFile.FailedFile().empty()) return UnreadableTableNotice(ExtractFileName(c_.BackupFile.FailedFile()));
    return {};
}

TResult<> TUploadPress::UploadFile(TServerArchive* sending, TBackgroundTransfer* store) {
    TWindowLayer& window = c_.Window;
    window.SetProgressVisible(true);
    window.SetStatusText("파일을 올리는 중...");
    window.ProcessMessages();
    TServerArchive own(c_.IdFTP1, c_.RemoteArchiveName(), c_.Session.Endpoints().Generations);
    TServerArchive& server = sending ? *sending : own;
    server.OnTransferred = [&window] { window.SetStatusText("전송을 완료했습니다."); };
    const std::string temporary = c_.RemoteArchiveName() + ".part";
    std::string reason;
    try {
        const std::string local = c_.LocalArchivePath();
        const int64_t size = TFileStream(local, fmOpenRead | fmShareDenyWrite).Size();
        if (store && store->Started()) {
            c_.Display.FollowBackgroundTransfer(*store, c_.IdFTP1, wmWrite, size);
            store->Finish();
            server.Complete(local, size);
            return {};
        }
        if (!c_.Session.EnsureConnected()) throw EIdException("the connection to the server was lost");
        c_.IdFTP1.SetTransferType(ftBinary);
        server.Upload(local, size, serverCopy_);
        return {};
    } catch (const EIdProtocolReplyError&) {
        reason = CurrentExceptionText();
        window.ShowFailureReason(reason);
        RemoveTemporary(c_.IdFTP1, temporary);
    } catch (const EIdException&) {
        reason = CurrentExceptionText();
        window.ShowFailureReason(reason);
        // A broken or silent connection may leave replies unread: the conversation is out of
        // step, so it ends here; the next upload removes the temporary file.
        CloseQuietly(c_.IdFTP1);
    } catch (...) {
        reason = CurrentExceptionText();
        window.ShowFailureReason(reason);
        RemoveTemporary(c_.IdFTP1, temporary);
    }
    window.SetProgressVisible(false);
    window.ShowMessage(kUploadFailed);
    return Fail(reason);
}

}  // namespace nb
