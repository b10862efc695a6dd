#include "app/gui/Banner.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/gui/Style.h"

namespace nb {

namespace {

void DrawOffice(QPainter& p, const QRectF& body) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x4a, 0x7a));
    p.drawRect(body);
    p.setBrush(QColor(0xff, 0xe0, 0x8a));
    const qreal w = 7, h = 6, gapX = 5, gapY = 6;
    for (qreal y = body.top() + 6; y + h < body.bottom() - 4; y += h + gapY)
        for (qreal x = body.left() + 5; x + w <= body.right() - 4; x += w + gapX) p.drawRect(QRectF(x, y, w, h));
}

void DrawHome(QPainter& p, const QRectF& body) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf4, 0xf1, 0xe8));
    p.drawRect(body);
    QPainterPath roof;
    roof.moveTo(body.left() - 6, body.top());
    roof.lineTo(body.center().x(), body.top() - body.height() * 0.55);
    roof.lineTo(body.right() + 6, body.top());
    roof.closeSubpath();
    p.setBrush(QColor(0xc0, 0x39, 0x2b));
    p.drawPath(roof);
    p.setBrush(QColor(0x8e, 0x5b, 0x34));
    p.drawRect(QRectF(body.center().x() - 5, body.bottom() - 16, 10, 16));
    p.setBrush(QColor(0xff, 0xe0, 0x8a));
    p.drawRect(QRectF(body.left() + 5, body.top() + 7, 9, 8));
    p.drawRect(QRectF(body.right() - 14, body.top() + 7, 9, 8));
}

// An arch from (x0, y) to (x1, y) rising by rise, with deck and hangers.
void DrawBridge(QPainter& p, qreal x0, qreal x1, qreal y, qreal rise, qreal width) {
    QPainterPath arch;
    arch.moveTo(x0, y);
    arch.quadTo((x0 + x1) / 2, y - 2 * rise, x1, y);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xff, 0xff, 0xff), width, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arch);
    p.setPen(QPen(QColor(0xff, 0xff, 0xff, 200), width / 3));
    for (int i = 1; i < 8; ++i) {
        qreal t = i / 8.0;
        QPointF top = arch.pointAtPercent(t);
        p.drawLine(top, QPointF(top.x(), y));
    }
    p.setPen(QPen(QColor(0xff, 0xff, 0xff), width * 0.8, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(x0, y), QPointF(x1, y));
}

}  // namespace

QImage DrawBanner(double scale) {
    QImage image(qRound(BannerWidth * scale), qRound(BannerHeight * scale), QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(image.width() / qreal(BannerWidth), image.height() / qreal(BannerHeight));

    QLinearGradient sky(0, 0, 0, BannerHeight);
    sky.setColorAt(0, QColor(0x1e, 0x5a, 0xa8));
    sky.setColorAt(0.75, QColor(0x7f, 0xb8, 0xe6));
    sky.setColorAt(1, QColor(0xc8, 0xe4, 0xf5));
    p.fillRect(QRectF(0, 0, BannerWidth, BannerHeight), sky);

    const qreal ground = 150;
    p.fillRect(QRectF(0, ground, BannerWidth, BannerHeight - ground), QColor(0x3f, 0x8f, 0x4a));

    DrawOffice(p, QRectF(18, 82, 52, ground - 82));
    DrawHome(p, QRectF(205, 118, 50, ground - 118));
    DrawBridge(p, 70, 205, 118, 30, 3);

    // Data travelling over the bridge.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd3, 0x4d));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(98 + i * 20, 111), 3, 3);

    QFont title = WindowFont();
    title.setPixelSize(26);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0xff, 0xff, 0xff));
    p.drawText(QRectF(0, 10, BannerWidth, 32), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Nestbridge"));
    QFont subtitle = WindowFont();
    subtitle.setPixelSize(13);
    subtitle.setBold(true);
    p.setFont(subtitle);
    p.setPen(QColor(0xe8, 0xf2, 0xfb));
    p.drawText(QRectF(0, 42, BannerWidth, 20), Qt::AlignHCenter | Qt::AlignVCenter,
               QString::fromUtf8("사무실과 집을 잇는 자료 다리"));
    return image;
}

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1e, 0x5a, 0xa8));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.setBrush(QColor(0x3f, 0x8f, 0x4a));
    p.drawRect(QRectF(2, 46, 60, 6));
    DrawBridge(p, 10, 54, 44, 14, 4);
    p.setBrush(QColor(0xff, 0xd3, 0x4d));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(22 + i * 10, 39), 2.5, 2.5);
    return image;
}

TImage::TImage(QWidget* parent) : QLabel(parent) {}

void TImage::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}

}  // namespace nb
