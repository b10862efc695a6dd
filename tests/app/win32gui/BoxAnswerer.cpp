#include "BoxAnswerer.h"

#include "app/win32gui/Style.h"

namespace nb::test {

namespace {

BoxAnswerer* current = nullptr;

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<HWND> ShownModals() {
    std::vector<HWND> windows;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM list) {
            std::string name = ClassOf(window);
            if (::IsWindowVisible(window) && (name == "#32770" || name == "TForm2"))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

TBoxIcon IconOf(HWND icon) {
    auto shown = reinterpret_cast<HICON>(::SendMessageW(icon, STM_GETICON, 0, 0));
    if (!shown) return TBoxIcon::None;
    if (shown == ::LoadIconW(nullptr, IDI_INFORMATION)) return TBoxIcon::Information;
    if (shown == ::LoadIconW(nullptr, IDI_HAND)) return TBoxIcon::Stop;
    if (shown == ::LoadIconW(nullptr, IDI_QUESTION)) return TBoxIcon::Question;
    return TBoxIcon::Other;
}

}  // namespace

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return Narrow(name);
}

std::string TextOf(HWND window) {
    std::string text = WindowText(window), out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

BoxAnswerer::BoxAnswerer(int answer) : answer_(answer) {
    current = this;
    timer_ = ::SetTimer(nullptr, 0, 20, Tick);
}

BoxAnswerer::~BoxAnswerer() {
    ::KillTimer(nullptr, timer_);
    current = nullptr;
}

std::vector<std::string> BoxAnswerer::Texts() const {
    std::vector<std::string> texts;
    for (const SeenBox& box : Seen) texts.push_back(box.Text);
    return texts;
}

void CALLBACK BoxAnswerer::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current) current->Poll();
}

void BoxAnswerer::Poll() {
    // Answered from inside the modal window's own loop, which ends before the next tick.
    for (HWND modal : ShownModals()) {
        SeenBox seen;
        seen.Title = TextOf(modal);
        seen.IsMessageBox = ClassOf(modal) == "#32770";
        HWND press = nullptr, ok = nullptr, no = nullptr;
        for (HWND child : Children(modal)) {
            std::string name = ClassOf(child);
            LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
            if (name == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
                seen.Icon = IconOf(child);
            } else if (name == "Static" && seen.IsMessageBox && seen.Text.empty()) {
                seen.Text = TextOf(child);
            } else if (name == "Button") {
                int id = ::GetDlgCtrlID(child);
                seen.Buttons.push_back(id);
                if (id == answer_) press = child;
                if (id == IDOK) ok = child;
                if (id == IDNO) no = child;
            }
        }
        Seen.push_back(seen);
        if (OnModal) OnModal(modal);
        // A question nobody chose an answer for keeps the work, as its default does.
        if (!press) press = ok ? ok : no;
        if (seen.IsMessageBox && press)
            ::SendMessageW(modal, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(press), BN_CLICKED),
                           reinterpret_cast<LPARAM>(press));
        else
            ::SendMessageW(modal, WM_CLOSE, 0, 0);
    }
}

}  // namespace nb::test
