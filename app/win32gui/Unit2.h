#pragma once
// The About window: a fixed text describing the service, shown modally from the banner.
#include <windows.h>

#include "app/win32gui/Style.h"

namespace nb {

class TForm2 {
public:
    // Created hidden, owned by owner (the main window), which it disables while it is shown.
    explicit TForm2(HWND owner);
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    // Shows the window and returns once its close box has closed it.
    void ShowModal();
    bool Modal() const { return modal_; }
    HWND Handle() const { return form_.get(); }

    HWND Strip = nullptr;
    HWND Panel1 = nullptr;
    HWND Label1 = nullptr;
    HWND Label5 = nullptr;
    HWND Label2 = nullptr;
    HWND Label10 = nullptr;
    HWND Label3 = nullptr;
    HWND Label8 = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND owner_;
    TWindowHandle form_;
    bool modal_ = false;
};

}  // namespace nb
