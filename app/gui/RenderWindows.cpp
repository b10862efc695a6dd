// Draws both windows into PNG files, for people to look at (scripts/render-windows.sh).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "app/gui/Style.h"
#include "app/gui/Unit1Window.h"
#include "app/gui/Unit2.h"

namespace {

bool Save(QWidget& window, const QString& path) {
    window.show();
    QCoreApplication::processEvents();
    bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: nestbridge-render OUTPUT-FOLDER\n");
        return 2;
    }
    nb::SetApplicationTitle(QStringLiteral("Nestbridge"));
    QDir folder(QString::fromLocal8Bit(argv[1]));
    bool ok = true;

    nb::TForm1Window form1;
    form1.SetUserIDText("HOSTID");  // what a first start shows
    ok &= Save(form1, folder.filePath(QStringLiteral("form1.png")));

    // The same window in the middle of an upload.
    form1.SetPasswordText("secret");
    form1.SetStatusText("Uploade speed 612.48 KB/s");
    form1.SetProgressPosition(40);
    form1.btnBackupWizard.setEnabled(false);
    form1.btnRestoreWizard.setEnabled(false);
    form1.Image1.setEnabled(false);
    ok &= Save(form1, folder.filePath(QStringLiteral("form1-upload.png")));
    form1.hide();

    nb::TForm2 form2;
    ok &= Save(form2, folder.filePath(QStringLiteral("form2.png")));
    return ok ? 0 : 1;
}
