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

    // The steps, under their own names. DownloadFile leaves the archive beside the previous
    // local one (PendingDownload()) until RestoreData has restored it completely.
    TResult<> DownloadFile();
    TResult<> RestoreData(const std::string& archivePath);
    const std::string& PendingDownload() const { return pending_; }

private:
    bool KeepPendingDownload();

    TPressContext& c_;
    int32_t generation_;
    TServerCopy serverCopy_;
    std::string pending_;
    // The files the download replaces, packed while the archive arrives.
    std::unique_ptr<TEarlyKeptCopy> early_;
};

// btnUndoDownloadClick: puts back the tables the last download replaced and keeps the ones it
// replaces in their stead, so that a second undo brings them back.
TResult<> UndoDownload(TPressContext& context);

}  // namespace nb
