// Both windows control by control through the Win32 API, and the window interface the core
// shows everything through.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include "BoxAnswerer.h"
#include "app/FormTexts.h"
#include "app/Unit1.h"
#include "app/win32gui/MainForm.h"
#include "platform/UserInterface.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

// The accounting program's key, below the test's own stand-in for HKEY_CURRENT_USER.
constexpr const char* kDatabaseKey = "Software\\Marrowby\\Tallyvine\\Database";

using test::BoxAnswerer;
using test::ClassOf;
using test::TBoxIcon;
using test::TextOf;

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ExpectRect(HWND child, const RECT& expected) {
    RECT r = RectInParent(child);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(r.right, expected.right);
    EXPECT_EQ(r.bottom, expected.bottom);
}

SIZE ClientSize(HWND window) {
    RECT r;
    ::GetClientRect(window, &r);
    return {r.right, r.bottom};
}

LOGFONTW FontOf(HWND window) {
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
    ::GetObjectW(handle, sizeof font, &font);
    return font;
}

// The text colour its parent gives a label.
COLORREF TextColourOf(HWND label) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    ::SendMessageW(::GetParent(label), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(label));
    COLORREF colour = ::GetTextColor(dc);
    ::DeleteDC(dc);
    return colour;
}

struct Drawn {
    COLORREF Corner = 0;
    int Inked = 0;  // pixels other than the corner's colour
    int Reddish = 0;
};

// What a label's parent draws for it, into a bitmap of the label's size.
Drawn DrawnLabel(HWND label) {
    RECT r;
    ::GetClientRect(label, &r);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), r.right, -r.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP picture = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, picture);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.hwndItem = label;
    item.hDC = dc;
    item.rcItem = r;
    ::SendMessageW(::GetParent(label), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
    ::GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    auto colour = [](DWORD bgrx) { return RGB((bgrx >> 16) & 0xff, (bgrx >> 8) & 0xff, bgrx & 0xff); };
    Drawn drawn;
    drawn.Corner = colour(pixels[0]);
    for (int i = 0; i < r.right * r.bottom; ++i) {
        COLORREF c = colour(pixels[i]);
        if (c != drawn.Corner) ++drawn.Inked;
        if (GetRValue(c) > GetGValue(c) + 100 && GetRValue(c) > GetBValue(c) + 100) ++drawn.Reddish;
    }
    ::SelectObject(dc, old);
    ::DeleteObject(picture);
    ::DeleteDC(dc);
    return drawn;
}

LONG_PTR Style(HWND window) { return ::GetWindowLongPtrW(window, GWL_STYLE); }
LONG_PTR ExStyle(HWND window) { return ::GetWindowLongPtrW(window, GWL_EXSTYLE); }

void ExpectFixedDialog(HWND window, int width, int height) {
    SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, width);
    EXPECT_EQ(client.cy, height);
    EXPECT_TRUE(Style(window) & WS_CAPTION);
    EXPECT_TRUE(Style(window) & WS_SYSMENU);
    EXPECT_FALSE(Style(window) & WS_THICKFRAME);
    EXPECT_FALSE(Style(window) & WS_MAXIMIZEBOX);
    EXPECT_FALSE(Style(window) & WS_MINIMIZEBOX);
    EXPECT_TRUE(ExStyle(window) & WS_EX_DLGMODALFRAME);
}

void ExpectCentred(HWND window) {
    RECT work, frame;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(window, &frame);
    EXPECT_LE(std::abs((frame.left + frame.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((frame.top + frame.bottom) - (work.top + work.bottom)), 2);
}

void ExpectWindowFont(HWND control, bool bold) {
    LOGFONTW font = FontOf(control);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"\uad74\ub9bc");  // 굴림
    EXPECT_EQ(font.lfHeight, -12);
    EXPECT_EQ(font.lfCharSet, HANGEUL_CHARSET);
    EXPECT_EQ(font.lfWeight, bold ? FW_BOLD : FW_NORMAL);
    // Whatever stands in for Gulim must draw Hangul.
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    WORD glyph = 0;
    EXPECT_EQ(::GetGlyphIndicesW(dc, L"\uac00", 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS), 1u);
    EXPECT_NE(glyph, 0xffff);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
}

std::string StatusText(HWND statusBar, int part) {
    auto length = LOWORD(::SendMessageW(statusBar, SB_GETTEXTLENGTHW, part, 0));
    std::wstring text(length + 1u, L'\0');
    ::SendMessageW(statusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return Narrow(text);
}

std::string HintOf(HWND toolTip, HWND tool) {
    wchar_t buffer[512] = {};
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = ::GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = buffer;
    ::SendMessageW(toolTip, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&info));
    return Narrow(buffer);
}

HCURSOR CursorOver(HWND form, HWND child) {
    ::SendMessageW(form, WM_SETCURSOR, reinterpret_cast<WPARAM>(child), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return ::GetCursor();
}

// ---- the main window ---------------------------------------------------------------------------

class Form1Layout : public ::testing::Test {
protected:
    TForm1Window form;
};

TEST_F(Form1Layout, IsAFixedCentredDialogWithItsCaptionAndFont) {
    EXPECT_EQ(ClassOf(form.Handle()), "TForm1");
    EXPECT_EQ(TextOf(form.Handle()), texts::Form1Caption);
    EXPECT_EQ(TextOf(form.Handle()), "네스트브리지서비스");
    ExpectFixedDialog(form.Handle(), 275, 358);
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
    form.Show();
    ExpectCentred(form.Handle());
    EXPECT_EQ(::GetFocus(), form.UserIDEdit);
    for (HWND control : {form.btnBackupWizard, form.UserIDEdit, form.Label4}) ExpectWindowFont(control, false);
    for (HWND label : {form.Label6, form.Label7}) ExpectWindowFont(label, true);
    // The icon comes from the program's resources.
    EXPECT_NE(::GetClassLongPtrW(form.Handle(), GCLP_HICON), 0);
}

struct Placement {
    const char* Name;
    HWND TForm1Window::*Control;
    const char* Class;
    HWND TForm1Window::*Parent;  // nullptr: the window itself
    RECT Rect;                   // right/bottom 0: the text decides the size
};

TEST_F(Form1Layout, EveryControlSitsWhereTheFormPlacesIt) {
    const Placement placements[] = {
        {"Image1", &TForm1Window::Image1, "Static", nullptr, {0, 0, 275, 169}},
        {"Panel2", &TForm1Window::Panel2, "TPanel", nullptr, {0, 169, 275, 229}},
        {"btnBackupWizard", &TForm1Window::btnBackupWizard, "Button", &TForm1Window::Panel2, {20, 16, 129, 41}},
        {"btnRestoreWizard", &TForm1Window::btnRestoreWizard, "Button", &TForm1Window::Panel2, {144, 16, 253, 41}},
        {"Bevel1", &TForm1Window::Bevel1, "Static", &TForm1Window::Panel2, {8, 52, 269, 53}},
        {"Panel4", &TForm1Window::Panel4, "TPanel", nullptr, {0, 229, 275, 287}},
        {"Label6", &TForm1Window::Label6, "Static", &TForm1Window::Panel4, {35, 6, 0, 0}},
        {"UserIDEdit", &TForm1Window::UserIDEdit, "Edit", &TForm1Window::Panel4, {124, 1, 237, 21}},
        {"Label7", &TForm1Window::Label7, "Static", &TForm1Window::Panel4, {35, 31, 0, 0}},
        {"PasswordEdit", &TForm1Window::PasswordEdit, "Edit", &TForm1Window::Panel4, {124, 26, 237, 46}},
        {"Bevel2", &TForm1Window::Bevel2, "Static", &TForm1Window::Panel4, {8, 53, 269, 54}},
        {"Label4", &TForm1Window::Label4, "Static", nullptr, {20, 292, 0, 0}},
        {"StatusBar", &TForm1Window::StatusBar, "msctls_statusbar32", nullptr, {0, 336, 275, 358}},
        {"ProgressBar", &TForm1Window::ProgressBar, "msctls_progress32", &TForm1Window::StatusBar, {2, 3, 102, 21}},
    };
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.Name);
        HWND control = form.*p.Control;
        ASSERT_TRUE(::IsWindow(control));
        EXPECT_EQ(ClassOf(control), p.Class);
        EXPECT_EQ(::GetParent(control), p.Parent ? form.*p.Parent : form.Handle());
        RECT r = RectInParent(control);
        if (p.Rect.right) {
            ExpectRect(control, p.Rect);
        } else {
            EXPECT_EQ(r.left, p.Rect.left);
            EXPECT_EQ(r.top, p.Rect.top);
            EXPECT_GT(r.right - r.left, 0);
            EXPECT_GT(r.bottom - r.top, 0);
        }
        EXPECT_TRUE(Style(control) & WS_VISIBLE);
    }
    // The labels keep inside the room the window gives them.
    EXPECT_LE(RectInParent(form.Label4).bottom, 336);
    EXPECT_LE(RectInParent(form.Label6).right, 124);
}

TEST_F(Form1Layout, TextsStylesAndColours) {
    EXPECT_EQ(TextOf(form.btnBackupWizard), "자료 올리기");
    EXPECT_EQ(TextOf(form.btnRestoreWizard), "자료 내려받기");
    EXPECT_EQ(TextOf(form.Label6), "사용자 아이디");
    EXPECT_EQ(TextOf(form.Label7), "비밀번호");
    EXPECT_EQ(TextOf(form.Label4),
              "네스트브리지의 이용자아이디와 비밀번호는\n인터넷 유지보수회원 아이디/비밀번호와 \n동일합니다.");
    for (HWND button : {form.btnBackupWizard, form.btnRestoreWizard}) {
        EXPECT_TRUE(Style(button) & BS_FLAT);
        EXPECT_FALSE(Style(button) & WS_TABSTOP);  // a flat button never takes the focus by Tab
    }
    EXPECT_TRUE(Style(form.PasswordEdit) & ES_PASSWORD);
    EXPECT_EQ(::SendMessageW(form.PasswordEdit, EM_GETPASSWORDCHAR, 0, 0), L'*');
    EXPECT_FALSE(Style(form.UserIDEdit) & ES_PASSWORD);
    EXPECT_EQ(TextColourOf(form.Label4), RGB(0xff, 0, 0));
    EXPECT_EQ(TextColourOf(form.Label6), ::GetSysColor(COLOR_WINDOWTEXT));

    // The banner: a 24-bit picture of exactly its size, with the hand cursor, as the buttons.
    EXPECT_EQ(Style(form.Image1) & SS_TYPEMASK, SS_BITMAP);
    EXPECT_TRUE(Style(form.Image1) & SS_NOTIFY);
    auto banner = reinterpret_cast<HBITMAP>(::SendMessageW(form.Image1, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP bitmap{};
    ASSERT_EQ(::GetObjectW(banner, sizeof bitmap, &bitmap), static_cast<int>(sizeof bitmap));
    EXPECT_EQ(bitmap.bmWidth, 275);
    EXPECT_EQ(bitmap.bmHeight, 169);
    EXPECT_EQ(bitmap.bmBitsPixel, 24);
    HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    for (HWND control : {form.Image1, form.btnBackupWizard, form.btnRestoreWizard})
        EXPECT_EQ(CursorOver(form.Handle(), control), hand);
    EXPECT_NE(CursorOver(form.Handle(), form.UserIDEdit), hand);
}

TEST_F(Form1Layout, LabelsAreDrawnInTheirColoursOnTheirParentsBackground) {
    TForm2 about(form.Handle());
    struct Case {
        const char* Name;
        HWND Label;
        int Background;
        bool Red;
    };
    const Case cases[] = {
        {"Label6 on its panel", form.Label6, COLOR_BTNFACE, false},
        {"Label4 on the window", form.Label4, COLOR_WINDOW, true},
        {"Label3 on the About panel", about.Label3, COLOR_BTNFACE, true},
        {"Label5 on the About panel", about.Label5, COLOR_BTNFACE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Drawn drawn = DrawnLabel(c.Label);
        EXPECT_EQ(drawn.Corner, ::GetSysColor(c.Background));
        EXPECT_GT(drawn.Inked, 20);
        EXPECT_EQ(drawn.Reddish > 0, c.Red);
    }
}

TEST_F(Form1Layout, OnlyTheTwoEditBoxesAreInTheTabOrder) {
    form.Show();
    EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), form.UserIDEdit, FALSE), form.PasswordEdit);
    EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), form.PasswordEdit, FALSE), form.UserIDEdit);
    EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), form.UserIDEdit, TRUE), form.PasswordEdit);
}

TEST_F(Form1Layout, TheButtonsHintInTwoLines) {
    ASSERT_TRUE(::IsWindow(form.ToolTip));
    EXPECT_EQ(::SendMessageW(form.ToolTip, TTM_GETTOOLCOUNT, 0, 0), 2);
    EXPECT_EQ(HintOf(form.ToolTip, form.btnBackupWizard),
              "사무실 또는 집에서 작업한 최근자료를\n미리내네스트브리지 서버에 올립니다.");
    EXPECT_EQ(HintOf(form.ToolTip, form.btnRestoreWizard),
              "사무실 또는 집에서 작업한 최근자료를\n미리내네스트브리지 서버에서 내려받습니다.");
    // Without a maximum width a tool-tip shows one line whatever its text holds.
    EXPECT_GT(::SendMessageW(form.ToolTip, TTM_GETMAXTIPWIDTH, 0, 0), 0);
}

TEST_F(Form1Layout, TheStatusBarHasTwoPanelsAndTheProgressBarCoversTheFirst) {
    int rights[4] = {};
    ASSERT_EQ(::SendMessageW(form.StatusBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(rights)), 2);
    EXPECT_EQ(rights[0], 102);
    EXPECT_EQ(rights[1], -1);
    RECT first{};
    ::SendMessageW(form.StatusBar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&first));
    RECT bar = RectInParent(form.ProgressBar);
    EXPECT_LE(first.left, bar.left);
    EXPECT_GE(first.right, bar.right - 1);

    form.SetStatusText("서버 접속 완료");
    EXPECT_EQ(StatusText(form.StatusBar, 1), "서버 접속 완료");
    EXPECT_EQ(StatusText(form.StatusBar, 0), "");

    PBRANGE range{};
    ::SendMessageW(form.ProgressBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(::SendMessageW(form.ProgressBar, PBM_GETPOS, 0, 0), 0);
    EXPECT_TRUE(form.ProgressVisible());
    form.SetProgressMax(5000);
    form.SetProgressPosition(1234);
    ::SendMessageW(form.ProgressBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iHigh, 5000);
    EXPECT_EQ(::SendMessageW(form.ProgressBar, PBM_GETPOS, 0, 0), 1234);
    form.SetProgressVisible(false);
    EXPECT_FALSE(form.ProgressVisible());
    EXPECT_FALSE(Style(form.ProgressBar) & WS_VISIBLE);
    form.SetProgressVisible(true);
    EXPECT_TRUE(form.ProgressVisible());
}

// ---- the window interface ----------------------------------------------------------------------

TEST_F(Form1Layout, MessageBoxesCarryTheirCaptionsIconsAndButtons) {
    form.Show();
    struct Case {
        const char* Name;
        std::function<void()> Show;
        const char* Title;
        TBoxIcon Icon;
        std::vector<int> Buttons;
    };
    const Case cases[] = {
        {"plain",
         [&] { form.ShowMessage("모든 작업을 정상적으로 완료하였습니다."); },
         "Nestbridge",
         TBoxIcon::None,
         {IDOK}},
        {"information",
         [&] { form.ShowInformation("모든 작업을 정상적으로 완료하였습니다.", "자료백업/복원"); },
         "자료백업/복원",
         TBoxIcon::Information,
         {IDOK}},
        {"information, application title",
         [&] { form.ShowInformation("모든 작업을 정상적으로 완료하였습니다.", ""); },
         "Nestbridge",
         TBoxIcon::Information,
         {IDOK}},
        {"error",
         [&] { form.ShowErrorBox("모든 작업을 정상적으로 완료하였습니다."); },
         "Nestbridge",
         TBoxIcon::Stop,
         {IDOK}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        BoxAnswerer answerer;
        bool ownerDisabled = false;
        answerer.OnModal = [&](HWND) { ownerDisabled = !::IsWindowEnabled(form.Handle()); };
        c.Show();
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_TRUE(answerer.Seen[0].IsMessageBox);
        EXPECT_EQ(answerer.Seen[0].Title, c.Title);
        EXPECT_EQ(answerer.Seen[0].Text, "모든 작업을 정상적으로 완료하였습니다.");
        EXPECT_EQ(answerer.Seen[0].Icon, c.Icon);
        EXPECT_EQ(answerer.Seen[0].Buttons, c.Buttons);
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(::IsWindowEnabled(form.Handle()));
    }
    for (int answer : {IDOK, IDCANCEL}) {
        BoxAnswerer answerer(answer);
        EXPECT_EQ(form.AskOkCancel("디스켓을 넣어 주십시오."), answer == IDOK);
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(answerer.Seen[0].Icon, TBoxIcon::Information);
        EXPECT_EQ(answerer.Seen[0].Buttons, (std::vector<int>{IDOK, IDCANCEL}));
    }
}

TEST_F(Form1Layout, CursorsAndPendingMessages) {
    form.SetCursor(TScreenCursor::HourGlass);
    EXPECT_EQ(CursorOver(form.Handle(), form.UserIDEdit), ::LoadCursorW(nullptr, IDC_WAIT));
    EXPECT_EQ(CursorOver(form.Handle(), form.Image1), ::LoadCursorW(nullptr, IDC_WAIT));
    form.SetCursor(TScreenCursor::AppStart);
    EXPECT_EQ(CursorOver(form.Handle(), form.Image1), ::LoadCursorW(nullptr, IDC_APPSTARTING));
    form.SetCursor(TScreenCursor::Default);
    EXPECT_EQ(CursorOver(form.Handle(), form.Image1), ::LoadCursorW(nullptr, IDC_HAND));

    // A message waiting in the queue is served by one call, not before.
    form.Show();
    form.SetUserIDText("");
    ::PostMessageW(form.UserIDEdit, WM_CHAR, L'k', 1);
    EXPECT_EQ(form.UserIDText(), "");
    form.ProcessMessages();
    EXPECT_EQ(form.UserIDText(), "k");
}

TEST(Form1Core, TheDefaultErrorBoxShowsAnUnreadableRegistryValueAndTheWindowStillOpens) {
    test::TestRegistry registry{"", test::TestRegistry::Scope::Own};
    ASSERT_TRUE(registry.SetNumber(kDatabaseKey, "DefaultDatabase", 7));
    TForm1Environment environment;
    environment.RegistryLocation = registry.Location();
    test::TempDir root;
    environment.SettingsFile = root / "FtpHost.ini";
    BoxAnswerer answerer;
    TMainForm form(environment);
    ASSERT_EQ(answerer.Seen.size(), 1u);
    // "'" sorts before ".": no full stop is appended.
    EXPECT_EQ(answerer.Seen[0].Text, "Invalid data type for 'DefaultDatabase'");
    EXPECT_EQ(answerer.Seen[0].Title, "Nestbridge");
    EXPECT_EQ(answerer.Seen[0].Icon, TBoxIcon::Stop);
    EXPECT_EQ(form.Core().DataFolder(), "");
    EXPECT_EQ(form.Window().UserIDText(), "HOSTID");  // no settings file yet
    EXPECT_EQ(form.Window().PasswordText(), "");
    // The components' own error boxes come here too.
    ShowErrorBox("Cannot open file x.DB");
    ASSERT_EQ(answerer.Seen.size(), 2u);
    EXPECT_EQ(answerer.Seen[1].Icon, TBoxIcon::Stop);
}

// ---- the About window ----------------------------------------------------------------------------

struct Form2Label {
    const char* Name;
    HWND TForm2::*Control;
    int X, Y, Width, Height;  // 0: the text decides
    COLORREF Colour;
    const char* Text;
    bool WordWrap;
};

TEST(Form2Layout, IsAHiddenFixedDialogWithItsPanelAndSixLabels) {
    TForm1Window owner;
    TForm2 form(owner.Handle());
    EXPECT_EQ(ClassOf(form.Handle()), "TForm2");
    EXPECT_EQ(TextOf(form.Handle()), "네스트브리지서비스에 대하여");
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
    EXPECT_EQ(::GetWindow(form.Handle(), GW_OWNER), owner.Handle());
    ExpectFixedDialog(form.Handle(), 349, 282);
    EXPECT_EQ(::GetClassLongPtrW(form.Handle(), GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);

    EXPECT_EQ(ClassOf(form.Strip), "TPanel");
    ExpectRect(form.Strip, {4, 4, 345, 10});
    EXPECT_EQ(ClassOf(form.Panel1), "TBevelPanel");
    ExpectRect(form.Panel1, {4, 10, 345, 278});
    RECT panel = RectInParent(form.Panel1);

    const COLORREF maroon = RGB(0x80, 0, 0), red = RGB(0xff, 0, 0), plain = ::GetSysColor(COLOR_WINDOWTEXT);
    const Form2Label labels[] = {
        {"Label1", &TForm2::Label1, 8, 12, 0, 0, maroon, "* 네스트브리지 서비스란 ?", false},
        {"Label5", &TForm2::Label5, 18, 28, 304, 72, plain,
         "사무실에서 가온장부를 사용하여 업무관리를 하고  계시는 고객을 대상으로 업무마감 후 마감 내용을 집에서도 "
         "한번의 마우스 클릭으로 자동으로 볼 수 있도록 지원하며 불의의 사고로부터 자료를 안전하게 보관할 수 "
         "있도록 하는 백업 저장장소로 사용이 가능한 온라인 서비스를 말합니다.",
         true},
        {"Label2", &TForm2::Label2, 8, 109, 0, 0, maroon, "* 이용가능 고객", false},
        {"Label10", &TForm2::Label10, 18, 125, 318, 60, plain,
         "1. 장부정리를 집에서 하시는 분\n2. 사무실에서 정리한 자료를 집에서 확인하고자 할 경우\n"
         "3. 이전에 디스켓으로 백업 후 집에서 자료를 확인하신 분들\n4. 불의의 사고에 대비하여 자료를 안전하게 "
         "보관하고자 \n    하시는 분들",
         false},
        {"Label3", &TForm2::Label3, 8, 196, 0, 0, red, "* 주의사항", false},
        {"Label8", &TForm2::Label8, 18, 213, 302, 48, red,
         "1. 사무실과 집에서는 반드시 인터넷 사용이 가능하여야 \n    합니다.\n2. 사무실과  집에 같은 버전의 "
         "가온장부\n    프로그램이 설치되어 있어야 합니다.",
         false},
    };
    for (const Form2Label& l : labels) {
        SCOPED_TRACE(l.Name);
        HWND label = form.*l.Control;
        EXPECT_EQ(ClassOf(label), "Static");
        EXPECT_EQ(::GetParent(label), form.Panel1);
        RECT r = RectInParent(label);
        EXPECT_EQ(r.left, l.X);
        EXPECT_EQ(r.top, l.Y);
        if (l.Width) {
            // As given, or larger where the font needs more room; never wider than the word wrap allows.
            EXPECT_GE(r.right - r.left, l.Width);
            EXPECT_GE(r.bottom - r.top, l.Height);
            if (l.WordWrap) {
                EXPECT_EQ(r.right - r.left, l.Width);
            }
        }
        EXPECT_LE(r.right, panel.right - panel.left);
        EXPECT_LE(r.bottom, panel.bottom - panel.top);
        EXPECT_EQ(TextOf(label), l.Text);
        EXPECT_EQ(TextColourOf(label), l.Colour);
        ExpectWindowFont(label, false);
    }
}

}  // namespace
}  // namespace nb
