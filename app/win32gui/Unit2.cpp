#include "app/win32gui/Unit2.h"

#include <stdexcept>

#include "app/FormLayout.h"
#include "app/FormTexts.h"

namespace nb {

namespace {

using namespace form2;

constexpr COLORREF Maroon = RGB(0x80, 0x00, 0x00);
constexpr COLORREF Red = RGB(0xff, 0x00, 0x00);

}  // namespace

TForm2::TForm2(HWND owner) : owner_(owner) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    RegisterWindowClasses(instance);
    static const bool registered = RegisterWindowClass(instance, Form2Class, WindowProc, COLOR_BTNFACE);
    if (!registered) throw std::runtime_error("cannot register the About window's class");
    HWND window = ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, Form2Class,
                                    Widen(texts::Form2Caption).c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                    CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, owner, nullptr, instance, this);
    if (!window) throw std::runtime_error("cannot create the About window");
    form_.reset(window);
    SetClientSize(window, ClientWidth, ClientHeight);

    const int inner = ClientWidth - 2 * BorderWidth;
    Strip = CreateChild(window, PanelClass, "", 0, BorderWidth, BorderWidth, inner, StripHeight);
    Panel1 = CreateChild(window, BevelPanelClass, "", WS_CLIPCHILDREN, BorderWidth, BorderWidth + StripHeight, inner,
                         ClientHeight - 2 * BorderWidth - StripHeight);
    Label1 = CreateLabel(Panel1, texts::Label1Text, 8, 12);
    SetLabelColour(Label1, Maroon);
    Label5 = CreateLabel(Panel1, texts::Label5Text, 18, 28, 304, 72, true);
    Label2 = CreateLabel(Panel1, texts::Label2Text, 8, 109);
    SetLabelColour(Label2, Maroon);
    Label10 = CreateLabel(Panel1, texts::Label10Text, 18, 125, 318, 60);
    Label3 = CreateLabel(Panel1, texts::Label3Text, 8, 196);
    SetLabelColour(Label3, Red);
    Label8 = CreateLabel(Panel1, texts::Label8Text, 18, 213, 302, 48);
    SetLabelColour(Label8, Red);
}

void TForm2::ShowModal() {
    if (modal_) return;
    modal_ = true;
    HWND window = form_.get();
    CentreOnScreen(window);
    // The main window takes no input until this one is closed.
    if (owner_) ::EnableWindow(owner_, FALSE);
    ::ShowWindow(window, SW_SHOW);
    ::UpdateWindow(window);
    MSG message;
    bool quit = false;
    int quitCode = 0;
    while (modal_) {
        if (::GetMessageW(&message, nullptr, 0, 0) <= 0) {
            quit = true;
            quitCode = static_cast<int>(message.wParam);
            break;
        }
        if (!::IsDialogMessageW(window, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    modal_ = false;
    // The owner is enabled before this one hides, so that it is the window activated next.
    if (owner_) ::EnableWindow(owner_, TRUE);
    ::ShowWindow(window, SW_HIDE);
    if (owner_) ::SetActiveWindow(owner_);
    if (quit) ::PostQuitMessage(quitCode);
}

LRESULT CALLBACK TForm2::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TForm2*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_CLOSE:
            // Closing hides it: it is kept for the whole run.
            if (self) self->modal_ = false;
            ::PostMessageW(window, WM_NULL, 0, 0);  // wakes the modal loop
            return 0;
        case WM_CTLCOLORSTATIC:
            return LabelColours(window, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM: return DrawLabel(window, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
        default: return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace nb
