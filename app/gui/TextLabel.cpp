#include "app/gui/TextLabel.h"

#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace nb {

namespace {
constexpr int Unbounded = 1 << 20;
}

TTextLabel::TTextLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setForegroundRole(QPalette::WindowText);
}

int TTextLabel::LinePitch() const {
    QFontMetrics metrics(font());
    int size = font().pixelSize() > 0 ? font().pixelSize() : metrics.height();
    return std::min(metrics.lineSpacing(), size + 1);
}

QSize TTextLabel::sizeHint() const { return Layout(wordWrap() ? width() : Unbounded, nullptr); }

int TTextLabel::heightForWidth(int width) const { return Layout(width, nullptr).height(); }

void TTextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    Layout(wordWrap() ? width() : Unbounded, &painter);
}

QSize TTextLabel::Layout(int width, QPainter* painter) const {
    const int pitch = LinePitch();
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(wordWrap() ? QTextOption::WordWrap : QTextOption::NoWrap);
    int y = 0;
    qreal widest = 0;
    for (const QString& paragraph : text().split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            widest = std::max(widest, line.naturalTextWidth());
            y += pitch;
        }
        layout.endLayout();
        if (painter) layout.draw(painter, QPointF(0, 0));
    }
    // The last line's descent reaches below its pitch.
    int height = y > 0 ? y - pitch + QFontMetrics(font()).height() : 0;
    return {static_cast<int>(std::ceil(widest)), height};
}

}  // namespace nb
