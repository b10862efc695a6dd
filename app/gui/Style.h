#pragma once
// What both windows share: the font, the application's title and centring.
#include <QFont>
#include <QString>
#include <string>

class QWidget;

namespace nb {

// "Gulim" at 12 pixels; where Gulim is not installed, NanumGothic draws the Hangul.
QFont WindowFont();
// Sets the application title that captions the message boxes and installs the program icon.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();
void CentreOnScreen(QWidget& window);

inline QString FromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace nb
