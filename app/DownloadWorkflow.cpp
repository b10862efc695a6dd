// "자료 내려받기": fetch the user's archive and rebuild the data folder from it and "zipcode.bck";
// also the download of a previous server copy and the way back from a download.
#include <memory>

#include "app/DataFolderSwap.h"
#include "app/DataGuard.h"
#include "app/FileNotices.h"
#include "app/ServerArchive.h"
#include "app/TransferDisplay.h"
#include "app/Unit1.h"
#include "platform/Clock.h"
#include "platform/CrashPoint.h"
#include "platform/DurableFile.h"
#include "platform/FileSystem.h"
#include "platform/FolderEntries.h"
#include "platform/Format.h"
#include "platform/ScopeExit.h"
#include "platform/Stream.h"

namespace nb {

namespace {

// A temporary file that goes away unless it was kept.
class TPartialFile {
public:
    explicit TPartialFile(std::string path) : path_(std::move(path)) {}
    ~TPartialFile() { Reset(""); }
    TPartialFile(const TPartialFile&) = delete;
    TPartialFile& operator=(const TPartialFile&) = delete;
    const std::string& Path() const { return path_; }
    void Keep() { path_.clear(); }
    void Reset(std::string path) {
        if (!path_.empty()) DeleteFile(path_);
        path_ = std::move(path);
    }

private:
    std::string path_;
};

// The title of an archive, for the record and the questions; empty when it cannot be read.
std::string TitleOf(const std::string& archive) {
    try {
        return ListArchive(archive).Title;
    } catch (const std::exception&) {
        return {};
    }
}

std::string KeptTitleNow(double now) {
    TDateParts t = DecodeDateTime(now);
    return Format("%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute) + "에 만든 백업파일";
}

}  // namespace

void TForm1::btnRestoreWizardClick() {
    if (!InputUsable() || !ZipcodeUsable()) return;
    TPressRecord record;
    const TPressRecord* last = ReadPressRecord(PressRecordPath(), window_.UserIDText(), DataFolder_, record) ? &record : nullptr;
    // A previous copy is a choice made on purpose, asked for once, with what it does.
    const std::string question =
        restoreGeneration_ > 0
            ? Format("서버에 보관된 %d회 전에 올린 자료를 내려받습니다. 이 컴퓨터의 지금 자료는 보관되고 그 자료로 "
                     "바뀝니다. 계속하시겠습니까?",
                     restoreGeneration_)
            : DownloadOverChangedWorkQuestion(last, CurrentTables(DataFolder_));
    if (!Ask(question)) return;
    if (!CheckInternet()) return;
    if (!ConnectServer()) return;
    restoreSucceeded_ = false;
    ScopeExit dropDownload([this] { DiscardPendingDownload(); });
    const bool downloaded = DownloadFile();
    std::string title;
    if (downloaded) {
        title = TitleOf(pendingDownload_);
        RestoreData(pendingDownload_);
    }
    DisconnectServer();
    lastPressCompleted_ = downloaded && restoreSucceeded_;
    if (!lastPressCompleted_) return;
    RecordPress(serverCopy_, title, CurrentTables(DataFolder_));
    window_.ShowMessage("모든 작업을 정상적으로 완료하였습니다.");
}

bool TForm1::DownloadFile() {
    if (!IdFTP1.IsConnected()) return false;
    DiscardPendingDownload();
    TServerArchive server(IdFTP1, RemoteArchiveName(), Generations_);
    const std::string remote =
        restoreGeneration_ > 0 ? server.GenerationName(restoreGeneration_) : RemoteArchiveName();
    // Outside the trap, so that a full disk is judged while the partial download still takes its room.
    TPartialFile partial("");
    try {
        window_.SetProgressVisible(true);
        window_.SetStatusText("파일을 받는 중...");
        window_.ProcessMessages();
        IdFTP1.SetTransferType(ftBinary);
        serverCopy_ = server.Describe(remote);
        const int64_t expected = serverCopy_.Size;
        if (restoreGeneration_ > 0 && !serverCopy_.Exists()) {
            window_.SetProgressVisible(false);
            window_.ShowMessage(Format("서버에 %d번째 이전 자료가 없습니다.", restoreGeneration_));
            return false;
        }
        progressShift_ = expected > 0 ? ProgressScaleShift(expected) : 0;
        ExpectedSize_ = expected < 0 ? -1 : static_cast<int32_t>(expected >> progressShift_);
        CrashPoint("download.size-known");

        // The previous local archive stays until the new one has restored completely.
        if (!DirectoryExists(BackupFolder_)) CreateDir(BackupFolder_);
        partial.Reset(CreateTempFile(BackupFolder_, ".nestbridge-download-"));
        if (partial.Path().empty()) throw Exception("cannot create the download file");
        CrashPoint("download.file-created");
        int64_t received = 0;
        {
            TFileStream file(partial.Path(), fmOpenReadWrite | fmShareDenyWrite);
            IdFTP1.GetToStream(remote, file, false);
            CrashPoint("download.received");
            if (!file.Sync()) throw Exception("cannot write the download file");
            CrashPoint("download.synced");
            received = file.Size();
        }
        if (expected >= 0 && received != expected) throw Exception("short download");
        window_.SetStatusText("전송을 완료했습니다.");
        pendingDownload_ = partial.Path();
        partial.Keep();
        CrashPoint("download.done");
        return true;
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
        window_.SetProgressVisible(false);
        if (DirectoryExists(BackupFolder_) && DiskLooksFull(BackupFolder_))
            window_.ShowProblem(DiskFullNotice(BackupFolder_));
        window_.ShowMessage("파일 받기에 실패하였습니다.");
        return false;
    }
}

void TForm1::DiscardPendingDownload() {
    if (pendingDownload_.empty()) return;
    DeleteFile(pendingDownload_);
    pendingDownload_.clear();
}

bool TForm1::KeepPendingDownload() {
    if (pendingDownload_.empty()) return true;
    if (!RenameFile(pendingDownload_, LocalArchivePath())) return false;
    pendingDownload_.clear();
    CrashPoint("download.replaced");
    return SyncDirectory(BackupFolder_);
}

bool TForm1::PackDataFiles(const std::string& path) {
    std::vector<std::string> files;
    for (const auto& name : DataFileNames(DataFolder_)) files.push_back(JoinPath(DataFolder_, name));
    TBackupFile kept;
    kept.BackupTitle = KeptTitleNow(Now());
    kept.CompressionLevel = clFastest;
    return kept.Backup(files, path) && SyncFile(path);
}

void TForm1::RestoreData(const std::string& archivePath) {
    restoreSucceeded_ = SwapDataFolder({archivePath, ZipcodeArchivePath()}, KeptTablesPath(), true);
}

bool TForm1::SwapDataFolder(const std::vector<std::string>& archives, const std::string& keptTables,
                            bool requireTables) {
    noTablesRestored_ = false;
    bool result = false;
    std::string leftBehind, problem;
    // The tables the swap replaces, packed before anything moves and kept once the swap stands.
    TPartialFile kept("");
    {
        window_.SetCursor(TScreenCursor::HourGlass);
        ShowArchiveProgress();
        ScopeExit cursor([this] { window_.SetCursor(TScreenCursor::Default); });
        BackupFile.RestoreMode = rmAll;
        BackupFile.RestoreFullPath = false;
        // The first archive is the user's: one without a single table would leave the books empty.
        int32_t tableEntries = 0;
        TDataFolderSwap swap(DataFolder_, archives,
                             [&](const std::string& archive, const std::string& target) {
                                 if (!requireTables || archive != archives.front())
                                     return BackupFile.Restore(archive, target);
                                 BackupFile.OnRestoreFile = [&tableEntries](TBackupFile&, std::string& file, int32_t,
                                                                            bool&) {
                                     tableEntries += IsTableName(ExtractFileName(file));
                                 };
                                 ScopeExit detach([this] { BackupFile.OnRestoreFile = nullptr; });
                                 if (!BackupFile.Restore(archive, target)) return false;
                                 noTablesRestored_ = tableEntries == 0;
                                 return !noTablesRestored_;
                             });
        if (environment_.OnSwapStep)
            swap.OnStep = [this](TSwapStep step) { environment_.OnSwapStep(SwapStepName(step)); };
        swap.OnStaged = [&] {
            if (!DataFileNames(DataFolder_).empty()) {
                // Not a name the start-up recovery removes: after a crash past the commit it may
                // be the only copy of what was replaced.
                if (!DirectoryExists(BackupFolder_) && !CreateDir(BackupFolder_)) return false;
                kept.Reset(CreateTempFile(BackupFolder_, ".nestbridge-kept-"));
                if (kept.Path().empty() || !PackDataFiles(kept.Path())) return false;
                CrashPoint("swap.tables-kept");
            }
            // A downloaded archive replaces the previous local one only once it restored completely.
            return archives.front() != pendingDownload_ || KeepPendingDownload();
        };
        result = swap.Run();
        if (result && !kept.Path().empty()) {
            if (RenameFile(kept.Path(), keptTables))
                SyncDirectory(BackupFolder_);
            else  // the swap stands; only the copy of what it replaced keeps its temporary name
                window_.ShowFailureReason("the replaced tables stay in " + kept.Path());
            kept.Keep();
        }
        if (!swap.RolledBack()) leftBehind = swap.SetAsideFolder();
        if (!result && !noTablesRestored_)
            problem = swap.Fault() == TSwapFault::DiskFull ? DiskFullNotice(DataFolder_)
                                                           : SwapFaultNotice(swap.Fault(), swap.ProblemFile());
        window_.SetStatusText(result ? "복원을 완료했습니다." : "복원에 실패하였습니다.");
    }
    if (!problem.empty()) window_.ShowProblem(problem);
    if (noTablesRestored_)
        window_.ShowInformation(NoTablesInServerArchiveText(), kGuardCaption);
    else if (!result)
        window_.ShowInformation("복원에 실패하였습니다.", "자료백업/복원");
    if (!leftBehind.empty())
        window_.ShowMessage(
            Format("이전 자료 파일 일부를 되돌리지 못했습니다. %s 폴더에 남아 있습니다.", leftBehind.c_str()));
    return result;
}

void TForm1::btnUndoDownloadClick() {
    if (!InputUsable()) return;
    const std::string keptTables = KeptTablesPath();
    if (!FileExists(keptTables)) {
        window_.ShowInformation("되돌릴 자료가 없습니다. 이 컴퓨터에는 내려받기로 바뀐 자료가 보관되어 있지 않습니다.",
                                kGuardCaption);
        return;
    }
    const std::string title = TitleOf(keptTables);
    if (!Ask(Format("마지막으로 내려받기 전의 자료(%s)로 되돌립니다. 지금 자료는 보관되어, 한 번 더 되돌리면 다시 "
                    "돌아옵니다. 계속하시겠습니까?",
                    title.empty() ? "보관된 자료" : title.c_str())))
        return;
    // Restored straight from the kept archive, which the tables it replaces take over once the
    // swap stands: a second undo brings them back.
    lastPressCompleted_ = SwapDataFolder({keptTables}, keptTables, false);
}

bool TForm1::DeleteDataFiles() { return !DataFolder_.empty() && ReadOnlyPlainFiles(DataFolder_).empty(); }

}  // namespace nb
