#pragma once
// The banner picture and the program icon, drawn by the program itself.
#include <QImage>
#include <QLabel>

namespace nb {

constexpr int BannerWidth = 275;
constexpr int BannerHeight = 169;

// Office and home joined by a bridge that carries the data, with the service's name; scale
// enlarges it for a display with more pixels per inch (1.5: 413 x 254).
QImage DrawBanner(double scale = 1.0);
// The bridge motif alone, square.
QImage DrawAppIcon(int size);

// A picture that reports a click (press and release inside it) while it is enabled.
class TImage : public QLabel {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

}  // namespace nb
