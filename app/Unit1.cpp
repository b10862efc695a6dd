// The main window's core: components, start-up, settings, registry and the press wrapper.
#include "app/Unit1.h"

#include <memory>

#include "app/DataFolderLocation.h"
#include "app/DataGuard.h"
#include "app/StartupRecovery.h"
#include "platform/Clock.h"
#include "platform/CrashPoint.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/IniFile.h"
#include "platform/ScopeExit.h"
#include "platform/Format.h"
#include "platform/UserInterface.h"

namespace nb {

namespace {
const char* const kSettingsSection = "Server";
const char* const kNoDataFolder = "가온장부의 자료 폴더를 찾을 수 없습니다. 가온장부가 설치되어 있는지 확인하십시오.";
const char* const kBadUserID = "사용자 아이디가 올바르지 않습니다. 아이디를 확인하고 다시 입력하십시오.";
const char* const kFolderBusy = "다른 곳에서 자료 폴더를 사용하고 있습니다. 그 작업이 끝난 뒤에 다시 시도하십시오.";
const char* const kMissingDataFolder =
    "가온장부의 자료 폴더(%s)가 없습니다. 드라이브가 연결되어 있는지, 가온장부의 자료 폴더 설정이 맞는지 확인하십시오.";
const char* const kZipcodeUnusable =
    "프로그램과 함께 설치된 우편번호 자료 파일(%s)이 없거나 손상되었습니다. 프로그램을 다시 설치한 뒤 다시 "
    "시도하십시오.";

}  // namespace

const char* const DataFilePatterns[33] = {
    "AssemblyItem.*", "Bankbook.*",        "BusiPart.*",     "Chmod.*",        "CreditCard.*",
    "Employee.*",     "InOut.*",           "InOutAccount.*", "InvAdjust.*",    "InventoryTrack.*",
    "Item.*",         "ItemAsm.*",         "Note.*",         "Option.*",       "Payment.*",
    "Price.*",        "PriceSearchEach.*", "Purchase.*",     "PurchaseItem.*", "PurchaseType.*",
    "Quote.*",        "QuoteItem.*",       "QuoteRef.*",     "ReceivePay.*",   "ReceivePay2.*",
    "Sale.*",         "SaleItem.*",        "SaleType.*",     "StockValue.*",   "System01.*",
    "TaxBill.*",      "TransactLog.*",     "UserInfo.*",
};

std::string ApplicationErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

bool UsableUserID(const std::string& text) {
    if (text.empty() || text == "." || text == ".." || text.size() + 9 > 255) return false;
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    return true;
}

TForm1::TForm1(TWindowLayer& window, TForm1Environment environment)
    : window_(window), environment_(std::move(environment)) {
    BackupFile.SetBackupMode(bmAll);
    BackupFile.CompressionLevel = clFastest;
    BackupFile.RestoreMode = rmAll;
    BackupFile.MaxSize = 0;
    BackupFile.SetArchiveFlag = false;
    BackupFile.RestoreFullPath = false;
    BackupFile.SaveFileID = false;
    BackupFile.OnProgress = [this](TBackupFile& sender, std::string filename, TPercentage percent, bool& cont) {
        BackupFileProgress(sender, filename, percent, cont);
    };

    IdFTP1.RecvBufferSize = 8192;
    IdFTP1.SendBufferSize = 1024;
    IdFTP1.ReadTimeout = 0;
    IdFTP1.MaxLineAction = maException;
    IdFTP1.ProxySettings = {};
    IdFTP1.Port = 21;
    IdFTP1.Passive = false;
    IdFTP1.OnWorkBegin = [this](TIdComponent& s, TWorkMode m, int64_t max) { IdFTP1WorkBegin(s, m, max); };
    IdFTP1.OnWork = [this](TIdComponent& s, TWorkMode m, int64_t count) { IdFTP1Work(s, m, count); };
    IdFTP1.OnWorkEnd = [this](TIdComponent& s, TWorkMode m) { IdFTP1WorkEnd(s, m); };

    // The archive component reports through the process-wide hooks; this is the one place
    // they are installed, and they lead to the window layer like everything else.
    UserInterfaceHooks hooks;
    hooks.ProcessMessages = [this] { window_.ProcessMessages(); };
    hooks.ErrorBox = [this](const std::string& text) { window_.ShowErrorBox(text); };
    hooks.OkCancelBox = [this](const std::string& text) { return window_.AskOkCancel(text); };
    SetUserInterfaceHooks(std::move(hooks));
}

TForm1::~TForm1() {
    DiscardPendingDownload();
    SetUserInterfaceHooks({});
}

void TForm1::FormCreate() {
    window_.SetUserIDText(ReadSetting("HOSTID"));
    window_.SetPasswordText("");
    // An unreadable registry value is the application's error: shown, and the window still opens.
    try {
        ReadDataFolder();
    } catch (const std::exception& e) {
        window_.ShowErrorBox(ApplicationErrorText(e.what()));
    }
}

std::string TForm1::SettingsFile() const {
    return environment_.SettingsFile.empty() ? DefaultSettingsFile() : environment_.SettingsFile;
}

std::string TForm1::ReadSetting(const std::string& key) {
    return TIniFile(SettingsFile()).ReadString(kSettingsSection, key, key);
}

void TForm1::WriteSetting(const std::string& value, const std::string& key) {
    TIniFile(SettingsFile()).WriteString(kSettingsSection, key, value);
}

void TForm1::ReadDataFolder() {
    std::string folder = environment_.DataFolderOverride;
    if (folder.empty()) folder = RegisteredDataFolder(environment_.RegistryLocation);
    DataFolder_ = ExcludeTrailingPathDelimiter(folder);
    BackupFolder_ = DataFolder_.empty() ? std::string() : DataFolder_ + PathDelim + "Backup";
}

std::string TForm1::LocalArchivePath() const { return BackupFolder_ + PathDelim + RemoteArchiveName(); }

std::string TForm1::RemoteArchiveName() const { return window_.UserIDText() + ".bck"; }

std::string TForm1::ZipcodeArchivePath() const {
    if (!environment_.ZipcodeArchive.empty()) return environment_.ZipcodeArchive;
    std::string exeFolder = ExtractFilePath(ExecutablePath());
    std::string beside = exeFolder + "zipcode.bck";
    if (FileExists(beside)) return beside;
    // An installation moved with `cmake --install --prefix` keeps bin/ and share/ side by side.
    std::string relocated = ExpandFileName(exeFolder + "../share/nestbridge/zipcode.bck");
    if (FileExists(relocated)) return relocated;
    return std::string(NB_INSTALL_DATADIR) + "/nestbridge/zipcode.bck";
}

bool TForm1::InputUsable() {
    if (DataFolder_.empty()) {
        window_.ShowMessage(kNoDataFolder);
        return false;
    }
    // Never created here: an empty folder where the books should be is the start of every loss.
    if (!DirectoryExists(DataFolder_)) {
        window_.ShowMessage(Format(kMissingDataFolder, DataFolder_.c_str()));
        return false;
    }
    if (!UsableUserID(window_.UserIDText())) {
        window_.ShowMessage(kBadUserID);
        return false;
    }
    return true;
}

bool TForm1::ZipcodeUsable() {
    const std::string zipcode = ZipcodeArchivePath();
    if (FileExists(zipcode) && VerifyArchive(zipcode).Ok) return true;
    window_.ShowMessage(Format(kZipcodeUnusable, zipcode.c_str()));
    return false;
}

std::string TForm1::KeptTablesPath() const { return LocalArchivePath() + ".before-download"; }

std::string TForm1::PressRecordPath() const { return PressRecordFile(SettingsFile()); }

bool TForm1::Ask(const std::string& question) {
    if (question.empty()) return true;
    if (window_.AskYesNo(question, kGuardCaption)) return true;
    window_.SetStatusText(kCancelledStatus);
    return false;
}

bool TForm1::EnsureConnected() {
    if (IdFTP1.IsConnected()) {
        try {
            IdFTP1.Noop();
            lastServerTick_ = TickCount();
            return true;
        } catch (...) {
            try {
                IdFTP1.Disconnect();
            } catch (...) {
                // Already broken: a new connection follows.
            }
        }
    }
    try {
        IdFTP1.Connect(true, -1);
        lastServerTick_ = TickCount();
        return true;
    } catch (...) {
        window_.ShowFailureReason(CurrentExceptionText());
        return false;
    }
}

void TForm1::KeepServerAwake() {
    // Servers close a control connection left idle for a while (vsftpd after 300 seconds by
    // default, some after 20).
    if (!IdFTP1.IsConnected() || TickCount() - lastServerTick_ < static_cast<uint32_t>(KeepAlive_)) return;
    lastServerTick_ = TickCount();
    try {
        IdFTP1.Noop();
    } catch (...) {
        // The connection is gone; the upload logs in again before it sends anything.
        try {
            IdFTP1.Disconnect();
        } catch (...) {
            // Nothing more to close.
        }
    }
}

void TForm1::RecordPress(const TServerCopy& server, const std::string& title, const std::vector<TTableState>& tables) {
    TPressRecord record{server, title, tables};
    // Not worth failing a press that succeeded: without a record the next press asks once more.
    if (!WritePressRecord(PressRecordPath(), window_.UserIDText(), DataFolder_, record))
        window_.ShowFailureReason("cannot write " + PressRecordPath());
}

void TForm1::RunPress(void (TForm1::*handler)()) {
    if (busy_) return;
    busy_ = true;
    lastPressCompleted_ = false;
    try {
        // One press at a time per data folder, across processes; a swap a dead run left is
        // settled before anything reads or rewrites the folder.
        std::unique_ptr<TFolderLock> lock;
        bool usable = true;
        if (!DataFolder_.empty() && DirectoryExists(DataFolder_)) {
            lock = std::make_unique<TFolderLock>(DataFolder_);
            TRecoveryResult recovered;
            if (!lock->Held()) {
                window_.ShowMessage(kFolderBusy);
                usable = false;
            } else if ((recovered = RecoverInterruptedSwapLocked(DataFolder_)).Outcome == TRecoveryOutcome::Failed) {
                window_.ShowMessage(RecoveryNotice(recovered));
                usable = false;
            }
        }
        CrashPoint("press.recovered");
        if (usable) (this->*handler)();
    } catch (const std::exception& e) {
        window_.ShowErrorBox(ApplicationErrorText(e.what()));
    } catch (...) {
        window_.ShowErrorBox(ApplicationErrorText("Unknown error"));
    }
    busy_ = false;
}

void TForm1::PressBackup() { RunPress(&TForm1::btnBackupWizardClick); }

void TForm1::PressRestore() { RunPress(&TForm1::btnRestoreWizardClick); }

void TForm1::PressRestoreGeneration(int32_t generation) {
    restoreGeneration_ = generation;
    ScopeExit reset([this] { restoreGeneration_ = 0; });
    RunPress(&TForm1::btnRestoreWizardClick);
}

void TForm1::PressUndoDownload() { RunPress(&TForm1::btnUndoDownloadClick); }

}  // namespace nb
