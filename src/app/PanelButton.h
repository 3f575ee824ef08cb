#pragma once

#include <QLabel>

namespace velkor {

// A raised panel with a centred caption that reports clicks, like the port
// selector panels of the connection bar. A disabled panel ignores clicks.
class PanelButton : public QLabel {
    Q_OBJECT
public:
    explicit PanelButton(const QString& caption, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

} // namespace velkor
