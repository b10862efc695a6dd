#pragma once
// What both Win32 windows share: the display scale, the font, the colours, the panel and label
// controls, the application title and centring.
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace nb {

// A top-level window destroyed with its owner object (child windows go with their parent).
struct TWindowDestroyer {
    void operator()(HWND window) const {
        if (::IsWindow(window)) ::DestroyWindow(window);
    }
};
using TWindowHandle = std::unique_ptr<std::remove_pointer_t<HWND>, TWindowDestroyer>;

struct TGdiDeleter {
    void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
using TFontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, TGdiDeleter>;
using TBitmapHandle = std::unique_ptr<std::remove_pointer_t<HBITMAP>, TGdiDeleter>;
using TBrushHandle = std::unique_ptr<std::remove_pointer_t<HBRUSH>, TGdiDeleter>;

// Pixels per inch of the display the windows open on (the program declares itself DPI aware, so
// it lays itself out at this scale instead of being stretched).
int DisplayDpi();
// A length of the 96-dpi layout on this display.
int Scale(int pixels);

// "굴림" with the Hangul character set, 12 pixels high at 96 dpi (Windows substitutes where
// Gulim is missing); bold for the main window's labels.
HFONT WindowFont(bool bold = false);

// The application title that captions the message boxes.
const std::wstring& ApplicationTitle();

// Registers the window classes and the common controls once per process.
void RegisterWindowClasses(HINSTANCE instance);

// Registers a window class of ours: background a system colour (COLOR_...), the arrow cursor.
bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int background,
                         HICON icon = nullptr);

// Class names of the windows of our own.
inline constexpr const wchar_t* Form1Class = L"TForm1";
inline constexpr const wchar_t* Form2Class = L"TForm2";
// A borderless panel in the button-face colour; it hands its children's notifications to its
// parent. With raised set it draws a lowered outer and a raised inner bevel.
inline constexpr const wchar_t* PanelClass = L"TPanel";
inline constexpr const wchar_t* BevelPanelClass = L"TBevelPanel";

// Label text colours, kept with the label; the parent answers WM_CTLCOLORSTATIC from them.
void SetLabelColour(HWND label, COLORREF colour);
// The answer to WM_CTLCOLORSTATIC for a child of parent: its text colour, its parent's background.
LRESULT LabelColours(HWND parent, HDC dc, HWND label);

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string WindowText(HWND window);

// A child control at the 96-dpi rectangle (x, y, width, height), with the window font.
HWND CreateChild(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int x, int y, int width,
                 int height, int id = 0, DWORD exStyle = 0, HFONT font = nullptr);
// A label whose size follows its text (at least the given 96-dpi size); word wrap keeps the width.
// The window holding it draws it with DrawLabel on WM_DRAWITEM.
HWND CreateLabel(HWND parent, const std::string& text, int x, int y, int width = 0, int height = 0,
                 bool wordWrap = false, HFONT font = nullptr);

// Draws a label of parent's; false when the item is not a label.
bool DrawLabel(HWND parent, const DRAWITEMSTRUCT& item);

// Moves a top-level window so that its frame is centred on the primary display's work area.
void CentreOnScreen(HWND window);
// Sizes a top-level window so that its client area is the 96-dpi width x height.
void SetClientSize(HWND window, int width, int height);

}  // namespace nb
