// nestbridge: the desktop program. It takes no options.
#include <QApplication>

#include "app/gui/MainForm.h"
#include "app/gui/Style.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    nb::SetApplicationTitle(QStringLiteral("Nestbridge"));
    nb::TMainForm form;
    form.Show();
    return application.exec();
}
