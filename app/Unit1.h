#pragma once
// The main window's core: what the window (Qt, Win32), the command-line program and the tests
// press. It shows everything through a TWindowLayer; the presses themselves are objects of their
// own (app/UploadPress.h, app/DownloadPress.h) over the components it owns.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/WindowLayer.h"
#include "platform/Result.h"

namespace nb {

struct TPressContext;

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

    // Reads the settings and the registry, and settles a download a dead run left in the data folder.
    void FormCreate();

    // The button handlers, under their own names: one press each. An exception that escapes
    // goes to the application's default error box.
    void btnBackupWizardClick();
    void btnRestoreWizardClick();
    // The n-th previous server copy ("<user ID>.bck.n", n from 1) instead of the archive.
    void RestoreGenerationClick(int32_t generation);
    // Puts back the tables the last download replaced (kept in the Backup folder), and keeps the
    // ones it replaces in their stead, so that a second undo brings them back.
    void btnUndoDownloadClick();
    void PressBackup() { btnBackupWizardClick(); }
    void PressRestore() { btnRestoreWizardClick(); }
    void PressRestoreGeneration(int32_t generation) { RestoreGenerationClick(generation); }
    void PressUndoDownload() { btnUndoDownloadClick(); }

    // True while a press runs (the window disables its buttons meanwhile).
    bool Busy() const { return busy_; }
    // True when the last press completed its workflow (for the command-line exit status); else
    // why not, in the failing layer's words.
    bool LastPressCompleted() const { return lastPressCompleted_; }
    const std::string& LastPressFailure() const { return lastPressFailure_; }

    const std::string& DataFolder() const;
    const std::string& BackupFolder() const;

    std::string ReadSetting(const std::string& key);
    void WriteSetting(const std::string& value, const std::string& key);
    void ReadDataFolder();

private:
    void RunPress(const std::function<TResult<>()>& press);

    TWindowLayer& window_;
    std::unique_ptr<TPressContext> context_;
    bool busy_ = false;
    bool lastPressCompleted_ = false;
    std::string lastPressFailure_;
};

// The application's default error box text: the message, with a full stop appended when its
// last character sorts after ".".
std::string ApplicationErrorText(const std::string& message);

// True when text can name the archive locally and on the server: not empty, no separator, not
// "." or "..", no control character, and short enough for a file name with ".bck.part".
bool UsableUserID(const std::string& text);

}  // namespace nb
