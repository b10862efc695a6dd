#pragma once
// Answers the modal windows a test provokes: records each one and closes it with a chosen button.
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

namespace nb::test {

struct SeenBox {
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
    bool IsMessageBox = false;
};

class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~BoxAnswerer();

    // Called with each modal window before it is answered (e.g. to look at the main window then).
    std::function<void(QWidget& modal)> OnModal;
    std::vector<SeenBox> Seen;
    std::vector<QString> Texts() const;

private:
    void Poll();
    QMessageBox::StandardButton answer_;
    QTimer timer_;
};

}  // namespace nb::test
