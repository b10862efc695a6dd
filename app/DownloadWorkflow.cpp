// "자료 내려받기": fetch the user's archive and rebuild the data folder from it and "zipcode.bck".
#include <memory>

#include "app/DataFolderSwap.h"
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
    ~TPartialFile() {
        if (!path_.empty()) DeleteFile(path_);
    }
    TPartialFile(const TPartialFile&) = delete;
    TPartialFile& operator=(const TPartialFile&) = delete;
    const std::string& Path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

}  // namespace

void TForm1::btnRestoreWizardClick() {
    if (!InputUsable()) return;
    if (!CheckInternet()) return;
    if (!ConnectServer()) return;
    restoreSucceeded_ = false;
    bool downloaded = DownloadFile();
    if (downloaded) RestoreData(LocalArchivePath());
    DisconnectServer();
    window_.ShowMessage("모든 작업을 정상적으로 완료하였습니다.");
    lastPressCompleted_ = downloaded && restoreSucceeded_;
}

bool TForm1::DownloadFile() {
    if (!IdFTP1.IsConnected()) return false;
    try {
        window_.SetProgressVisible(true);
        window_.SetStatusText("파일을 받는 중...");
        window_.ProcessMessages();
        IdFTP1.SetTransferType(ftBinary);
        const std::string remote = RemoteArchiveName();
        const int32_t expected = ExpectedSize_ = IdFTP1.Size(remote);
        CrashPoint("download.size-known");

        // The previous local archive stays until the new one is complete.
        if (!DirectoryExists(BackupFolder_)) ForceDirectories(BackupFolder_);
        TPartialFile partial(CreateTempFile(BackupFolder_, ".nestbridge-download-"));
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
        if (!RenameFile(partial.Path(), LocalArchivePath())) throw Exception("cannot replace the local archive");
        partial.Keep();
        CrashPoint("download.replaced");
        SyncDirectory(BackupFolder_);
        CrashPoint("download.done");
        return true;
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
        window_.ShowMessage("파일 받기에 실패하였습니다.");
        return false;
    }
}

void TForm1::RestoreData(const std::string& archivePath) {
    restoreSucceeded_ = false;
    bool result = false;
    std::string leftBehind;
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
        result = swap.Run();
        if (!swap.RolledBack()) leftBehind = swap.SetAsideFolder();
    }
    if (!result) window_.ShowInformation("복원에 실패하였습니다.", "자료백업/복원");
    if (!leftBehind.empty())
        window_.ShowMessage(Format("이전 자료 파일 일부를 되돌리지 못했습니다. %s 폴더에 남아 있습니다.", leftBehind.c_str()));
    restoreSucceeded_ = result;
}

bool TForm1::DeleteDataFiles() { return !DataFolder_.empty() && ReadOnlyPlainFiles(DataFolder_).empty(); }

}  // namespace nb
