#pragma once
// The one narrow interface through which the application core reaches whatever shows it:
// the Qt window, the command-line program, or a recording double in the tests.
#include <cstdint>
#include <string>

namespace nb {

enum class TScreenCursor : uint8_t { Default, AppStart, HourGlass };

class TWindowLayer {
public:
    virtual ~TWindowLayer() = default;

    // The two edit boxes.
    virtual std::string UserIDText() const = 0;
    virtual void SetUserIDText(const std::string& text) = 0;
    virtual std::string PasswordText() const = 0;
    virtual void SetPasswordText(const std::string& text) = 0;

    // The status bar's second panel; each text replaces the last.
    virtual void SetStatusText(const std::string& text) = 0;

    // The progress bar over the status bar's first panel.
    virtual bool ProgressVisible() const = 0;
    virtual void SetProgressVisible(bool visible) = 0;
    virtual void SetProgressMax(int32_t max) = 0;
    virtual void SetProgressPosition(int32_t position) = 0;

    // Modal boxes, captioned with the application title unless a caption is given.
    virtual void ShowMessage(const std::string& text) = 0;                                  // plain, OK
    virtual void ShowInformation(const std::string& text, const std::string& caption) = 0;  // information icon
    // The application's default error box (stop icon); text already has its full stop rule applied.
    virtual void ShowErrorBox(const std::string& text) = 0;
    // Which file stopped a press and what to do, shown before the press's own failure message:
    // a plain message in the window (the command-line program prints it on stderr).
    virtual void ShowProblem(const std::string& text) { ShowMessage(text); }
    // A modal information box with OK and Cancel (the archive's next-volume prompt); true for
    // OK. Without a window to ask, Cancel.
    virtual bool AskOkCancel(const std::string& /*text*/) { return false; }
    // A modal question with Yes and No, No the default (before a press replaces work that exists
    // nowhere else); true for Yes. Without anyone to ask, No.
    virtual bool AskYesNo(const std::string& /*text*/, const std::string& /*caption*/) { return false; }
    // Why a step failed (an exception's own text, a server's reply), beside the fixed message
    // the step shows; the window shows nothing more, a console or a log keeps it.
    virtual void ShowFailureReason(const std::string& /*reason*/) {}

    virtual void SetCursor(TScreenCursor cursor) = 0;
    // Serve pending window messages once.
    virtual void ProcessMessages() = 0;
};

}  // namespace nb
