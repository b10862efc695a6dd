#pragma once
// A plain-text label whose lines follow each other at the pitch of the original 12-pixel
// Hangul font, so that multi-line texts keep to the room the windows give them whatever
// font substitutes for Gulim. The text itself stays exactly as set.
#include <QLabel>

namespace nb {

class TTextLabel : public QLabel {
public:
    explicit TTextLabel(QWidget* parent = nullptr);

    int LinePitch() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    bool hasHeightForWidth() const override { return wordWrap(); }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Lays the text out at the given width (wrapping only when word wrap is on), drawing it
    // when a painter is given; answers the size it takes.
    QSize Layout(int width, QPainter* painter) const;
};

}  // namespace nb
