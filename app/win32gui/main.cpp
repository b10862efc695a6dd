// nestbridge.exe: the desktop program. It takes no options.
#include <windows.h>

#include "app/win32gui/MainForm.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The core's creation settles a download a crash cut short, before the window shows.
    try {
        nb::RegisterWindowClasses(instance);
        nb::TMainForm form;
        form.Show();
        return form.Run();
    } catch (const std::exception& e) {
        ::MessageBoxW(nullptr, nb::Widen(nb::ApplicationErrorText(e.what())).c_str(), nb::ApplicationTitle().c_str(),
                      MB_OK | MB_ICONSTOP);
        return 1;
    }
}
