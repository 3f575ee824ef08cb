#include "app/LcdPicture.h"

#include "app/WindowFonts.h"

#include <QPainter>
#include <QPainterPath>

namespace velkor {

namespace {

// Design grids: each picture is drawn in these logical units.
QSizeF designSize(LcdPicture::Kind kind) {
    switch (kind) {
    case LcdPicture::Kind::Send: return {36, 29};
    case LcdPicture::Kind::Relative: return {24, 24};
    case LcdPicture::Kind::EF: return {24, 25};
    case LcdPicture::Kind::LinkLit:
    case LcdPicture::Kind::LinkDark: return {25, 24};
    case LcdPicture::Kind::Power: return {28, 29};
    }
    return {24, 24};
}

void triangle(QPainter& p, const QRectF& r) {
    QPainterPath path;
    path.moveTo(r.center().x(), r.top());
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.drawPath(path);
}

void letters(QPainter& p, const QRectF& r, const QString& text, int pixelSize) {
    p.save();
    p.setFont(symbolFont(pixelSize, true));
    p.drawText(r, Qt::AlignCenter, text);
    p.restore();
}

void paintSend(QPainter& p) {
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4, 1, 28, 20), 2, 2); // screen
    p.setBrush(Qt::black);
    p.drawRect(QRectF(15, 22, 6, 3));   // neck
    p.drawRect(QRectF(9, 25.5, 18, 2)); // foot
    letters(p, QRectF(4, 0, 28, 21), QStringLiteral("S"), 18);
}

void paintLink(QPainter& p, bool lit) {
    // The computer on the left.
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(0.5, 3.5, 12, 9));
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(QRectF(2.5, 5.5, 8, 5));
    p.setBrush(Qt::black);
    p.drawRect(QRectF(4.5, 13.5, 4, 2));
    p.drawRect(QRectF(1.5, 16.5, 10, 2));
    // The cable.
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(7, 19), QPointF(7, 22));
    p.drawLine(QPointF(7, 22), QPointF(19, 22));
    p.drawLine(QPointF(19, 22), QPointF(19, 20));
    // The meter on the right.
    p.setBrush(QColor(255, 200, 0));
    p.drawRoundedRect(QRectF(14.5, 1.5, 9, 18), 1.5, 1.5);
    p.setBrush(lit ? QColor(120, 255, 80) : QColor(64, 64, 64));
    p.drawRect(QRectF(16, 3.5, 6, 4));
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(19, 13), 2.5, 2.5);
}

void paintPower(QPainter& p) {
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::white);
    const QRectF dial(3, 4, 22, 22);
    p.drawEllipse(dial);
    // Scale marks along the upper half.
    p.setPen(QPen(Qt::black, 1.2));
    for (int i = 0; i <= 4; ++i) {
        p.save();
        p.translate(dial.center());
        p.rotate(-135 + i * 67.5);
        p.drawLine(QPointF(0, -9.5), QPointF(0, -7));
        p.restore();
    }
    // The needle, pointing up and to the right.
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(dial.center(), dial.center() + QPointF(5.5, -6.5));
    p.setBrush(Qt::black);
    p.drawEllipse(dial.center(), 2, 2);
}

} // namespace

LcdPicture::LcdPicture(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {}

void LcdPicture::paint(QPainter& p, Kind kind, const QRectF& target) {
    const QSizeF design = designSize(kind);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(target.topLeft());
    p.scale(target.width() / design.width(), target.height() / design.height());
    switch (kind) {
    case Kind::Send: paintSend(p); break;
    case Kind::Relative:
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(Qt::NoBrush);
        triangle(p, QRectF(3, 3, 18, 18));
        break;
    case Kind::EF:
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(Qt::NoBrush);
        triangle(p, QRectF(1, 1, 22, 23));
        letters(p, QRectF(1, 10, 22, 14), QStringLiteral("EF"), 8);
        break;
    case Kind::LinkLit: paintLink(p, true); break;
    case Kind::LinkDark: paintLink(p, false); break;
    case Kind::Power: paintPower(p); break;
    }
    p.restore();
}

void LcdPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The dark link mark is the same picture shown in a shorter area: it
    // keeps the picture's own size and is cut at the bottom.
    const QSizeF design = designSize(kind_);
    const QRectF target = kind_ == Kind::LinkDark ? QRectF(QPointF(0, 0), design) : QRectF(rect());
    paint(p, kind_, target);
}

} // namespace velkor
