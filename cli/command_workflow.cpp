// upload / download: the window's two buttons, with every status text and message on stdout.
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "app/TransferDisplay.h"
#include "app/Unit1.h"
#include "cli/Command.h"
#include "cli/Password.h"
#include "cli/Progress.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"

namespace nb::cli {

namespace {

// The window as lines of text: what the status bar and the boxes would show, in order, with the
// speed texts at most once a second (the last of each transfer always).
class TConsoleWindow : public TWindowLayer {
public:
    TConsoleWindow(bool quiet, bool yes) : bar_(quiet), yes_(yes) {}
    ~TConsoleWindow() override { FlushSpeed(); }

    std::string UserIDText() const override { return userID_; }
    void SetUserIDText(const std::string& text) override { userID_ = text; }
    std::string PasswordText() const override { return password_; }
    void SetPasswordText(const std::string& text) override { password_ = text; }

    void SetStatusText(const std::string& text) override {
        if (!IsSpeedStatusText(text)) {
            Print(text);
            return;
        }
        const uint32_t now = TickCount();
        if (!speedShown_ || now - lastSpeedTick_ >= 1000) {
            pendingSpeed_.clear();
            lastSpeedTick_ = now;
            speedShown_ = true;
            PrintLine(text);
        } else {
            pendingSpeed_ = text;
        }
    }
    bool ProgressVisible() const override { return visible_; }
    void SetProgressVisible(bool visible) override {
        visible_ = visible;
        if (!visible) bar_.Finish();
    }
    void SetProgressMax(int32_t max) override { max_ = max; }
    void SetProgressPosition(int32_t position) override {
        position_ = position;
        Draw();
    }
    void ShowMessage(const std::string& text) override { Print(text); }
    void ShowInformation(const std::string& text, const std::string&) override { Print(text); }
    void ShowErrorBox(const std::string& text) override { Print(text); }
    // Which file stopped the press: the reason, so on stderr beside the window's own message.
    void ShowProblem(const std::string& text) override {
        bar_.Finish();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
    void ShowFailureReason(const std::string& reason) override {
        bar_.Finish();
        std::cerr << "nestbridge-cli: " << reason << '\n';
        Draw();
    }
    // The question goes to stdout like every text of the window; the answer comes from --yes,
    // else from the terminal (no by default), else it is no.
    bool AskYesNo(const std::string& text, const std::string&) override {
        Print(text);
        if (yes_) return true;
        if (!StdinIsTerminal()) return false;  // the press says it was answered no
        std::cerr << "[y/N] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) return false;
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "예";
    }
    void SetCursor(TScreenCursor) override {}
    void ProcessMessages() override {}

private:
    // Any other text ends a run of speed texts: the one held back is shown first.
    void Print(const std::string& text) {
        FlushSpeed();
        speedShown_ = false;
        PrintLine(text);
    }
    void FlushSpeed() {
        if (pendingSpeed_.empty()) return;
        PrintLine(pendingSpeed_);
        pendingSpeed_.clear();
    }
    void PrintLine(const std::string& text) {
        bar_.Finish();
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        Draw();
    }
    void Draw() {
        if (!visible_ || max_ <= 0) return;
        bar_.Update(static_cast<int>(static_cast<int64_t>(position_) * 100 / max_));
    }

    std::string userID_, password_;
    bool visible_ = false;
    int32_t max_ = 100, position_ = 0;
    bool speedShown_ = false;
    uint32_t lastSpeedTick_ = 0;
    std::string pendingSpeed_;
    TerminalProgress bar_;
    bool yes_;
};

enum class TPress : uint8_t { Upload, Download, UndoDownload };

int RunWorkflow(const Command& command, const std::vector<std::string>& args, TPress press) {
    ArgParser parser(args);
    if (parser.WantsHelp()) {
        std::cout << command.Usage;
        return ExitOk;
    }
    std::string user, password, dataFolder, generationText;
    bool haveUser = parser.Value("--user", user);
    const PasswordOptions passwordOptions =
        press == TPress::UndoDownload ? PasswordOptions{} : TakePasswordOptions(parser);
    bool haveFolder = parser.Value("--data-folder", dataFolder);
    bool quiet = parser.Flag("--quiet");
    bool yes = parser.Flag("--yes");
    long long generation = 0;
    if (press == TPress::Download && parser.Value("--generation", generationText) &&
        (!ParseInt(generationText, generation) || generation < 1 || generation > 99))
        return UsageError(command, "--generation needs a number from 1");
    std::vector<std::string> rest;
    if (!parser.Positionals(rest)) return UsageError(command, parser.Error);
    if (!rest.empty()) return UsageError(command, "unexpected argument " + rest.front());
    if (!haveUser) return UsageError(command, "--user is required");
    if (haveFolder && dataFolder.empty()) return UsageError(command, "--data-folder needs a folder");
    if (press != TPress::UndoDownload) {
        auto resolved = ResolvePassword(passwordOptions, user);
        if (!resolved) return UsageError(command, resolved.Failure().Reason);
        password = std::move(resolved).Value();
    }

    TConsoleWindow window(quiet, yes);
    TForm1Environment environment;
    // The core settles a download a crash cut short in this folder when it is created.
    if (haveFolder) environment.DataFolderOverride = ExpandFileName(dataFolder);
    TForm1 form(window, environment);
    form.FormCreate();
    window.SetUserIDText(user);
    window.SetPasswordText(password);
    switch (press) {
        case TPress::Upload: form.PressBackup(); break;
        case TPress::Download:
            if (generation > 0)
                form.PressRestoreGeneration(static_cast<int32_t>(generation));
            else
                form.PressRestore();
            break;
        case TPress::UndoDownload: form.PressUndoDownload(); break;
    }
    if (form.LastPressCompleted()) return ExitOk;
    std::cerr << "nestbridge-cli " << command.Name << ": " << form.LastPressFailure() << '\n';
    return ExitFailure;
}

const char* const kQuestions =
    "  Where the window would ask before replacing work (a download over tables changed since the last\n"
    "  press, an upload over another computer's newer copy, an upload that loses tables), the question\n"
    "  is printed and read as y/n from the terminal (no by default); --yes answers yes. Without either,\n"
    "  the press stops as if answered no and exits 1.\n";
const std::string kUploadUsage =
    std::string(
        "usage: nestbridge-cli upload --user ID [--password PW | --password-file FILE] [--data-folder DIR]\n"
        "        [--yes] [--quiet]\n"
        "  Packs the data tables and uploads the archive, as the window's upload button does. The server\n"
        "  keeps the previous copies as ID.bck.1, ID.bck.2 ([Service] Generations).\n") +
    kQuestions + kPasswordUsage;
const std::string kDownloadUsage =
    std::string(
        "usage: nestbridge-cli download --user ID [--password PW | --password-file FILE] [--data-folder DIR]\n"
        "        [--yes] [--generation N] [--quiet]\n"
        "  Downloads the archive and rebuilds the data folder, as the window's download button does. The\n"
        "  tables it replaces are kept in Backup/ID.bck.before-download (see undo-download).\n"
        "  --generation N fetches the N-th previous server copy (ID.bck.N) instead.\n") +
    kQuestions + kPasswordUsage;
const std::string kUndoUsage =
    "usage: nestbridge-cli undo-download --user ID [--data-folder DIR] [--yes] [--quiet]\n"
    "  Puts back the tables the last download replaced (Backup/ID.bck.before-download) and keeps the\n"
    "  ones it replaces there instead, so a second undo-download brings them back. No network.\n";

const Command& Find(const std::string& name) {
    for (const auto& c : Commands())
        if (c.Name == name) return c;
    throw std::logic_error("unregistered command " + name);
}

const RegisterCommand registerUpload{
    Command{"upload", "pack the data folder and upload it, as the window's upload button", kUploadUsage,
            [](const std::vector<std::string>& args) { return RunWorkflow(Find("upload"), args, TPress::Upload); }}};
const RegisterCommand registerDownload{Command{
    "download", "download the archive and rebuild the data folder, as the window's download button", kDownloadUsage,
    [](const std::vector<std::string>& args) { return RunWorkflow(Find("download"), args, TPress::Download); }}};
const RegisterCommand registerUndo{
    Command{"undo-download", "put back the tables the last download replaced", kUndoUsage,
            [](const std::vector<std::string>& args) {
                return RunWorkflow(Find("undo-download"), args, TPress::UndoDownload);
            }}};

}  // namespace

}  // namespace nb::cli
