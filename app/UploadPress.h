#pragma once
// "자료 올리기": pack the data tables into the user's archive and store it on the server.
#include <functional>
#include <string>

#include "app/PressContext.h"
#include "platform/Result.h"

namespace nb {

class TArchiveFeed;
class TBackgroundTransfer;
class TServerArchive;

class TUploadPress {
public:
    explicit TUploadPress(TPressContext& context) : c_(context) {}

    // btnBackupWizardClick: the whole press; done, or why it stopped (it has said so itself).
    TResult<> Run();

    // Starts sending the archive file being written at the path given, and answers the feed to
    // tell as it grows; raises where it cannot start.
    using TSendWhilePacking = std::function<TArchiveFeed&(const std::string& partialArchive)>;

    // The steps, under their own names. The archive run may be sent as it is written; the upload
    // then completes what that store sent.
    TResult<> BackupData(const std::string& archivePath, const TSendWhilePacking& sendWhilePacking = nullptr);
    TResult<> UploadFile(TServerArchive* server = nullptr, TBackgroundTransfer* store = nullptr);

private:
    TResult<> PackAndUpload();
    // The notice for a failed archive run: a full disk or the table it could not read.
    std::string ArchiveRunProblem(const std::string& archiveFolder) const;

    TPressContext& c_;
    // What the server said of the archive before this press's transfer.
    TServerCopy serverCopy_;
};

// The archive's title made now: "yyyy-mm-dd hh:nn에 만든 백업파일".
std::string BackupTitleNow(double now);

}  // namespace nb
