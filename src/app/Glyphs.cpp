#include "app/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velkor {

namespace {

// Every glyph is drawn on a 16 x 16 grid and rendered at a few sizes.
constexpr qreal kGrid = 16;
const QColor kArrowBlue(0, 0, 200);

void doubleArrow(QPainter& p, bool left, qreal x) {
    p.setPen(Qt::NoPen);
    p.setBrush(kArrowBlue);
    for (int i = 0; i < 2; ++i) {
        const qreal x0 = x + i * 5;
        QPainterPath t;
        if (left) {
            t.moveTo(x0, 8);
            t.lineTo(x0 + 5, 3);
            t.lineTo(x0 + 5, 13);
        } else {
            t.moveTo(x0 + 5, 8);
            t.lineTo(x0, 3);
            t.lineTo(x0, 13);
        }
        t.closeSubpath();
        p.drawPath(t);
    }
}

void magnifier(QPainter& p, bool plus) {
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(QColor(220, 240, 255));
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    p.setPen(QPen(QColor(128, 64, 0), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    p.setPen(QPen(Qt::black, 1.5));
    p.drawLine(QPointF(3.5, 6), QPointF(8.5, 6));
    if (plus) {
        p.drawLine(QPointF(6, 3.5), QPointF(6, 8.5));
    }
}

void paintGlyph(QPainter& p, Glyph glyph) {
    p.setRenderHint(QPainter::Antialiasing);
    switch (glyph) {
    case Glyph::Close:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(160, 110, 60));
        p.drawRect(QRectF(2.5, 1.5, 7, 13));
        p.setPen(QPen(QColor(0, 128, 0), 2));
        p.drawLine(QPointF(8, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 5.5), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 10.5), QPointF(14.5, 8));
        break;
    case Glyph::NewPage: {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        QPainterPath page;
        page.moveTo(3.5, 1.5);
        page.lineTo(10, 1.5);
        page.lineTo(13.5, 5);
        page.lineTo(13.5, 14.5);
        page.lineTo(3.5, 14.5);
        page.closeSubpath();
        p.drawPath(page);
        p.drawLine(QPointF(10, 1.5), QPointF(10, 5));
        p.drawLine(QPointF(10, 5), QPointF(13.5, 5));
        break;
    }
    case Glyph::OpenFolder: {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(1.5, 4.5, 11, 9));
        QPainterPath flap;
        flap.moveTo(1.5, 13.5);
        flap.lineTo(4.5, 7.5);
        flap.lineTo(15, 7.5);
        flap.lineTo(12.5, 13.5);
        flap.closeSubpath();
        p.setBrush(QColor(255, 230, 140));
        p.drawPath(flap);
        break;
    }
    case Glyph::Floppy:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(40, 40, 140));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(190, 190, 190));
        p.drawRect(QRectF(4.5, 9.5, 7, 5));
        break;
    case Glyph::Printer:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(180, 180, 180));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        break;
    case Glyph::First:
        p.fillRect(QRectF(2, 3, 2, 10), kArrowBlue);
        doubleArrow(p, true, 4);
        break;
    case Glyph::Previous: doubleArrow(p, true, 3); break;
    case Glyph::Next: doubleArrow(p, false, 3); break;
    case Glyph::Last:
        doubleArrow(p, false, 2);
        p.fillRect(QRectF(12, 3, 2, 10), kArrowBlue);
        break;
    case Glyph::ZoomIn: magnifier(p, true); break;
    case Glyph::ZoomOut: magnifier(p, false); break;
    }
}

} // namespace

QIcon glyphIcon(Glyph glyph) {
    QIcon icon;
    for (const int size : {16, 24, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.scale(size / kGrid, size / kGrid);
        paintGlyph(p, glyph);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace velkor
