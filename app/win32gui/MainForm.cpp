#include "app/win32gui/MainForm.h"

namespace nb {

TMainForm::TMainForm(TForm1Environment environment) : core_(window_, std::move(environment)), about_(window_.Handle()) {
    window_.OnBackupClick = [this] {
        if (!core_.Busy()) core_.PressBackup();
    };
    window_.OnRestoreClick = [this] {
        if (!core_.Busy()) core_.PressRestore();
    };
    window_.OnImage1Click = [this] { Image1Click(); };
    window_.OnRestoreGenerationClick = [this](int32_t generation) {
        if (!core_.Busy()) core_.PressRestoreGeneration(generation);
    };
    window_.OnUndoDownloadClick = [this] {
        if (!core_.Busy()) core_.PressUndoDownload();
    };
    core_.FormCreate();
}

void TMainForm::Show() { window_.Show(); }

int TMainForm::Run() {
    window_.OnClosed = [] { ::PostQuitMessage(0); };
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(window_.Handle(), &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

void TMainForm::Image1Click() { about_.ShowModal(); }

}  // namespace nb
