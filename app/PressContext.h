#pragma once
// What every press works with: the window, the main window's components (the archive, the FTP
// client, the probe), the progress display, the service session, the data folder and the paths
// derived from it. The window core owns one for its whole life; each press borrows it.
#include <string>
#include <vector>

#include "app/PressRecord.h"
#include "app/ServiceSession.h"
#include "app/TransferDisplay.h"
#include "app/Unit1.h"
#include "app/WindowLayer.h"
#include "backup/backup.h"
#include "net/ftp/IdFTP.h"
#include "net/icmp/IdIcmpClient.h"
#include "platform/Result.h"

namespace nb {

struct TPressContext {
    TPressContext(TWindowLayer& window, TForm1Environment environment);
    TPressContext(const TPressContext&) = delete;
    TPressContext& operator=(const TPressContext&) = delete;

    TWindowLayer& Window;
    const TForm1Environment Environment;
    std::string DataFolder;    // with one trailing separator removed
    std::string BackupFolder;  // DataFolder + "Backup"

    TBackupFile BackupFile;
    TIdFTP IdFTP1;
    TIdIcmpClient Ping;
    TTransferDisplay Display;
    TServiceSession Session;

    std::string SettingsFile() const;
    std::string RemoteArchiveName() const;  // the user ID + ".bck"
    std::string LocalArchivePath() const;   // in BackupFolder
    std::string ZipcodeArchivePath() const;
    std::string KeptTablesPath() const;  // "Backup/<user ID>.bck.before-download"
    std::string PressRecordPath() const;

    // A missing data folder or a user ID that cannot name a file is refused with a message.
    TResult<> InputUsable();
    // A download also refuses when "zipcode.bck" is missing or damaged, naming it.
    TResult<> ZipcodeUsable();
    // Nothing to ask (an empty question) or a yes; a no is a failure that says so.
    TResult<> Ask(const std::string& question);
    // This computer's record of its last successful press in this data folder; null when none.
    const TPressRecord* LastRecord();
    // Remembers the press that just succeeded.
    void RecordPress(const TServerCopy& server, const std::string& title, const std::vector<TTableState>& tables);

private:
    TPressRecord record_;
};

// The press answered no: what a question's No or a refusal gives back.
TFailure Refused(const std::string& why);

}  // namespace nb
