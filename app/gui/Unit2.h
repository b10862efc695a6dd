#pragma once
// The About window: a fixed text describing the service, shown modally from the banner.
#include <QDialog>
#include "app/gui/TextLabel.h"
#include <QWidget>

namespace nb {

// The panel with the raised inner and lowered outer bevel.
class TBevelPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2();

    QWidget Strip{this};
    TBevelPanel Panel1{this};
    TTextLabel Label1{&Panel1};
    TTextLabel Label5{&Panel1};
    TTextLabel Label2{&Panel1};
    TTextLabel Label10{&Panel1};
    TTextLabel Label3{&Panel1};
    TTextLabel Label8{&Panel1};

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace nb
