#include "app/PressContext.h"

#include "app/DataGuard.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/IniFile.h"

namespace nb {

namespace {
const char* const kNoDataFolder = "가온장부의 자료 폴더를 찾을 수 없습니다. 가온장부가 설치되어 있는지 확인하십시오.";
const char* const kMissingDataFolder =
    "가온장부의 자료 폴더(%s)가 없습니다. 드라이브가 연결되어 있는지, 가온장부의 자료 폴더 설정이 맞는지 확인하십시오.";
const char* const kBadUserID = "사용자 아이디가 올바르지 않습니다. 아이디를 확인하고 다시 입력하십시오.";
const char* const kZipcodeUnusable =
    "프로그램과 함께 설치된 우편번호 자료 파일(%s)이 없거나 손상되었습니다. 프로그램을 다시 설치한 뒤 다시 "
    "시도하십시오.";
}  // namespace

TFailure Refused(const std::string& why) { return Fail(why); }

TPressContext::TPressContext(TWindowLayer& window, TForm1Environment environment)
    : Window(window), Environment(std::move(environment)),
      Display(window, Environment.Now ? Environment.Now : std::function<double()>([] { return Now(); })),
      Session(window, IdFTP1, Ping) {
    // The form's settings of its components, in one place.
    BackupFile.SetBackupMode(bmAll);
    BackupFile.CompressionLevel = clFastest;
    BackupFile.RestoreMode = rmAll;
    BackupFile.MaxSize = 0;
    BackupFile.SetArchiveFlag = false;
    BackupFile.RestoreFullPath = false;
    BackupFile.SaveFileID = false;
    BackupFile.OnProgress = [this](TBackupFile& sender, std::string filename, TPercentage percent, bool& cont) {
        Display.BackupFileProgress(sender, filename, percent, cont);
        Session.KeepAwake();
    };
    IdFTP1.RecvBufferSize = 8192;
    IdFTP1.SendBufferSize = 1024;
    IdFTP1.ReadTimeout = 0;
    IdFTP1.MaxLineAction = maException;
    IdFTP1.Port = 21;
    IdFTP1.Passive = false;
    IdFTP1.OnWorkBegin = [this](TIdComponent& s, TWorkMode m, int64_t max) { Display.IdFTP1WorkBegin(s, m, max); };
    IdFTP1.OnWork = [this](TIdComponent& s, TWorkMode m, int64_t count) { Display.IdFTP1Work(s, m, count); };
    IdFTP1.OnWorkEnd = [this](TIdComponent& s, TWorkMode m) { Display.IdFTP1WorkEnd(s, m); };
}

std::string TPressContext::SettingsFile() const {
    return Environment.SettingsFile.empty() ? DefaultSettingsFile() : Environment.SettingsFile;
}

std::string TPressContext::RemoteArchiveName() const { return Window.UserIDText() + ".bck"; }

std::string TPressContext::LocalArchivePath() const { return JoinPath(BackupFolder, RemoteArchiveName()); }

std::string TPressContext::ZipcodeArchivePath() const {
    if (!Environment.ZipcodeArchive.empty()) return Environment.ZipcodeArchive;
    std::string exeFolder = ExtractFilePath(ExecutablePath());
    std::string beside = JoinPath(exeFolder, "zipcode.bck");
    if (FileExists(beside)) return beside;
    // An installation moved with `cmake --install --prefix` keeps bin/ and share/ side by side.
    std::string relocated = ExpandFileName(JoinPath(exeFolder, "../share/nestbridge/zipcode.bck"));
    if (FileExists(relocated)) return relocated;
    return JoinPath(NB_INSTALL_DATADIR, "nestbridge/zipcode.bck");
}

std::string TPressContext::KeptTablesPath() const { return LocalArchivePath() + ".before-download"; }

std::string TPressContext::PressRecordPath() const { return PressRecordFile(SettingsFile()); }

TResult<> TPressContext::InputUsable() {
    std::string refusal;
    if (DataFolder.empty())
        refusal = kNoDataFolder;
    else if (!DirectoryExists(DataFolder))  // never created here: an empty folder is the start of every loss
        refusal = Format(kMissingDataFolder, DataFolder.c_str());
    else if (!UsableUserID(Window.UserIDText()))
        refusal = kBadUserID;
    if (refusal.empty()) return {};
    Window.ShowMessage(refusal);
    return Refused(refusal);
}

TResult<> TPressContext::ZipcodeUsable() {
    const std::string zipcode = ZipcodeArchivePath();
    if (FileExists(zipcode) && VerifyArchive(zipcode).Ok) return {};
    const std::string refusal = Format(kZipcodeUnusable, zipcode.c_str());
    Window.ShowMessage(refusal);
    return Refused(refusal);
}

TResult<> TPressContext::Ask(const std::string& question) {
    if (question.empty() || Window.AskYesNo(question, kGuardCaption)) return {};
    Window.SetStatusText(kCancelledStatus);
    return Refused("answered no: nothing was sent, deleted or replaced");
}

const TPressRecord* TPressContext::LastRecord() {
    return ReadPressRecord(PressRecordPath(), Window.UserIDText(), DataFolder, record_) ? &record_ : nullptr;
}

void TPressContext::RecordPress(const TServerCopy& server, const std::string& title,
                                const std::vector<TTableState>& tables) {
    // Not worth failing a press that succeeded: without a record the next press asks once more.
    if (!WritePressRecord(PressRecordPath(), Window.UserIDText(), DataFolder, {server, title, tables}))
        Window.ShowFailureReason("cannot write " + PressRecordPath());
}

}  // namespace nb
