#include "app/win32gui/Unit1Window.h"

#include <commctrl.h>

#include <stdexcept>

#include "app/FormLayout.h"
#include "app/FormTexts.h"
#include "app/Unit1.h"
#include "app/win32gui/Banner.h"
#include "app/win32gui/Resources.h"

namespace nb {

namespace {

using namespace form1;

// Control numbers; none of them is IDOK or IDCANCEL, which the dialog keys send.
enum : int { IdImage1 = 100, IdBackup, IdRestore, IdUserID, IdPassword, IdStatusBar, IdProgressBar };

// Commands added to the system menu: below 0xF000, with the low four bits free as Windows asks.
constexpr UINT kMenuRestoreGeneration = 0x0100;  // + 0x10 per generation, from 1
constexpr UINT kMenuUndoDownload = 0x0200;

std::wstring GenerationCaption(int generation) {
    std::wstring caption = Widen(texts::RestoreGenerationCaption);
    caption.replace(caption.find(L"%d"), 2, std::to_wstring(generation));
    return caption;
}

void AddHint(HWND toolTip, HWND tool, const char* hint) {
    std::wstring text = Widen(hint);
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = ::GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = text.data();
    ::SendMessageW(toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace

TForm1Window::TForm1Window() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    RegisterWindowClasses(instance);
    static const bool registered = RegisterWindowClass(instance, Form1Class, WindowProc, COLOR_WINDOW,
                                                       ::LoadIconW(instance, MAKEINTRESOURCEW(NB_ICON_APP)));
    if (!registered) throw std::runtime_error("cannot register the main window's class");
    // A fixed-size dialog frame: caption and close box, no sizing, no minimise or maximise.
    HWND window =
        ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, Form1Class, Widen(texts::Form1Caption).c_str(),
                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                          nullptr, nullptr, instance, this);
    if (!window) throw std::runtime_error("cannot create the main window");
    form_.reset(window);
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont()), FALSE);
    SetClientSize(window, ClientWidth, ClientHeight);
    CreateControls();
    // Beside the two buttons, without changing the window's layout.
    HMENU menu = ::GetSystemMenu(window, FALSE);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (int n = 1; n <= texts::MenuGenerations; ++n)
        ::AppendMenuW(menu, MF_STRING, kMenuRestoreGeneration + 0x10 * static_cast<UINT>(n), GenerationCaption(n).c_str());
    ::AppendMenuW(menu, MF_STRING, kMenuUndoDownload, Widen(texts::UndoDownloadCaption).c_str());
}

TForm1Window::~TForm1Window() = default;

void TForm1Window::CreateControls() {
    HWND form = form_.get();
    banner_ = LoadBanner(DisplayDpi());
    Image1 = CreateChild(form, L"Static", "", SS_BITMAP | SS_NOTIFY, 0, 0, BannerWidth, BannerHeight, IdImage1);
    ::SendMessageW(Image1, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner_.get()));

    Panel2 = CreateChild(form, PanelClass, "", WS_CLIPCHILDREN, 0, BannerHeight, ClientWidth, Panel2Height, 0,
                         WS_EX_CONTROLPARENT);
    btnBackupWizard =
        CreateChild(Panel2, L"Button", texts::BackupCaption, BS_PUSHBUTTON | BS_FLAT, 20, 16, 109, 25, IdBackup);
    btnRestoreWizard =
        CreateChild(Panel2, L"Button", texts::RestoreCaption, BS_PUSHBUTTON | BS_FLAT, 144, 16, 109, 25, IdRestore);
    Bevel1 = CreateChild(Panel2, L"Static", "", SS_GRAYRECT, 8, 52, 261, 1);

    Panel4 = CreateChild(form, PanelClass, "", WS_CLIPCHILDREN, 0, BannerHeight + Panel2Height, ClientWidth,
                         Panel4Height, 0, WS_EX_CONTROLPARENT);
    Label6 = CreateLabel(Panel4, texts::Label6Text, 35, 6, 0, 0, false, WindowFont(true));
    UserIDEdit =
        CreateChild(Panel4, L"Edit", "", WS_TABSTOP | ES_AUTOHSCROLL, 124, 1, 113, 20, IdUserID, WS_EX_CLIENTEDGE);
    Label7 = CreateLabel(Panel4, texts::Label7Text, 35, 31, 0, 0, false, WindowFont(true));
    PasswordEdit = CreateChild(Panel4, L"Edit", "", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, 124, 26, 113, 20,
                               IdPassword, WS_EX_CLIENTEDGE);
    ::SendMessageW(PasswordEdit, EM_SETPASSWORDCHAR, L'*', 0);
    Bevel2 = CreateChild(Panel4, L"Static", "", SS_GRAYRECT, 8, 53, 261, 1);

    Label4 = CreateLabel(form, texts::Label4Text, 20, 292);
    SetLabelColour(Label4, RGB(0xff, 0x00, 0x00));

    // The status bar keeps the size given here: its own sizing would follow the font.
    StatusBar = CreateChild(form, STATUSCLASSNAMEW, "", WS_CLIPCHILDREN | CCS_NOPARENTALIGN | CCS_NORESIZE, 0,
                            ClientHeight - StatusBarHeight, ClientWidth, StatusBarHeight, IdStatusBar);
    int parts[2] = {Scale(ProgressPanelWidth), -1};
    ::SendMessageW(StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));

    ProgressBar = CreateChild(form, PROGRESS_CLASSW, "", 0, 0, 0, 0, 0, IdProgressBar);
    ::SendMessageW(ProgressBar, PBM_SETRANGE32, 0, 100);
    ::SendMessageW(ProgressBar, PBM_SETPOS, 0, 0);
    // Over the status bar's first panel: top, left, width and height set in this order.
    ::SetParent(ProgressBar, StatusBar);
    RECT r{0, 0, 0, 0};
    auto place = [&] {
        ::SetWindowPos(ProgressBar, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    };
    r.top = Scale(3);
    place();
    r.left = Scale(2);
    place();
    r.right = r.left + Scale(100);
    place();
    r.bottom = r.top + Scale(18);
    place();

    ToolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    // A maximum width lets the hints keep their two lines.
    ::SendMessageW(ToolTip, TTM_SETMAXTIPWIDTH, 0, Scale(400));
    AddHint(ToolTip, btnBackupWizard, texts::BackupHint);
    AddHint(ToolTip, btnRestoreWizard, texts::RestoreHint);

    ::SetFocus(UserIDEdit);
}

void TForm1Window::Show() {
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(form_.get());
    }
    ::ShowWindow(form_.get(), SW_SHOW);
    ::UpdateWindow(form_.get());
    ::SetFocus(UserIDEdit);
}

LRESULT CALLBACK TForm1Window::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TForm1Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->form_) return ::DefWindowProcW(window, message, wParam, lParam);
    // No exception may cross the system's frames: what escapes is the application's error.
    try {
        return self->Dispatch(message, wParam, lParam);
    } catch (const std::exception& e) {
        self->ShowErrorBox(ApplicationErrorText(e.what()));
    } catch (...) {
        self->ShowErrorBox(ApplicationErrorText("Unknown error"));
    }
    return 0;
}

LRESULT TForm1Window::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND form = form_.get();
    switch (message) {
        case WM_COMMAND: {
            auto control = reinterpret_cast<HWND>(lParam);
            int code = HIWORD(wParam);
            if (control == btnBackupWizard && code == BN_CLICKED) RunPress(OnBackupClick);
            if (control == btnRestoreWizard && code == BN_CLICKED) RunPress(OnRestoreClick);
            if (control == Image1 && code == STN_CLICKED && !pressRunning_ && OnImage1Click) OnImage1Click();
            return 0;
        }
        case WM_SYSCOMMAND: {
            const auto command = static_cast<UINT>(wParam & 0xFFF0);
            if (command == kMenuUndoDownload) {
                RunPress(OnUndoDownloadClick);
                return 0;
            }
            if (command > kMenuRestoreGeneration && command <= kMenuRestoreGeneration + 0x10 * texts::MenuGenerations) {
                const auto generation = static_cast<int32_t>((command - kMenuRestoreGeneration) / 0x10);
                RunPress([this, generation] {
                    if (OnRestoreGenerationClick) OnRestoreGenerationClick(generation);
                });
                return 0;
            }
            break;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == NM_CUSTOMDRAW &&
                (header->hwndFrom == btnBackupWizard || header->hwndFrom == btnRestoreWizard))
                return DrawFlatButton(*reinterpret_cast<const NMCUSTOMDRAW*>(lParam));
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            return LabelColours(form, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM: return DrawLabel(form, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
        case WM_SETCURSOR:
            if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
            break;
        case WM_CLOSE:
            // A running press cannot be interrupted; the window stays until it has finished.
            if (!pressRunning_) ::DestroyWindow(form);
            return 0;
        case WM_DESTROY:
            if (OnClosed) OnClosed();
            return 0;
        default: break;
    }
    return ::DefWindowProcW(form, message, wParam, lParam);
}

bool TForm1Window::OnSetCursor(HWND under, int hitTest) {
    if (override_) {
        ::SetCursor(override_);
        return true;
    }
    if (hitTest == HTCLIENT && (under == Image1 || under == btnBackupWizard || under == btnRestoreWizard)) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return true;
    }
    return false;
}

// Flat until the mouse is over it: a raised edge while hot, a sunken one while pressed.
LRESULT TForm1Window::DrawFlatButton(const NMCUSTOMDRAW& draw) {
    if (draw.dwDrawStage != CDDS_PREPAINT) return CDRF_DODEFAULT;
    RECT r = draw.rc;
    ::FillRect(draw.hdc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    bool enabled = !(draw.uItemState & CDIS_DISABLED);
    if (enabled && (draw.uItemState & CDIS_SELECTED))
        ::DrawEdge(draw.hdc, &r, BDR_SUNKENOUTER, BF_RECT);
    else if (enabled && (draw.uItemState & CDIS_HOT))
        ::DrawEdge(draw.hdc, &r, BDR_RAISEDINNER, BF_RECT);
    std::wstring caption = Widen(WindowText(draw.hdr.hwndFrom));
    auto font = reinterpret_cast<HFONT>(::SendMessageW(draw.hdr.hwndFrom, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(draw.hdc, font);
    ::SetBkMode(draw.hdc, TRANSPARENT);
    ::SetTextColor(draw.hdc, ::GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    if (draw.uItemState & CDIS_SELECTED) ::OffsetRect(&r, 1, 1);
    ::DrawTextW(draw.hdc, caption.c_str(), static_cast<int>(caption.size()), &r,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(draw.hdc, old);
    return CDRF_SKIPDEFAULT;
}

void TForm1Window::SetIdle(bool idle) {
    pressRunning_ = !idle;
    for (HWND control : {btnBackupWizard, btnRestoreWizard, Image1}) ::EnableWindow(control, idle ? TRUE : FALSE);
    HMENU menu = ::GetSystemMenu(form_.get(), FALSE);
    const UINT state = MF_BYCOMMAND | (idle ? MF_ENABLED : MF_GRAYED);
    for (int n = 1; n <= texts::MenuGenerations; ++n)
        ::EnableMenuItem(menu, kMenuRestoreGeneration + 0x10 * static_cast<UINT>(n), state);
    ::EnableMenuItem(menu, kMenuUndoDownload, state);
}

void TForm1Window::RunPress(const std::function<void()>& handler) {
    if (pressRunning_ || !handler) return;
    // The handler pumps messages while it works: no second press may start inside it.
    struct Guard {
        TForm1Window& window;
        explicit Guard(TForm1Window& w) : window(w) { window.SetIdle(false); }
        ~Guard() { window.SetIdle(true); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
    } guard(*this);
    handler();
}

std::string TForm1Window::UserIDText() const { return WindowText(UserIDEdit); }
void TForm1Window::SetUserIDText(const std::string& text) { ::SetWindowTextW(UserIDEdit, Widen(text).c_str()); }
std::string TForm1Window::PasswordText() const { return WindowText(PasswordEdit); }
void TForm1Window::SetPasswordText(const std::string& text) { ::SetWindowTextW(PasswordEdit, Widen(text).c_str()); }

void TForm1Window::SetStatusText(const std::string& text) {
    ::SendMessageW(StatusBar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    // A press holds the message loop; the user still sees each step.
    ::UpdateWindow(StatusBar);
}

bool TForm1Window::ProgressVisible() const { return (::GetWindowLongPtrW(ProgressBar, GWL_STYLE) & WS_VISIBLE) != 0; }
void TForm1Window::SetProgressVisible(bool visible) { ::ShowWindow(ProgressBar, visible ? SW_SHOWNA : SW_HIDE); }
void TForm1Window::SetProgressMax(int32_t max) { ::SendMessageW(ProgressBar, PBM_SETRANGE32, 0, max); }
void TForm1Window::SetProgressPosition(int32_t position) {
    ::SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    ::UpdateWindow(ProgressBar);
}

int TForm1Window::ShowBox(const std::string& text, const std::wstring& caption, UINT style) {
    HWND owner = ::IsWindowVisible(form_.get()) ? form_.get() : nullptr;
    return ::MessageBoxW(owner, Widen(text).c_str(), caption.c_str(), style | MB_SETFOREGROUND);
}

void TForm1Window::ShowMessage(const std::string& text) { ShowBox(text, ApplicationTitle(), MB_OK); }

void TForm1Window::ShowInformation(const std::string& text, const std::string& caption) {
    ShowBox(text, caption.empty() ? ApplicationTitle() : Widen(caption), MB_OK | MB_ICONINFORMATION);
}

void TForm1Window::ShowErrorBox(const std::string& text) { ShowBox(text, ApplicationTitle(), MB_OK | MB_ICONSTOP); }

bool TForm1Window::AskYesNo(const std::string& text, const std::string& caption) {
    // No unless the user chooses otherwise: Enter keeps the work.
    return ShowBox(text, caption.empty() ? ApplicationTitle() : Widen(caption),
                   MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

bool TForm1Window::AskOkCancel(const std::string& text) {
    return ShowBox(text, ApplicationTitle(), MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
}

void TForm1Window::SetCursor(TScreenCursor cursor) {
    switch (cursor) {
        case TScreenCursor::AppStart: override_ = ::LoadCursorW(nullptr, IDC_APPSTARTING); break;
        case TScreenCursor::HourGlass: override_ = ::LoadCursorW(nullptr, IDC_WAIT); break;
        default: override_ = nullptr; break;
    }
    ::SetCursor(override_ ? override_ : ::LoadCursorW(nullptr, IDC_ARROW));
}

void TForm1Window::ProcessMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Leave it for the message loop that ends the program.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!::IsDialogMessageW(form_.get(), &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

}  // namespace nb
