#pragma once

#include <QBrush>
#include <QPen>
#include <QWidget>

namespace velkor {

// A drawn shape filling the widget: a circle (the judge's result disc) or a
// square (the display's decimal points).
class ShapeWidget : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Circle, Square };

    ShapeWidget(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    QBrush brush() const { return brush_; }
    void setBrush(const QBrush& brush);
    QPen pen() const { return pen_; }
    void setPen(const QPen& pen);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
    QBrush brush_{Qt::white};
    QPen pen_{Qt::black};
};

} // namespace velkor
