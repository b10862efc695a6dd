#pragma once
// The main window with its core attached, and the About window it opens.
#include "app/Unit1.h"
#include "app/win32gui/Unit1Window.h"
#include "app/win32gui/Unit2.h"

namespace nb {

class TMainForm {
public:
    explicit TMainForm(TForm1Environment environment = {});
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    void Show();
    // Serves the message loop until the main window has been closed; answers the exit code.
    int Run();

    TForm1Window& Window() { return window_; }
    TForm1& Core() { return core_; }
    TForm2& About() { return about_; }

private:
    void Image1Click();

    TForm1Window window_;
    TForm1 core_;
    TForm2 about_;
};

}  // namespace nb
