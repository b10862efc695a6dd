#include "BoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>

namespace nb::test {

BoxAnswerer::BoxAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
}

BoxAnswerer::~BoxAnswerer() { timer_.stop(); }

std::vector<QString> BoxAnswerer::Texts() const {
    std::vector<QString> texts;
    for (const SeenBox& box : Seen) texts.push_back(box.Text);
    return texts;
}

void BoxAnswerer::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    SeenBox seen;
    seen.Title = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.IsMessageBox = true;
        seen.Text = box->text();
        seen.Icon = box->icon();
        seen.Buttons = box->standardButtons();
    }
    Seen.push_back(seen);
    if (OnModal) OnModal(*modal);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        QAbstractButton* button = box->button(answer_);
        if (!button) button = box->button(QMessageBox::Ok);
        if (button) {
            button->click();
            return;
        }
    }
    modal->close();
}

}  // namespace nb::test
