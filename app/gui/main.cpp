// nestbridge: the desktop program. It takes no options.
#include <QApplication>

#include "app/FormTexts.h"
#include "app/gui/MainForm.h"
#include "app/gui/Style.h"

int main(int argc, char* argv[]) {
    // The core's creation settles a download a crash cut short, before the window shows.
    QApplication application(argc, argv);
    nb::SetApplicationTitle(QString::fromUtf8(nb::texts::ApplicationTitle));
    nb::TMainForm form;
    form.Show();
    return application.exec();
}
