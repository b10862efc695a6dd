#include "app/gui/Unit1Window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPixmap>

#include "app/FormLayout.h"
#include "app/FormTexts.h"
#include "app/gui/Style.h"

namespace nb {

namespace {

using namespace form1;

void SetupButton(QToolButton& button, const QRect& geometry, const char* caption, const char* hint) {
    button.setGeometry(geometry);
    button.setText(QString::fromUtf8(caption));
    button.setToolTip(QString::fromUtf8(hint));
    button.setToolButtonStyle(Qt::ToolButtonTextOnly);
    button.setAutoRaise(true);  // flat until the mouse is over it
    button.setCursor(Qt::PointingHandCursor);
    button.setFocusPolicy(Qt::NoFocus);
}

void SetupSeparator(QFrame& line, const QRect& geometry) {
    line.setGeometry(geometry);
    line.setFrameShape(QFrame::HLine);
    line.setFrameShadow(QFrame::Plain);
    line.setLineWidth(1);
    QPalette palette = line.palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Mid));
    line.setPalette(palette);
}

void SetupLabel(QLabel& label, QPoint position, const char* text) {
    label.setText(QString::fromUtf8(text));
    label.setTextFormat(Qt::PlainText);
    label.move(position);
    label.adjustSize();
}

void SetTextColour(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colour);
    widget.setPalette(palette);
}

void SetupPanel(QWidget& panel, const QRect& geometry) {
    panel.setGeometry(geometry);
    panel.setAutoFillBackground(true);
    panel.setBackgroundRole(QPalette::Button);
}

}  // namespace

TForm1Window::TForm1Window() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(texts::Form1Caption));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    setFont(WindowFont());
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);

    Image1.setObjectName(QStringLiteral("Image1"));
    Image1.setGeometry(0, 0, BannerWidth, BannerHeight);
    Image1.setPixmap(QPixmap::fromImage(DrawBanner()));
    Image1.setCursor(Qt::PointingHandCursor);

    SetupPanel(Panel2, {0, BannerHeight, ClientWidth, Panel2Height});
    Panel2.setObjectName(QStringLiteral("Panel2"));
    btnBackupWizard.setObjectName(QStringLiteral("btnBackupWizard"));
    SetupButton(btnBackupWizard, {20, 16, 109, 25}, texts::BackupCaption, texts::BackupHint);
    btnRestoreWizard.setObjectName(QStringLiteral("btnRestoreWizard"));
    SetupButton(btnRestoreWizard, {144, 16, 109, 25}, texts::RestoreCaption, texts::RestoreHint);
    SetupSeparator(Bevel1, {8, 52, 261, 1});

    SetupPanel(Panel4, {0, BannerHeight + Panel2Height, ClientWidth, Panel4Height});
    Panel4.setObjectName(QStringLiteral("Panel4"));
    QFont bold = WindowFont();
    bold.setBold(true);
    Label6.setObjectName(QStringLiteral("Label6"));
    Label6.setFont(bold);
    SetupLabel(Label6, {35, 6}, texts::Label6Text);
    UserIDEdit.setObjectName(QStringLiteral("UserIDEdit"));
    UserIDEdit.setGeometry(124, 1, 113, 20);
    Label7.setObjectName(QStringLiteral("Label7"));
    Label7.setFont(bold);
    SetupLabel(Label7, {35, 31}, texts::Label7Text);
    PasswordEdit.setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit.setGeometry(124, 26, 113, 20);
    PasswordEdit.setEchoMode(QLineEdit::Password);
    PasswordEdit.setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    SetupSeparator(Bevel2, {8, 53, 261, 1});
    setTabOrder(&UserIDEdit, &PasswordEdit);
    UserIDEdit.setFocus();

    Label4.setObjectName(QStringLiteral("Label4"));
    SetTextColour(Label4, QColor(0xff, 0x00, 0x00));
    SetupLabel(Label4, {20, 292}, texts::Label4Text);

    StatusBar.setObjectName(QStringLiteral("StatusBar"));
    StatusBar.setGeometry(0, ClientHeight - StatusBarHeight, ClientWidth, StatusBarHeight);
    StatusBar.AddPanel(ProgressPanelWidth);
    StatusBar.AddPanel(0);

    ProgressBar.setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar.setRange(0, 100);
    ProgressBar.setValue(0);
    ProgressBar.setTextVisible(false);
    // Over the status bar's first panel, set in this order as the form's creation does.
    ProgressBar.setParent(&StatusBar);
    ProgressBar.move(ProgressBar.x(), 3);
    ProgressBar.move(2, ProgressBar.y());
    ProgressBar.resize(100, ProgressBar.height());
    ProgressBar.resize(ProgressBar.width(), 18);
    ProgressBar.show();

    // Beside the two buttons, without changing the window's layout.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    int generation = 0;
    for (QAction* action : {&RestoreGeneration1, &RestoreGeneration2}) {
        const int n = ++generation;
        action->setObjectName(QStringLiteral("RestoreGeneration%1").arg(n));
        action->setText(QString::fromUtf8(texts::RestoreGenerationCaption).replace(QStringLiteral("%d"), QString::number(n)));
        connect(action, &QAction::triggered, this, [this, n] {
            RunPress([this, n] {
                if (OnRestoreGenerationClick) OnRestoreGenerationClick(n);
            });
        });
        addAction(action);
    }
    UndoDownload.setObjectName(QStringLiteral("UndoDownload"));
    UndoDownload.setText(QString::fromUtf8(texts::UndoDownloadCaption));
    connect(&UndoDownload, &QAction::triggered, this, [this] { RunPress(OnUndoDownloadClick); });
    addAction(&UndoDownload);

    connect(&btnBackupWizard, &QToolButton::clicked, this, [this] { RunPress(OnBackupClick); });
    connect(&btnRestoreWizard, &QToolButton::clicked, this, [this] { RunPress(OnRestoreClick); });
    connect(&Image1, &TImage::clicked, this, [this] {
        if (!pressRunning_ && OnImage1Click) OnImage1Click();
    });
}

bool TForm1Window::AskOkCancel(const std::string& text) {
    return ShowBox(QMessageBox::Information, ApplicationTitle(), text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

bool TForm1Window::AskYesNo(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, caption.empty() ? ApplicationTitle() : FromBytes(caption),
                    FromBytes(text), QMessageBox::Yes | QMessageBox::No, isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    // No unless the user chooses otherwise: Enter and Escape both keep the work.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

TForm1Window::~TForm1Window() {
    if (cursorOverridden_) QApplication::restoreOverrideCursor();
}

void TForm1Window::RunPress(const std::function<void()>& handler) {
    if (pressRunning_ || !handler) return;
    // The handler pumps messages while it works: no second press may start inside it.
    struct Guard {
        TForm1Window& window;
        explicit Guard(TForm1Window& w) : window(w) { Set(false); }
        ~Guard() { Set(true); }
        void Set(bool idle) {
            window.pressRunning_ = !idle;
            window.btnBackupWizard.setEnabled(idle);
            window.btnRestoreWizard.setEnabled(idle);
            window.Image1.setEnabled(idle);
            window.RestoreGeneration1.setEnabled(idle);
            window.RestoreGeneration2.setEnabled(idle);
            window.UndoDownload.setEnabled(idle);
        }
    } guard(*this);
    handler();
}

void TForm1Window::closeEvent(QCloseEvent* event) {
    // A running press cannot be interrupted; the window stays until it has finished.
    if (pressRunning_) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm1Window::showEvent(QShowEvent* event) {
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(*this);
    }
    QWidget::showEvent(event);
}

std::string TForm1Window::UserIDText() const { return ToBytes(UserIDEdit.text()); }
void TForm1Window::SetUserIDText(const std::string& text) { UserIDEdit.setText(FromBytes(text)); }
std::string TForm1Window::PasswordText() const { return ToBytes(PasswordEdit.text()); }
void TForm1Window::SetPasswordText(const std::string& text) { PasswordEdit.setText(FromBytes(text)); }

void TForm1Window::SetStatusText(const std::string& text) { StatusBar.SetPanelText(1, FromBytes(text)); }

bool TForm1Window::ProgressVisible() const { return !ProgressBar.isHidden(); }
void TForm1Window::SetProgressVisible(bool visible) { ProgressBar.setVisible(visible); }
void TForm1Window::SetProgressMax(int32_t max) { ProgressBar.setMaximum(max); }
void TForm1Window::SetProgressPosition(int32_t position) { ProgressBar.setValue(position); }

int TForm1Window::ShowBox(QMessageBox::Icon icon, const QString& caption, const std::string& text,
                          QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, FromBytes(text), buttons, isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

void TForm1Window::ShowMessage(const std::string& text) {
    ShowBox(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok);
}

void TForm1Window::ShowInformation(const std::string& text, const std::string& caption) {
    ShowBox(QMessageBox::Information, caption.empty() ? ApplicationTitle() : FromBytes(caption), text, QMessageBox::Ok);
}

void TForm1Window::ShowErrorBox(const std::string& text) {
    ShowBox(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok);
}

void TForm1Window::SetCursor(TScreenCursor cursor) {
    if (cursor == TScreenCursor::Default) {
        if (cursorOverridden_) QApplication::restoreOverrideCursor();
        cursorOverridden_ = false;
        return;
    }
    QCursor shape(cursor == TScreenCursor::AppStart ? Qt::BusyCursor : Qt::WaitCursor);
    if (cursorOverridden_)
        QApplication::changeOverrideCursor(shape);
    else
        QApplication::setOverrideCursor(shape);
    cursorOverridden_ = true;
}

void TForm1Window::ProcessMessages() { QCoreApplication::processEvents(); }

}  // namespace nb
