#include "app/ShapeWidget.h"

#include <QPainter>

namespace velkor {

ShapeWidget::ShapeWidget(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {}

void ShapeWidget::setBrush(const QBrush& brush) {
    brush_ = brush;
    update();
}

void ShapeWidget::setPen(const QPen& pen) {
    pen_ = pen;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, kind_ == Kind::Circle);
    // The outline lies inside the widget, as a pen of width w drawn around
    // a rectangle inset by w/2.
    const qreal w = pen_.style() == Qt::NoPen ? 0.0 : pen_.widthF();
    const QRectF r = QRectF(rect()).adjusted(w / 2, w / 2, -w / 2, -w / 2);
    p.setPen(pen_);
    p.setBrush(brush_);
    if (kind_ == Kind::Circle) {
        p.drawEllipse(r);
    } else {
        p.drawRect(r);
    }
}

} // namespace velkor
