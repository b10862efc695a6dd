#pragma once
// The main window as the user sees it: its controls, and the window interface the core shows
// everything through. The core itself is attached by TMainForm.
#include <QAction>
#include <QFrame>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QToolButton>
#include <QWidget>
#include <functional>

#include "app/WindowLayer.h"
#include "app/gui/Banner.h"
#include "app/gui/StatusBar.h"
#include "app/gui/TextLabel.h"

namespace nb {

class TForm1Window : public QWidget, public TWindowLayer {
    Q_OBJECT
public:
    TForm1Window();
    ~TForm1Window() override;

    // Set by the owner. A press runs with both buttons and the banner disabled.
    std::function<void()> OnBackupClick;
    std::function<void()> OnRestoreClick;
    std::function<void()> OnImage1Click;
    // The context menu's actions: download previous copy n, undo the last download.
    std::function<void(int32_t generation)> OnRestoreGenerationClick;
    std::function<void()> OnUndoDownloadClick;

    bool PressRunning() const { return pressRunning_; }

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

    // Children are declared parent first, so each is destroyed before the widget holding it.
    TImage Image1{this};
    QWidget Panel2{this};
    QToolButton btnBackupWizard{&Panel2};
    QToolButton btnRestoreWizard{&Panel2};
    QFrame Bevel1{&Panel2};
    QWidget Panel4{this};
    TTextLabel Label6{&Panel4};
    QLineEdit UserIDEdit{&Panel4};
    TTextLabel Label7{&Panel4};
    QLineEdit PasswordEdit{&Panel4};
    QFrame Bevel2{&Panel4};
    TTextLabel Label4{this};
    TStatusBar StatusBar{this};
    QProgressBar ProgressBar{this};
    // The context menu (right click anywhere on the window).
    QAction RestoreGeneration1{this};
    QAction RestoreGeneration2{this};
    QAction UndoDownload{this};

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void RunPress(const std::function<void()>& handler);
    int ShowBox(QMessageBox::Icon icon, const QString& caption, const std::string& text,
                QMessageBox::StandardButtons buttons);

    bool pressRunning_ = false;
    bool cursorOverridden_ = false;
    bool centred_ = false;
};

}  // namespace nb
