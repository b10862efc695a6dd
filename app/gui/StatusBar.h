#pragma once
// A status bar of fixed-width panels, each a sunken bevel with one line of text.
#include <QString>
#include <QWidget>
#include <vector>

namespace nb {

class TStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);

    // Adds a panel; width 0 stretches it to the right edge.
    void AddPanel(int width);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    QRect PanelRect(int index) const;

signals:
    void panelTextChanged(int index, const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Panel {
        int Width = 0;
        QString Text;
    };
    std::vector<Panel> panels_;
};

}  // namespace nb
