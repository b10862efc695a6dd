#include "app/win32gui/Style.h"

#include <commctrl.h>

#include <algorithm>

#include "app/FormTexts.h"
#include "platform/win32/Win32.h"

namespace nb {

namespace {

constexpr const wchar_t* LabelColourProperty = L"NestbridgeTextColour";
constexpr const wchar_t* WordWrapProperty = L"NestbridgeWordWrap";

// Lays a label's text out: lines broken at "\n" and, with word wrap, at the last blank that
// fits the width; they follow each other at the pitch of the 12-pixel Hangul font the window
// was made for, whatever font substitutes for it. Draws when a rectangle is given; answers the
// size the text takes.
SIZE LayOutLabel(HDC dc, const std::wstring& text, int width, bool wordWrap, const RECT* draw) {
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    const int pitch = std::min<int>(metrics.tmHeight, Scale(13));
    int y = 0, widest = 0, lines = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring paragraph = text.substr(start, end - start);
        do {
            size_t take = paragraph.size();
            SIZE extent{};
            if (wordWrap && width > 0) {
                int fit = 0;
                ::GetTextExtentExPointW(dc, paragraph.c_str(), static_cast<int>(paragraph.size()), width, &fit, nullptr,
                                        &extent);
                if (static_cast<size_t>(fit) < paragraph.size()) {
                    size_t blank = paragraph.rfind(L' ', static_cast<size_t>(fit));
                    take = blank != std::wstring::npos && blank > 0 ? blank : std::max(fit, 1);
                }
            }
            const bool broken = take < paragraph.size();
            std::wstring line = paragraph.substr(0, take);
            ::GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &extent);
            widest = std::max<int>(widest, extent.cx);
            if (draw)
                ::ExtTextOutW(dc, draw->left, draw->top + y, ETO_CLIPPED, draw, line.c_str(),
                              static_cast<UINT>(line.size()), nullptr);
            y += pitch;
            ++lines;
            paragraph.erase(0, take);
            if (broken)
                while (!paragraph.empty() && paragraph.front() == L' ') paragraph.erase(0, 1);
        } while (!paragraph.empty());
        start = end + 1;
    }
    // The last line's descent reaches below its pitch.
    return {widest, lines > 0 ? y - pitch + metrics.tmHeight : 0};
}

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
            // The window that owns the controls decides what they do.
            return ::SendMessageW(::GetParent(panel), message, wParam, lParam);
        case WM_CTLCOLORSTATIC:
            return LabelColours(panel, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM: return DrawLabel(panel, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = ::BeginPaint(panel, &paint);
            wchar_t name[32] = {};
            ::GetClassNameW(panel, name, 32);
            if (std::wstring(name) == BevelPanelClass) {
                RECT r;
                ::GetClientRect(panel, &r);
                // Lowered outside, raised inside.
                ::DrawEdge(dc, &r, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
            }
            ::EndPaint(panel, &paint);
            return 0;
        }
        default: return ::DefWindowProcW(panel, message, wParam, lParam);
    }
}

TFontHandle MakeFont(bool bold) {
    LOGFONTW font{};
    font.lfHeight = -Scale(12);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = HANGEUL_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    wcscpy_s(font.lfFaceName, L"\uad74\ub9bc");  // 굴림
    return TFontHandle(::CreateFontIndirectW(&font));
}

}  // namespace

int DisplayDpi() {
    static const int dpi = [] {
        HDC screen = ::GetDC(nullptr);
        int value = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ::ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

int Scale(int pixels) { return ::MulDiv(pixels, DisplayDpi(), 96); }

HFONT WindowFont(bool bold) {
    static const TFontHandle regular = MakeFont(false);
    static const TFontHandle heavy = MakeFont(true);
    return bold ? heavy.get() : regular.get();
}

const std::wstring& ApplicationTitle() {
    static const std::wstring title = Widen(texts::ApplicationTitle);
    return title;
}

void RegisterWindowClasses(HINSTANCE instance) {
    static const bool registered = [instance] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        for (const wchar_t* name : {PanelClass, BevelPanelClass})
            RegisterWindowClass(instance, name, PanelProc, COLOR_BTNFACE);
        return true;
    }();
    (void)registered;
}

bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int background, HICON icon) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = procedure;
    type.hInstance = instance;
    type.hIcon = icon;
    type.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background + 1));
    type.lpszClassName = name;
    return ::RegisterClassExW(&type) != 0;
}

void SetLabelColour(HWND label, COLORREF colour) {
    // Stored plus one, so that black is not mistaken for "no colour".
    ::SetPropW(label, LabelColourProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(colour) + 1));
}

LRESULT LabelColours(HWND parent, HDC dc, HWND label) {
    auto stored = reinterpret_cast<UINT_PTR>(::GetPropW(label, LabelColourProperty));
    ::SetTextColor(dc, stored ? static_cast<COLORREF>(stored - 1) : ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkMode(dc, TRANSPARENT);
    auto background = static_cast<UINT_PTR>(::GetClassLongPtrW(parent, GCLP_HBRBACKGROUND));
    // A class brush given as a system colour index plus one.
    if (background > 0 && background <= COLOR_MENUBAR + 1)
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(static_cast<int>(background - 1)));
    return static_cast<LRESULT>(background);
}

std::wstring Widen(const std::string& utf8) { return win32::Widen(utf8); }
std::string Narrow(const std::wstring& wide) { return win32::Narrow(wide); }

std::string WindowText(HWND window) {
    int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return Narrow(text);
}

HWND CreateChild(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int x, int y, int width,
                 int height, int id, DWORD exStyle, HFONT font) {
    HWND child =
        ::CreateWindowExW(exStyle, className, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, Scale(x), Scale(y),
                          Scale(width), Scale(height), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : WindowFont()), FALSE);
    return child;
}

HWND CreateLabel(HWND parent, const std::string& text, int x, int y, int width, int height, bool wordWrap, HFONT font) {
    if (!font) font = WindowFont();
    HWND label = CreateChild(parent, L"Static", text, SS_OWNERDRAW, x, y, width, height, 0, 0, font);
    if (wordWrap) ::SetPropW(label, WordWrapProperty, reinterpret_cast<HANDLE>(1));
    // Grow to what the text needs in this font; never shrink below the given size.
    HDC dc = ::GetDC(label);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE need = LayOutLabel(dc, Widen(text), Scale(width), wordWrap, nullptr);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    int w = wordWrap ? Scale(width) : std::max<int>(need.cx, Scale(width));
    int h = std::max<int>(need.cy, Scale(height));
    ::SetWindowPos(label, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return label;
}

bool DrawLabel(HWND parent, const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_STATIC) return false;
    auto brush = reinterpret_cast<HBRUSH>(LabelColours(parent, item.hDC, item.hwndItem));
    ::FillRect(item.hDC, &item.rcItem, brush);
    auto font = reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(item.hDC, font ? font : WindowFont());
    RECT r;
    ::GetClientRect(item.hwndItem, &r);
    bool wordWrap = ::GetPropW(item.hwndItem, WordWrapProperty) != nullptr;
    LayOutLabel(item.hDC, Widen(WindowText(item.hwndItem)), r.right, wordWrap, &r);
    ::SelectObject(item.hDC, old);
    return true;
}

void CentreOnScreen(HWND window) {
    RECT work{}, frame{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(window, &frame);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int x = work.left + (work.right - work.left - width) / 2;
    int y = work.top + (work.bottom - work.top - height) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetClientSize(HWND window, int width, int height) {
    RECT r{0, 0, Scale(width), Scale(height)};
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
    ::SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace nb
