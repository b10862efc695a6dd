#pragma once
// The main window's core: its components, state, configuration and the two workflows.
// It shows everything through a TWindowLayer, so it runs the same under the Qt window, the
// command-line program and the tests.
#include <cstdint>
#include <functional>
#include <string>

#include "app/PressRecord.h"
#include "app/WindowLayer.h"
#include "backup/backup.h"
#include "net/ftp/IdFTP.h"
#include "net/icmp/IdIcmpClient.h"

namespace nb {

// Where the core finds what lies outside it. Empty members take the platform defaults (the
// system's settings file, the current user's registry, zipcode.bck beside the executable or in
// the installed data folder).
struct TForm1Environment {
    std::string SettingsFile;
    // Where the current user's registry is read (see platform/Registry.h).
    std::string RegistryLocation;
    std::string ZipcodeArchive;
    // Set by the command-line program: a data folder given on its command line replaces the registry's.
    std::string DataFolderOverride;
    // Local date and time (days since 1899-12-30) for the transfer display; empty: the system clock.
    std::function<double()> Now;
    // Told the name of each step of the download's data-folder swap as it starts (benchmarks).
    std::function<void(const std::string& step)> OnSwapStep;
};

class TForm1 {
public:
    explicit TForm1(TWindowLayer& window, TForm1Environment environment = {});
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    TBackupFile BackupFile;
    TIdFTP IdFTP1;
    TIdIcmpClient Ping;

    void FormCreate();
    // Button presses: an exception that escapes goes to the application's default error box.
    void PressBackup();
    void PressRestore();
    // The download of the n-th previous server copy ("<user ID>.bck.n", n from 1).
    void PressRestoreGeneration(int32_t generation);
    // Puts back the tables the last download replaced (kept in the Backup folder), and keeps the
    // ones it replaces in their stead, so that a second undo brings them back.
    void PressUndoDownload();
    // True while a press runs (the window disables its buttons meanwhile).
    bool Busy() const { return busy_; }
    // True when the last press completed its workflow (for the command-line exit status).
    bool LastPressCompleted() const { return lastPressCompleted_; }

    const std::string& DataFolder() const { return DataFolder_; }
    const std::string& BackupFolder() const { return BackupFolder_; }
    const std::string& FtpHostName() const { return FtpHostName_; }
    // The server's archive size as the progress bar counts it: bytes, halved ProgressShift() times
    // where the byte count does not fit 32 bits.
    int32_t ExpectedSize() const { return ExpectedSize_; }
    int ProgressShift() const { return progressShift_; }

    // The settings file, the local archive, the remote name and "zipcode.bck" as this press uses them.
    std::string SettingsFile() const;
    std::string LocalArchivePath() const;
    std::string RemoteArchiveName() const;
    std::string ZipcodeArchivePath() const;
    // The tables a download replaced: "Backup/<user ID>.bck.before-download".
    std::string KeptTablesPath() const;
    // What this computer remembers of its last successful press (app/PressRecord.h).
    std::string PressRecordPath() const;

    // The handlers and steps, under their own names.
    void btnBackupWizardClick();
    void btnRestoreWizardClick();
    void btnUndoDownloadClick();
    void BackupData(const std::string& archivePath);
    bool UploadFile();
    bool DownloadFile();
    void RestoreData(const std::string& archivePath);
    // True when every plain file of the data folder could be deleted (none is read-only). It
    // deletes nothing: RestoreData's swap sets the files aside and removes them only once the
    // restored files stand in their place.
    bool DeleteDataFiles();
    bool CheckInternet();
    bool ConnectServer();
    bool DisconnectServer();
    void IdFTP1WorkBegin(TIdComponent& Sender, TWorkMode AWorkMode, int64_t AWorkCountMax);
    void IdFTP1Work(TIdComponent& Sender, TWorkMode AWorkMode, int64_t AWorkCount);
    void IdFTP1WorkEnd(TIdComponent& Sender, TWorkMode AWorkMode);
    void BackupFileProgress(TBackupFile& Sender, const std::string& Filename, TPercentage Percent, bool& Continue);

    std::string ReadSetting(const std::string& key);
    void WriteSetting(const std::string& value, const std::string& key);
    void ReadDataFolder();

private:
    double CurrentTime() const;
    void ShowArchiveProgress();
    // Refuses (with a message) a press on a missing data folder or a user ID that cannot name a file.
    bool InputUsable();
    // A download also refuses when "zipcode.bck" is missing or damaged, naming it.
    bool ZipcodeUsable();
    // True when nothing needs asking (empty question) or the user answered yes.
    bool Ask(const std::string& question);
    // After a question the server may have closed an idle connection: a quiet new login.
    bool EnsureConnected();
    // Keeps the control connection from the server's idle time-out during long local work.
    void KeepServerAwake();
    // Packs the data folder's files (those a swap replaces) into path; true when there were none.
    bool PackDataFiles(const std::string& path);
    // Remembers the press that just succeeded.
    void RecordPress(const TServerCopy& server, const std::string& title, const std::vector<TTableState>& tables);
    // The restore step shared by the download and the undo: swaps the data folder's files for the
    // archives' contents. keptTables: where the replaced files go (packed before anything moves).
    // requireTables: the first archive must hold a table.
    bool SwapDataFolder(const std::vector<std::string>& archives, const std::string& keptTables,
                        bool requireTables);
    void RunPress(void (TForm1::*handler)());
    // The notice for a failed archive run: a full disk or the table it could not read.
    std::string ArchiveRunProblem(const std::string& archiveFolder) const;
    // Removes a download that never became the local archive.
    void DiscardPendingDownload();
    // Replaces the local archive by the pending download (once it restored completely).
    bool KeepPendingDownload();

    TWindowLayer& window_;
    TForm1Environment environment_;
    std::string DataFolder_;
    std::string BackupFolder_;
    int32_t ExpectedSize_ = 0;
    int progressShift_ = 0;
    double TransferStart_ = 0;
    std::string FtpHostName_;
    int32_t FtpPort_ = 21;
    int32_t Generations_ = 2;
    int32_t KeepAlive_ = 10000;
    int32_t restoreGeneration_ = 0;
    uint32_t lastServerTick_ = 0;
    // What the server said of the archive before this press's transfer.
    TServerCopy serverCopy_;
    bool busy_ = false;
    bool lastPressCompleted_ = false;
    bool backupSucceeded_ = false;
    bool restoreSucceeded_ = false;
    // The archive just restored had no table entry.
    bool noTablesRestored_ = false;
    // The downloaded archive, beside the previous local one until it has restored completely.
    std::string pendingDownload_;
};

// The application's default error box text: the message, with a full stop appended when its
// last character sorts after ".".
std::string ApplicationErrorText(const std::string& message);

// True when text can name the archive locally and on the server: not empty, no separator, not
// "." or "..", no control character, and short enough for a file name with ".bck.part".
bool UsableUserID(const std::string& text);

// The 33 name patterns of the accounting program's tables, in the order they are packed.
extern const char* const DataFilePatterns[33];

}  // namespace nb
