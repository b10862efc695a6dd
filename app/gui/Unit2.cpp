#include "app/gui/Unit2.h"

#include <QPainter>
#include <algorithm>
#include <qdrawutil.h>

#include "app/gui/Style.h"

namespace nb {

namespace {

constexpr int ClientWidth = 349;
constexpr int ClientHeight = 282;
constexpr int BorderWidth = 4;
constexpr int StripHeight = 6;

const QColor Maroon(0x80, 0x00, 0x00);
const QColor Red(0xff, 0x00, 0x00);

const char* const Label5Text =
    "사무실에서 가온장부를 사용하여 업무관리를 하고  계시는 고객을 대상으로 업무마감 후 마감 내용을 집에서도 "
    "한번의 마우스 클릭으로 자동으로 볼 수 있도록 지원하며 불의의 사고로부터 자료를 안전하게 보관할 수 있도록 "
    "하는 백업 저장장소로 사용이 가능한 온라인 서비스를 말합니다.";
const char* const Label10Text =
    "1. 장부정리를 집에서 하시는 분\n"
    "2. 사무실에서 정리한 자료를 집에서 확인하고자 할 경우\n"
    "3. 이전에 디스켓으로 백업 후 집에서 자료를 확인하신 분들\n"
    "4. 불의의 사고에 대비하여 자료를 안전하게 보관하고자 \n"
    "    하시는 분들";
const char* const Label8Text =
    "1. 사무실과 집에서는 반드시 인터넷 사용이 가능하여야 \n"
    "    합니다.\n"
    "2. 사무실과  집에 같은 버전의 가온장부\n"
    "    프로그램이 설치되어 있어야 합니다.";

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
    setWindowTitle(QString::fromUtf8("네스트브리지서비스에 대하여"));
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

    SetupLabel(Label1, "Label1", "* 네스트브리지 서비스란 ?", &Maroon);
    AutoSizeLabel(Label1, {8, 12});
    SetupLabel(Label5, "Label5", Label5Text, nullptr);
    Label5.setWordWrap(true);
    SizedLabel(Label5, {18, 28, 304, 72});
    SetupLabel(Label2, "Label2", "* 이용가능 고객", &Maroon);
    AutoSizeLabel(Label2, {8, 109});
    SetupLabel(Label10, "Label10", Label10Text, nullptr);
    SizedLabel(Label10, {18, 125, 318, 60});
    SetupLabel(Label3, "Label3", "* 주의사항", &Red);
    AutoSizeLabel(Label3, {8, 196});
    SetupLabel(Label8, "Label8", Label8Text, &Red);
    SizedLabel(Label8, {18, 213, 302, 48});
}

void TForm2::showEvent(QShowEvent* event) {
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

}  // namespace nb
