#pragma once
// The main window in Win32 controls, and the window interface the core shows everything
// through. The core itself is attached by TMainForm.
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <functional>
#include <string>

#include "app/WindowLayer.h"
#include "app/win32gui/Style.h"

namespace nb {

class TForm1Window : public TWindowLayer {
public:
    TForm1Window();
    ~TForm1Window() override;
    TForm1Window(const TForm1Window&) = delete;
    TForm1Window& operator=(const TForm1Window&) = delete;

    // Set by the owner. A press runs with both buttons and the banner disabled.
    std::function<void()> OnBackupClick;
    std::function<void()> OnRestoreClick;
    std::function<void()> OnImage1Click;
    // The system menu's actions: download previous copy n, undo the last download.
    std::function<void(int32_t generation)> OnRestoreGenerationClick;
    std::function<void()> OnUndoDownloadClick;
    // Told when the window has been closed (the program then ends).
    std::function<void()> OnClosed;

    void Show();
    bool PressRunning() const { return pressRunning_; }
    HWND Handle() const { return form_.get(); }

    // TWindowLayer
    std::string UserIDText() const override;
    void SetUserIDText(const std::string& text) override;
    std::string PasswordText() const override;
    void SetPasswordText(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    bool ProgressVisible() const override;
    void SetProgressVisible(bool visible) override;
    void SetProgressMax(int32_t max) override;
    void SetProgressPosition(int32_t position) override;
    void ShowMessage(const std::string& text) override;
    void ShowInformation(const std::string& text, const std::string& caption) override;
    void ShowErrorBox(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void SetCursor(TScreenCursor cursor) override;
    void ProcessMessages() override;

    // The controls (children of the window, destroyed with it).
    HWND Image1 = nullptr;
    HWND Panel2 = nullptr;
    HWND btnBackupWizard = nullptr;
    HWND btnRestoreWizard = nullptr;
    HWND Bevel1 = nullptr;
    HWND Panel4 = nullptr;
    HWND Label6 = nullptr;
    HWND UserIDEdit = nullptr;
    HWND Label7 = nullptr;
    HWND PasswordEdit = nullptr;
    HWND Bevel2 = nullptr;
    HWND Label4 = nullptr;
    HWND StatusBar = nullptr;
    HWND ProgressBar = nullptr;
    // The hints of the two buttons.
    HWND ToolTip = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void RunPress(const std::function<void()>& handler);
    void SetIdle(bool idle);
    bool OnSetCursor(HWND under, int hitTest);
    LRESULT DrawFlatButton(const NMCUSTOMDRAW& draw);
    int ShowBox(const std::string& text, const std::wstring& caption, UINT style);

    TWindowHandle form_;
    TBitmapHandle banner_;
    HCURSOR override_ = nullptr;
    bool pressRunning_ = false;
    bool centred_ = false;
};

}  // namespace nb
