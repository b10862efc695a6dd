// Both windows control by control, and the window interface the core shows everything through.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QTest>

#include "BoxAnswerer.h"
#include "app/Unit1.h"
#include "app/gui/Style.h"
#include "app/gui/Unit1Window.h"
#include "app/gui/Unit2.h"
#include "platform/UserInterface.h"

namespace nb {
namespace {

using test::BoxAnswerer;

QString U(const char* text) { return QString::fromUtf8(text); }

void ExpectWindowFont(const QWidget& window) {
    EXPECT_EQ(window.font().pixelSize(), 12);
    ASSERT_FALSE(window.font().families().isEmpty());
    EXPECT_EQ(window.font().families().front(), QStringLiteral("Gulim"));
    // Whatever stands in for Gulim must draw Hangul.
    EXPECT_TRUE(QFontMetrics(window.font()).inFont(QChar(0xAC00)));
}

void ExpectFixedClient(const QWidget& window, int width, int height) {
    EXPECT_EQ(window.size(), QSize(width, height));
    EXPECT_EQ(window.minimumSize(), QSize(width, height));
    EXPECT_EQ(window.maximumSize(), QSize(width, height));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
}

// ---- the main window ---------------------------------------------------------------------------

class Form1Layout : public ::testing::Test {
protected:
    TForm1Window form;
};

TEST_F(Form1Layout, IsAFixedCentredDialogWithItsCaptionAndFont) {
    EXPECT_EQ(form.windowTitle(), U("네스트브리지서비스"));
    ExpectFixedClient(form, 275, 358);
    ExpectWindowFont(form);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QRect screen = form.screen()->availableGeometry();
    EXPECT_LE(std::abs(form.frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(form.frameGeometry().center().y() - screen.center().y()), 1);
}

struct Placement {
    const char* Name;
    const char* Parent;
    QRect Rect;
};

TEST_F(Form1Layout, EveryControlSitsWhereTheFormPutsIt) {
    const Placement placements[] = {
        {"Image1", "Form1", {0, 0, 275, 169}},
        {"Panel2", "Form1", {0, 169, 275, 60}},
        {"btnBackupWizard", "Panel2", {20, 16, 109, 25}},
        {"btnRestoreWizard", "Panel2", {144, 16, 109, 25}},
        {"Panel4", "Form1", {0, 229, 275, 58}},
        {"UserIDEdit", "Panel4", {124, 1, 113, 20}},
        {"PasswordEdit", "Panel4", {124, 26, 113, 20}},
        {"StatusBar", "Form1", {0, 336, 275, 22}},
        {"ProgressBar", "StatusBar", {2, 3, 100, 18}},
    };
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.Name);
        auto* widget = form.findChild<QWidget*>(QString::fromLatin1(p.Name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(p.Parent));
        EXPECT_EQ(widget->geometry(), p.Rect);
    }
    EXPECT_EQ(form.Bevel1.geometry(), QRect(8, 52, 261, 1));
    EXPECT_EQ(form.Bevel2.geometry(), QRect(8, 53, 261, 1));
    EXPECT_EQ(form.Bevel1.frameShape(), QFrame::HLine);
    EXPECT_EQ(form.Bevel2.frameShape(), QFrame::HLine);
}

TEST_F(Form1Layout, LabelsCarryTheirTextsAndFitTheirRoom) {
    struct Row {
        TTextLabel* Label;
        QPoint Position;
        const char* Text;
        bool Bold;
        QColor Colour;
    };
    const QColor black = form.palette().color(QPalette::WindowText);
    const Row rows[] = {
        {&form.Label6, {35, 6}, "사용자 아이디", true, black},
        {&form.Label7, {35, 31}, "비밀번호", true, black},
        {&form.Label4,
         {20, 292},
         "네스트브리지의 이용자아이디와 비밀번호는\n인터넷 유지보수회원 아이디/비밀번호와 \n동일합니다.",
         false,
         QColor(0xff, 0, 0)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(row.Label->text().toUtf8().toStdString(), std::string(row.Text));
        EXPECT_EQ(row.Label->pos(), row.Position);
        EXPECT_EQ(row.Label->font().bold(), row.Bold);
        EXPECT_EQ(row.Label->palette().color(row.Label->foregroundRole()), row.Colour);
        // Nothing of the text is cut off.
        EXPECT_GE(row.Label->width(), row.Label->sizeHint().width());
        EXPECT_GE(row.Label->height(), row.Label->sizeHint().height());
    }
    // The red note stays clear of the status bar, with its three lines.
    EXPECT_LE(form.Label4.geometry().bottom(), form.StatusBar.geometry().top());
    EXPECT_EQ(form.Label4.text().count(QLatin1Char('\n')), 2);
}

TEST_F(Form1Layout, ButtonsAreFlatWithTwoLineHintsAndHandCursors) {
    struct Row {
        QToolButton* Button;
        const char* Caption;
        const char* Hint;
    };
    const Row rows[] = {
        {&form.btnBackupWizard, "자료 올리기",
         "사무실 또는 집에서 작업한 최근자료를\n미리내네스트브리지 서버에 올립니다."},
        {&form.btnRestoreWizard, "자료 내려받기",
         "사무실 또는 집에서 작업한 최근자료를\n미리내네스트브리지 서버에서 내려받습니다."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Caption);
        EXPECT_EQ(row.Button->text(), U(row.Caption));
        EXPECT_EQ(row.Button->toolTip(), U(row.Hint));
        EXPECT_TRUE(row.Button->autoRaise());
        EXPECT_EQ(row.Button->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(row.Button->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(form.Image1.cursor().shape(), Qt::PointingHandCursor);
    ASSERT_FALSE(form.Image1.pixmap().isNull());
    EXPECT_EQ(form.Image1.pixmap().size(), QSize(275, 169));
}

TEST_F(Form1Layout, TabGoesFromTheUserIDToThePasswordAndBack) {
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), &form.UserIDEdit);
    QTest::keyClick(&form.UserIDEdit, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &form.PasswordEdit);
    QTest::keyClick(&form.PasswordEdit, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &form.UserIDEdit);
}

TEST_F(Form1Layout, ThePasswordShowsAStarPerCharacter) {
    form.PasswordEdit.setText(U("비밀pw1"));
    EXPECT_EQ(form.PasswordEdit.echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.PasswordEdit.displayText(), QStringLiteral("*****"));
    form.UserIDEdit.setText(QStringLiteral("kim"));
    EXPECT_EQ(form.UserIDEdit.displayText(), QStringLiteral("kim"));
}

TEST_F(Form1Layout, TheProgressBarCoversTheFirstStatusPanel) {
    EXPECT_EQ(form.ProgressBar.parentWidget(), &form.StatusBar);
    EXPECT_EQ(form.ProgressBar.geometry(), QRect(2, 3, 100, 18));
    EXPECT_EQ(form.ProgressBar.minimum(), 0);
    EXPECT_EQ(form.ProgressBar.maximum(), 100);
    EXPECT_EQ(form.ProgressBar.value(), 0);
    EXPECT_TRUE(form.ProgressVisible());
    ASSERT_EQ(form.StatusBar.PanelCount(), 2);
    EXPECT_EQ(form.StatusBar.PanelRect(0).width(), 102);
    EXPECT_TRUE(form.StatusBar.PanelRect(0).contains(form.ProgressBar.geometry()));
    QRect second = form.StatusBar.PanelRect(1);
    EXPECT_GE(second.left(), 102);
    EXPECT_EQ(second.right(), form.StatusBar.width() - 1);
}

// ---- the window interface -----------------------------------------------------------------------

class Form1Layer : public ::testing::Test {
protected:
    TForm1Window form;
    TWindowLayer& layer = form;
};

TEST_F(Form1Layer, StatusTextsGoToTheSecondPanelEachReplacingTheLast) {
    layer.SetStatusText("인터넷 사용가능");
    EXPECT_EQ(form.StatusBar.PanelText(1), U("인터넷 사용가능"));
    layer.SetStatusText("Uploade speed 1.00 KB/s");
    EXPECT_EQ(form.StatusBar.PanelText(1), QStringLiteral("Uploade speed 1.00 KB/s"));
    EXPECT_TRUE(form.StatusBar.PanelText(0).isEmpty());
}

TEST_F(Form1Layer, EditBoxesAndProgressBarFollowTheCore) {
    layer.SetUserIDText("사무실01");
    layer.SetPasswordText("p@ss 워드");
    EXPECT_EQ(layer.UserIDText(), "사무실01");
    EXPECT_EQ(layer.PasswordText(), "p@ss 워드");

    layer.SetProgressMax(5000);
    layer.SetProgressPosition(1234);
    EXPECT_EQ(form.ProgressBar.maximum(), 5000);
    EXPECT_EQ(form.ProgressBar.value(), 1234);
    layer.SetProgressVisible(false);
    EXPECT_FALSE(layer.ProgressVisible());
    EXPECT_TRUE(form.ProgressBar.isHidden());
    layer.SetProgressVisible(true);
    EXPECT_TRUE(layer.ProgressVisible());
}

TEST_F(Form1Layer, BoxesCarryTheirCaptionIconAndExactText) {
    struct Row {
        std::function<void()> Show;
        const char* Title;
        const char* Text;
        QMessageBox::Icon Icon;
    };
    const Row rows[] = {
        {[&] { layer.ShowMessage("모든 작업을 정상적으로 완료하였습니다."); }, "Nestbridge",
         "모든 작업을 정상적으로 완료하였습니다.", QMessageBox::NoIcon},
        {[&] { layer.ShowInformation("백업에 실패하였습니다.", "자료백업/복원"); }, "자료백업/복원",
         "백업에 실패하였습니다.", QMessageBox::Information},
        {[&] { layer.ShowInformation("<b>x</b>", ""); }, "Nestbridge", "<b>x</b>", QMessageBox::Information},
        {[&] { layer.ShowErrorBox("Invalid data type for 'DefaultDatabase'."); }, "Nestbridge",
         "Invalid data type for 'DefaultDatabase'.", QMessageBox::Critical},
    };
    form.show();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        BoxAnswerer answerer;
        row.Show();
        ASSERT_EQ(answerer.Seen.size(), 1u);
        const test::SeenBox& box = answerer.Seen.front();
        EXPECT_TRUE(box.IsMessageBox);
        EXPECT_EQ(box.Title, U(row.Title));
        EXPECT_EQ(box.Text, U(row.Text));
        EXPECT_EQ(box.Icon, row.Icon);
        EXPECT_EQ(box.Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

TEST_F(Form1Layer, ComponentsReachTheWindowThroughTheHooks) {
    const TForm1 core(form);  // the one route: the core installs the hooks towards its window
    {
        BoxAnswerer ok(QMessageBox::Ok);
        EXPECT_TRUE(AskOkCancel("Please insert disk 2 and click OK to continue."));
        ASSERT_EQ(ok.Seen.size(), 1u);
        EXPECT_EQ(ok.Seen[0].Icon, QMessageBox::Information);
        EXPECT_EQ(ok.Seen[0].Buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
    {
        BoxAnswerer cancel(QMessageBox::Cancel);
        EXPECT_FALSE(AskOkCancel("Please insert disk 3 and click OK to continue."));
    }
    {
        BoxAnswerer ok;
        nb::ShowErrorBox("Error reading archive");
        ASSERT_EQ(ok.Seen.size(), 1u);
        EXPECT_EQ(ok.Seen[0].Icon, QMessageBox::Critical);
        EXPECT_EQ(ok.Seen[0].Title, QStringLiteral("Nestbridge"));
    }
    bool served = false;
    QTimer::singleShot(0, [&] { served = true; });
    ServeMessageQueueOnce();
    EXPECT_TRUE(served);
}

TEST_F(Form1Layer, CursorsMapToBusyAndWaitAndBack) {
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    layer.SetCursor(TScreenCursor::AppStart);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    layer.SetCursor(TScreenCursor::HourGlass);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    layer.SetCursor(TScreenCursor::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    layer.SetCursor(TScreenCursor::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

class Form1Presses : public ::testing::Test {
protected:
    TForm1Window form;
    bool ControlsEnabled() {
        return form.btnBackupWizard.isEnabled() && form.btnRestoreWizard.isEnabled() && form.Image1.isEnabled();
    }
    bool ControlsDisabled() {
        return !form.btnBackupWizard.isEnabled() && !form.btnRestoreWizard.isEnabled() && !form.Image1.isEnabled();
    }
};

TEST_F(Form1Presses, APressRunsAloneWithTheControlsDisabled) {
    form.show();
    int backups = 0, restores = 0, abouts = 0;
    bool disabledInside = false, closedInside = true;
    form.OnRestoreClick = [&] { ++restores; };
    form.OnImage1Click = [&] { ++abouts; };
    form.OnBackupClick = [&] {
        ++backups;
        disabledInside = ControlsDisabled() && form.PressRunning();
        // What could still arrive while the press pumps messages starts nothing.
        emit form.btnBackupWizard.clicked();
        emit form.btnRestoreWizard.clicked();
        emit form.Image1.clicked();
        QTest::mouseClick(&form.Image1, Qt::LeftButton);
        closedInside = form.close();
    };
    QTest::mouseClick(&form.btnBackupWizard, Qt::LeftButton);
    EXPECT_EQ(backups, 1);
    EXPECT_EQ(restores, 0);
    EXPECT_EQ(abouts, 0);
    EXPECT_TRUE(disabledInside);
    EXPECT_FALSE(closedInside);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(ControlsEnabled());
    EXPECT_FALSE(form.PressRunning());

    QTest::mouseClick(&form.btnRestoreWizard, Qt::LeftButton);
    EXPECT_EQ(restores, 1);
    EXPECT_TRUE(form.close());
}

TEST_F(Form1Presses, TheBannerReportsAClickOnlyWhenReleasedOverIt) {
    form.show();
    int abouts = 0;
    form.OnImage1Click = [&] { ++abouts; };
    QTest::mouseClick(&form.Image1, Qt::LeftButton, {}, QPoint(100, 80));
    EXPECT_EQ(abouts, 1);
    QTest::mousePress(&form.Image1, Qt::LeftButton, {}, QPoint(100, 80));
    QTest::mouseRelease(&form.Image1, Qt::LeftButton, {}, QPoint(100, 400));
    EXPECT_EQ(abouts, 1);
    QTest::mouseClick(&form.Image1, Qt::RightButton, {}, QPoint(100, 80));
    EXPECT_EQ(abouts, 1);
}

// ---- the About window ---------------------------------------------------------------------------

class Form2Layout : public ::testing::Test {
protected:
    TForm2 about;
};

TEST_F(Form2Layout, IsAFixedDialogOnButtonFaceWithItsCaption) {
    EXPECT_EQ(about.windowTitle(), U("네스트브리지서비스에 대하여"));
    ExpectFixedClient(about, 349, 282);
    ExpectWindowFont(about);
    EXPECT_EQ(about.backgroundRole(), QPalette::Button);
    EXPECT_TRUE(about.findChildren<QAbstractButton*>().isEmpty());
    EXPECT_FALSE(about.isVisible());
    // A 4-pixel border, the 6-pixel strip, and the bevelled panel filling the rest.
    EXPECT_EQ(about.Strip.geometry(), QRect(4, 4, 341, 6));
    EXPECT_EQ(about.Panel1.geometry(), QRect(4, 10, 341, 268));
}

TEST_F(Form2Layout, SixLabelsWithTheirPlacesColoursAndExactTexts) {
    const QColor maroon(0x80, 0, 0), red(0xff, 0, 0), plain = about.palette().color(QPalette::WindowText);
    struct Row {
        TTextLabel* Label;
        QRect Rect;  // empty size: sized by its text
        QColor Colour;
        const char* Text;
    };
    const Row rows[] = {
        {&about.Label1, {8, 12, 0, 0}, maroon, "* 네스트브리지 서비스란 ?"},
        {&about.Label5,
         {18, 28, 304, 72},
         plain,
         "사무실에서 가온장부를 사용하여 업무관리를 하고  계시는 고객을 대상으로 업무마감 후 마감 내용을 집에서도 "
         "한번의 마우스 클릭으로 자동으로 볼 수 있도록 지원하며 불의의 사고로부터 자료를 안전하게 보관할 수 있도록 "
         "하는 백업 저장장소로 사용이 가능한 온라인 서비스를 말합니다."},
        {&about.Label2, {8, 109, 0, 0}, maroon, "* 이용가능 고객"},
        {&about.Label10,
         {18, 125, 318, 60},
         plain,
         "1. 장부정리를 집에서 하시는 분\n2. 사무실에서 정리한 자료를 집에서 확인하고자 할 경우\n"
         "3. 이전에 디스켓으로 백업 후 집에서 자료를 확인하신 분들\n"
         "4. 불의의 사고에 대비하여 자료를 안전하게 보관하고자 \n    하시는 분들"},
        {&about.Label3, {8, 196, 0, 0}, red, "* 주의사항"},
        {&about.Label8,
         {18, 213, 302, 48},
         red,
         "1. 사무실과 집에서는 반드시 인터넷 사용이 가능하여야 \n    합니다.\n"
         "2. 사무실과  집에 같은 버전의 가온장부\n    프로그램이 설치되어 있어야 합니다."},
    };
    const int panelInside = about.Panel1.height() - 2;  // above the bevel
    const TTextLabel* previous = nullptr;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(row.Label->parentWidget(), &about.Panel1);
        EXPECT_EQ(row.Label->text().toUtf8().toStdString(), std::string(row.Text));
        EXPECT_EQ(row.Label->pos(), row.Rect.topLeft());
        EXPECT_EQ(row.Label->palette().color(row.Label->foregroundRole()), row.Colour);
        if (!row.Rect.size().isEmpty()) {
            EXPECT_EQ(row.Label->width(), row.Rect.width());
            EXPECT_GE(row.Label->height(), row.Rect.height());
        }
        // The whole text shows, inside the panel, clear of the label below it.
        int needed =
            row.Label->wordWrap() ? row.Label->heightForWidth(row.Label->width()) : row.Label->sizeHint().height();
        EXPECT_GE(row.Label->height(), needed);
        if (!row.Label->wordWrap()) {
            EXPECT_GE(row.Label->width(), row.Label->sizeHint().width());
        }
        EXPECT_LE(row.Label->geometry().bottom(), panelInside);
        if (previous) {
            EXPECT_LT(previous->geometry().bottom(), row.Label->y());
        }
        previous = row.Label;
    }
    EXPECT_TRUE(about.Label5.wordWrap());
    EXPECT_FALSE(about.Label10.wordWrap());
    EXPECT_FALSE(about.Label8.wordWrap());
}

TEST_F(Form2Layout, ShownModallyAndCentredUntilClosed) {
    BoxAnswerer answerer;
    bool modal = false;
    QRect frame;
    answerer.OnModal = [&](QWidget& window) {
        modal = &window == &about && about.isModal();
        frame = about.frameGeometry();
    };
    about.exec();
    EXPECT_TRUE(modal);
    EXPECT_FALSE(about.isVisible());
    QRect screen = about.screen()->availableGeometry();
    EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1);
}

}  // namespace
}  // namespace nb
