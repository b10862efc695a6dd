#include "app/gui/Unit2.h"

#include <QPainter>
#include <algorithm>
#include <qdrawutil.h>

#include "app/FormLayout.h"
#include "app/FormTexts.h"
#include "app/gui/Style.h"

namespace nb {

namespace {

using namespace form2;

const QColor Maroon(0x80, 0x00, 0x00);
const QColor Red(0xff, 0x00, 0x00);

void SetupLabel(QLabel& label, const char* name, const char* text, const QColor* colour) {
    label.setObjectName(QString::fromLatin1(name));
    label.setTextFormat(Qt::PlainText);
    label.setText(QString::fromUtf8(text));
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (colour) {
        QPalette palette = label.palette();
        palette.setColor(QPalette::WindowText, *colour);
        label.setPalette(palette);
    }
}

void AutoSizeLabel(QLabel& label, QPoint position) {
    label.move(position);
    label.adjustSize();
}

// A label of a given size; where the font needs more room than that, it grows rather than clip.
void SizedLabel(QLabel& label, const QRect& geometry) {
    int width = geometry.width();
    int height = label.wordWrap() ? label.heightForWidth(width) : label.sizeHint().height();
    if (!label.wordWrap()) width = std::max(width, label.sizeHint().width());
    label.setGeometry(geometry.x(), geometry.y(), width, std::max(geometry.height(), height));
}

}  // namespace

void TBevelPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Lowered outer bevel, raised inner bevel.
    qDrawShadePanel(&painter, rect(), palette(), true, 1);
    qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), palette(), false, 1);
}

TForm2::TForm2() {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString::fromUtf8(texts::Form2Caption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    setFont(WindowFont());
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setSizeGripEnabled(false);

    Strip.setObjectName(QStringLiteral("Panel2"));
    Strip.setGeometry(BorderWidth, BorderWidth, ClientWidth - 2 * BorderWidth, StripHeight);
    Panel1.setObjectName(QStringLiteral("Panel1"));
    Panel1.setGeometry(BorderWidth, BorderWidth + StripHeight, ClientWidth - 2 * BorderWidth,
                       ClientHeight - 2 * BorderWidth - StripHeight);

    SetupLabel(Label1, "Label1", texts::Label1Text, &Maroon);
    AutoSizeLabel(Label1, {8, 12});
    SetupLabel(Label5, "Label5", texts::Label5Text, nullptr);
    Label5.setWordWrap(true);
    SizedLabel(Label5, {18, 28, 304, 72});
    SetupLabel(Label2, "Label2", texts::Label2Text, &Maroon);
    AutoSizeLabel(Label2, {8, 109});
    SetupLabel(Label10, "Label10", texts::Label10Text, nullptr);
    SizedLabel(Label10, {18, 125, 318, 60});
    SetupLabel(Label3, "Label3", texts::Label3Text, &Red);
    AutoSizeLabel(Label3, {8, 196});
    SetupLabel(Label8, "Label8", texts::Label8Text, &Red);
    SizedLabel(Label8, {18, 213, 302, 48});
}

void TForm2::showEvent(QShowEvent* event) {
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

}  // namespace nb
