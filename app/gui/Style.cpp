#include "app/gui/Style.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "app/gui/Banner.h"

namespace nb {

QFont WindowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Gulim"), QStringLiteral("NanumGothic")});
    font.setPixelSize(12);
    return font;
}

void SetApplicationTitle(const QString& title) {
    // The application name, not the display name: Qt would append a display name to every caption.
    QCoreApplication::setApplicationName(title);
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    QApplication::setWindowIcon(icon);
}

QString ApplicationTitle() { return QCoreApplication::applicationName(); }

void CentreOnScreen(QWidget& window) {
    QScreen* screen = window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

}  // namespace nb
