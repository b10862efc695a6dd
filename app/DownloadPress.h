#pragma once
// "자료 내려받기": fetch the user's archive (or a previous copy) and rebuild the data folder from
// it and "zipcode.bck"; and the way back from a download.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/PressContext.h"
#include "platform/Result.h"

namespace nb {

class TBackgroundTransfer;
class TBackupFile;
class TEarlyKeptCopy;

class TDownloadPress {
public:
    // generation: 0 for the archive itself, n for the n-th previous copy ("<user ID>.bck.n").
    TDownloadPress(TPressContext& context, int32_t generation);
    ~TDownloadPress();
    TDownloadPress(const TDownloadPress&) = delete;
    TDownloadPress& operator=(const TDownloadPress&) = delete;

    // btnRestoreWizardClick: the whole press; done, or why it stopped (it has said so itself).
    TResult<> Run();

    // The steps, under their own names. DownloadFile readies the archive's transfer into a file
    // beside the previous local one, and RestoreData starts it and restores the archive as it
    // arrives; it replaces the local archive only once it has restored completely.
    TResult<> DownloadFile();
    TResult<> RestoreData(std::string archivePath);

private:
    bool KeepPendingDownload();
    TResult<> DownloadFailed(const std::string& reason);
    // Starts the archive's transfer on its thread, once.
    void StartArrival();
    // Waits for the transfer's end and says how it went; true once the whole archive is here.
    bool SettleArrival();
    bool RestoreArriving(TBackupFile& archive, const std::string& target);

    TPressContext& c_;
    int32_t generation_;
    TServerCopy serverCopy_;
    std::string remote_;    // the server's file it fetches
    std::string arriving_;  // the file the transfer writes
    std::string pending_;   // the whole archive, until it becomes the local one
    std::unique_ptr<TBackgroundTransfer> fetch_;
    bool settled_ = false, arrived_ = false;
    std::string arrivalFailure_;
    // The files the download replaces, packed while the archive arrives.
    std::unique_ptr<TEarlyKeptCopy> early_;
};

// btnUndoDownloadClick: puts back the tables the last download replaced and keeps the ones it
// replaces in their stead, so that a second undo brings them back.
TResult<> UndoDownload(TPressContext& context);

}  // namespace nb
