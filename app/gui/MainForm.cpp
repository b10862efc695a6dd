#include "app/gui/MainForm.h"

namespace nb {

TMainForm::TMainForm(TForm1Environment environment) : core_(window_, std::move(environment)) {
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

void TMainForm::Show() { window_.show(); }

void TMainForm::Image1Click() { about_.exec(); }

}  // namespace nb
