// nestbridge: the desktop program. It takes no options.
#include <QApplication>

#include "app/FormTexts.h"
#include "app/StartupRecovery.h"
#include "app/gui/MainForm.h"
#include "app/gui/Style.h"

int main(int argc, char* argv[]) {
    // A download cut short by a crash is settled before anything else runs.
    const std::string notice = nb::RecoveryNotice(nb::RecoverInterruptedSwap());
    QApplication application(argc, argv);
    nb::SetApplicationTitle(QString::fromUtf8(nb::texts::ApplicationTitle));
    nb::TMainForm form;
    form.Show();
    if (!notice.empty()) form.Window().ShowMessage(notice);
    return application.exec();
}
