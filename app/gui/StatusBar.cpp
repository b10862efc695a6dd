#include "app/gui/StatusBar.h"

#include <QPainter>
#include <algorithm>
#include <qdrawutil.h>

namespace nb {

namespace {
constexpr int PanelGap = 2;
constexpr int PanelTop = 2;
constexpr int TextMargin = 3;
}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {}

void TStatusBar::AddPanel(int width) {
    panels_.push_back({width, {}});
    update();
}

QString TStatusBar::PanelText(int index) const {
    if (index < 0 || index >= PanelCount()) return {};
    return panels_[static_cast<size_t>(index)].Text;
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    if (index < 0 || index >= PanelCount()) return;
    panels_[static_cast<size_t>(index)].Text = text;
    // The workflows block between messages, so the new text is painted now rather than queued.
    repaint(PanelRect(index));
    emit panelTextChanged(index, text);
}

QRect TStatusBar::PanelRect(int index) const {
    int left = 0;
    for (int i = 0; i < PanelCount(); ++i) {
        const Panel& panel = panels_[static_cast<size_t>(i)];
        int width = panel.Width > 0 ? panel.Width : std::max(0, this->width() - left);
        if (i == index) return {left, PanelTop, width, height() - PanelTop};
        left += width + PanelGap;
    }
    return {};
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < PanelCount(); ++i) {
        QRect rect = PanelRect(i);
        qDrawShadePanel(&painter, rect, palette(), true, 1);
        QRect textRect = rect.adjusted(TextMargin, 1, -TextMargin, -1);
        QString text = fontMetrics().elidedText(PanelText(i), Qt::ElideRight, textRect.width());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

}  // namespace nb
