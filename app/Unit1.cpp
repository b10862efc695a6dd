// The main window's core: start-up, settings, registry and the press wrapper.
#include "app/Unit1.h"

#include <memory>

#include "app/DataFolderLocation.h"
#include "app/DownloadPress.h"
#include "app/PressContext.h"
#include "app/StartupRecovery.h"
#include "app/UploadPress.h"
#include "platform/CrashPoint.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/UserInterface.h"

namespace nb {

namespace {
const char* const kFolderBusy = "다른 곳에서 자료 폴더를 사용하고 있습니다. 그 작업이 끝난 뒤에 다시 시도하십시오.";
}  // namespace

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
    : window_(window), context_(std::make_unique<TPressContext>(window, std::move(environment))) {
    // The archive component reports through the process-wide hooks; this is the one place
    // they are installed, and they lead to the window layer like everything else.
    UserInterfaceHooks hooks;
    hooks.ProcessMessages = [this] { window_.ProcessMessages(); };
    hooks.ErrorBox = [this](const std::string& text) { window_.ShowErrorBox(text); };
    hooks.OkCancelBox = [this](const std::string& text) { return window_.AskOkCancel(text); };
    SetUserInterfaceHooks(std::move(hooks));
}

TForm1::~TForm1() { SetUserInterfaceHooks({}); }

void TForm1::FormCreate() {
    window_.SetUserIDText(ReadSetting("HOSTID"));
    window_.SetPasswordText("");
    // An unreadable registry value is the application's error: shown, and the window still opens.
    try {
        ReadDataFolder();
    } catch (const std::exception& e) {
        window_.ShowErrorBox(ApplicationErrorText(e.what()));
        return;
    }
    // A download a crash cut short is settled before anyone works on the folder again.
    const std::string notice = RecoveryNotice(RecoverInterruptedSwap(context_->DataFolder));
    if (!notice.empty()) window_.ShowProblem(notice);
}

const std::string& TForm1::DataFolder() const { return context_->DataFolder; }
const std::string& TForm1::BackupFolder() const { return context_->BackupFolder; }

std::string TForm1::ReadSetting(const std::string& key) { return ReadServerSetting(context_->SettingsFile(), key); }

void TForm1::WriteSetting(const std::string& value, const std::string& key) {
    WriteServerSetting(context_->SettingsFile(), value, key);
}

void TForm1::ReadDataFolder() {
    const TForm1Environment& environment = context_->Environment;
    std::string folder = environment.DataFolderOverride;
    if (folder.empty()) folder = RegisteredDataFolder(environment.RegistryLocation);
    context_->DataFolder = ExcludeTrailingPathDelimiter(folder);
    context_->BackupFolder = context_->DataFolder.empty() ? std::string() : JoinPath(context_->DataFolder, "Backup");
}

void TForm1::RunPress(const std::function<TResult<>()>& press) {
    if (busy_) return;
    busy_ = true;
    lastPressCompleted_ = false;
    lastPressFailure_.clear();
    const std::string& dataFolder = context_->DataFolder;
    try {
        // One press at a time per data folder, across processes; a swap a dead run left is
        // settled before anything reads or rewrites the folder.
        std::unique_ptr<TFolderLock> lock;
        TResult<> result;
        if (!dataFolder.empty() && DirectoryExists(dataFolder)) {
            lock = std::make_unique<TFolderLock>(dataFolder);
            if (!lock->Held()) {
                window_.ShowMessage(kFolderBusy);
                result = Fail(kFolderBusy);
            } else if (TRecoveryResult recovered = RecoverInterruptedSwapLocked(dataFolder);
                       recovered.Outcome == TRecoveryOutcome::Failed) {
                window_.ShowMessage(RecoveryNotice(recovered));
                result = Fail(recovered.Problem);
            }
        }
        CrashPoint("press.recovered");
        if (result) {
            context_->Session.Configure(context_->SettingsFile());
            result = press();
        }
        lastPressCompleted_ = result.Ok();
        if (!result) lastPressFailure_ = result.Failure().Reason;
    } catch (const std::exception& e) {
        lastPressFailure_ = e.what();
        window_.ShowErrorBox(ApplicationErrorText(e.what()));
    } catch (...) {
        lastPressFailure_ = "Unknown error";
        window_.ShowErrorBox(ApplicationErrorText("Unknown error"));
    }
    busy_ = false;
}

void TForm1::btnBackupWizardClick() {
    RunPress([this] { return TUploadPress(*context_).Run(); });
}

void TForm1::btnRestoreWizardClick() { RestoreGenerationClick(0); }

void TForm1::RestoreGenerationClick(int32_t generation) {
    RunPress([this, generation] { return TDownloadPress(*context_, generation).Run(); });
}

void TForm1::btnUndoDownloadClick() {
    RunPress([this] { return UndoDownload(*context_); });
}

}  // namespace nb
