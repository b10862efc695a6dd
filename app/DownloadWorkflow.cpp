// "자료 내려받기": fetch the user's archive and rebuild the data folder from it and "zipcode.bck".
#include <memory>

#include "app/DataFolderSwap.h"
#include "app/FileNotices.h"
#include "app/TransferDisplay.h"
#include "platform/ScopeExit.h"
#include "app/Unit1.h"
#include "platform/CrashPoint.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/Stream.h"

namespace nb {

namespace {

// A temporary download that goes away unless it was kept.
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

}  // namespace

void TForm1::btnRestoreWizardClick() {
    if (!InputUsable()) return;
    if (!CheckInternet()) return;
    if (!ConnectServer()) return;
    restoreSucceeded_ = false;
    ScopeExit dropDownload([this] { DiscardPendingDownload(); });
    bool downloaded = DownloadFile();
    if (downloaded) RestoreData(pendingDownload_);
    DisconnectServer();
    window_.ShowMessage("모든 작업을 정상적으로 완료하였습니다.");
    lastPressCompleted_ = downloaded && restoreSucceeded_;
}

bool TForm1::DownloadFile() {
    if (!IdFTP1.IsConnected()) return false;
    DiscardPendingDownload();
    // Outside the trap, so that a full disk is judged while the partial download still takes its room.
    TPartialFile partial("");
    try {
        window_.SetProgressVisible(true);
        window_.SetStatusText("파일을 받는 중...");
        window_.ProcessMessages();
        IdFTP1.SetTransferType(ftBinary);
        const std::string remote = RemoteArchiveName();
        const int64_t expected = IdFTP1.Size(remote);
        progressShift_ = expected > 0 ? ProgressScaleShift(expected) : 0;
        ExpectedSize_ = expected < 0 ? -1 : static_cast<int32_t>(expected >> progressShift_);
        CrashPoint("download.size-known");

        // The previous local archive stays until the new one has restored completely.
        if (!DirectoryExists(BackupFolder_)) ForceDirectories(BackupFolder_);
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
        pendingDownload_ = partial.Path();
        partial.Keep();
        CrashPoint("download.done");
        return true;
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
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

void TForm1::RestoreData(const std::string& archivePath) {
    restoreSucceeded_ = false;
    bool result = false;
    std::string leftBehind, problem;
    {
        window_.SetCursor(TScreenCursor::HourGlass);
        ShowArchiveProgress();
        ScopeExit done([this] {
            window_.SetStatusText("복원을 완료했습니다.");
            window_.SetCursor(TScreenCursor::Default);
        });
        BackupFile.RestoreMode = rmAll;
        BackupFile.RestoreFullPath = false;
        TDataFolderSwap swap(DataFolder_, {archivePath, ZipcodeArchivePath()},
                             [this](const std::string& archive, const std::string& target) {
                                 return BackupFile.Restore(archive, target);
                             });
        if (environment_.OnSwapStep)
            swap.OnStep = [this](TSwapStep step) { environment_.OnSwapStep(SwapStepName(step)); };
        // A downloaded archive replaces the previous local one only once it restored completely.
        if (archivePath == pendingDownload_) swap.OnStaged = [this] { return KeepPendingDownload(); };
        result = swap.Run();
        if (!swap.RolledBack()) leftBehind = swap.SetAsideFolder();
        if (!result)
            problem = swap.Fault() == TSwapFault::DiskFull ? DiskFullNotice(DataFolder_)
                                                           : SwapFaultNotice(swap.Fault(), swap.ProblemFile());
    }
    if (!problem.empty()) window_.ShowProblem(problem);
    if (!result) window_.ShowInformation("복원에 실패하였습니다.", "자료백업/복원");
    if (!leftBehind.empty())
        window_.ShowMessage(
            Format("이전 자료 파일 일부를 되돌리지 못했습니다. %s 폴더에 남아 있습니다.", leftBehind.c_str()));
    restoreSucceeded_ = result;
}

bool TForm1::DeleteDataFiles() { return !DataFolder_.empty() && ReadOnlyPlainFiles(DataFolder_).empty(); }

}  // namespace nb
