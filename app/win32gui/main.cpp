// nestbridge.exe: the desktop program. It takes no options.
#include <windows.h>

#include "app/StartupRecovery.h"
#include "app/win32gui/MainForm.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A download cut short by a crash is settled before anything else runs.
    const std::string notice = nb::RecoveryNotice(nb::RecoverInterruptedSwap());
    try {
        nb::RegisterWindowClasses(instance);
        nb::TMainForm form;
        form.Show();
        if (!notice.empty()) form.Window().ShowMessage(notice);
        return form.Run();
    } catch (const std::exception& e) {
        ::MessageBoxW(nullptr, nb::Widen(nb::ApplicationErrorText(e.what())).c_str(), nb::ApplicationTitle().c_str(),
                      MB_OK | MB_ICONSTOP);
        return 1;
    }
}
