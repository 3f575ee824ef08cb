#include "app/LcdLabel.h"

#include "app/WindowFonts.h"
#include "meter/DisplaySymbols.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace velkor {

namespace {

const QColor kInk(0, 0, 0);
const QColor kUnlit(236, 236, 236);
// The battery sign. No font on the machine is expected to have it, so the
// label draws it as a pictogram.
const QString kBattery = QStringLiteral("\U0001F50B");

// Seven-segment glyphs as outlines at a fixed design size. "8" lights every
// segment and gives the cell that all digits share.
// Shaping text into outlines is slow, and a panel shows few texts: each
// outline is made once.
QPainterPath segmentPath(const QString& text) {
    static QHash<QString, QPainterPath> made;
    if (const auto it = made.constFind(text); it != made.constEnd()) {
        return *it;
    }
    QPainterPath p;
    p.addText(0, 0, segmentFont(100), text);
    // The font's segments overlap at their corners; an even-odd fill would
    // punch holes where they meet.
    p.setFillRule(Qt::WindingFill);
    if (made.size() < 256) {
        made.insert(text, p);
    }
    return p;
}

const QRectF& segmentCell() {
    static const QRectF cell = segmentPath(QStringLiteral("8")).boundingRect();
    return cell;
}

void paintBattery(QPainter& p, const QRectF& r) {
    // Upright when the label is taller than wide, as the panel's cell is.
    const bool upright = r.height() > r.width();
    const qreal len = upright ? std::min(r.height() * 0.6, r.width() * 2.2) : r.width() * 0.8;
    const qreal thick = upright ? std::min(r.width() * 0.8, len * 0.5) : r.height() * 0.5;
    QRectF body = upright ? QRectF(0, 0, thick, len) : QRectF(0, 0, len, thick);
    body.moveCenter(r.center());
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(body);
    p.setBrush(kInk);
    if (upright) {
        p.drawRect(QRectF(body.center().x() - thick / 4, body.top() - 2.5, thick / 2, 2.5));
        p.drawRect(QRectF(body.left() + 2, body.bottom() - len / 3, thick - 4, len / 3 - 2));
    } else {
        p.drawRect(QRectF(body.right(), body.center().y() - thick / 4, 2.5, thick / 2));
        p.drawRect(QRectF(body.left() + 2, body.top() + 2, len / 3 - 2, thick - 4));
    }
}

} // namespace

LcdLabel::LcdLabel(Face face, const QString& caption, int pixelSize, bool bold, QWidget* parent)
    : QLabel(caption, parent), face_(face), pixelSize_(pixelSize), bold_(bold) {
    setFont(face == Face::Plain ? uiFont(pixelSize, bold) : symbolFont(pixelSize, bold));
    setAttribute(Qt::WA_TranslucentBackground);
    segmentBox_ = QRectF(rect());
}

void LcdLabel::setSegmentBox(const QRectF& box) {
    segmentBox_ = box;
    update();
}

void LcdLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (face_ == Face::Segment) {
        paintSegments(p);
    } else {
        paintSymbols(p);
    }
}

void LcdLabel::paintSegments(QPainter& p) {
    // The cell of "8" is stretched over the segment box.
    const QRectF& cell = segmentCell();
    QTransform t;
    t.translate(segmentBox_.left(), segmentBox_.top());
    t.scale(segmentBox_.width() / cell.width(), segmentBox_.height() / cell.height());
    t.translate(-cell.left(), -cell.top());
    p.setPen(Qt::NoPen);
    // The unlit segments of the cell: a sign cell has only its bar.
    const bool signCell = objectName() == QLatin1String("LcdFH");
    p.setBrush(kUnlit);
    p.drawPath(t.map(segmentPath(signCell ? QStringLiteral("-") : QStringLiteral("8"))));
    QString shown;
    for (const QChar c : text()) {
        shown += panelSymbol(c);
    }
    if (!shown.isEmpty()) {
        p.setBrush(kInk);
        p.drawPath(t.map(segmentPath(shown)));
    }
}

void LcdLabel::paintSymbols(QPainter& p) {
    QString shown;
    if (face_ == Face::Plain) {
        shown = text();
    } else {
        for (const QChar c : text()) {
            shown += panelSymbol(c);
        }
    }
    if (shown.isEmpty()) {
        return;
    }
    const QRectF r(rect());
    if (shown == kBattery) {
        paintBattery(p, r);
        return;
    }
    // The designed height includes the font's leading; the symbol itself is
    // about three quarters of it, made smaller still when it would not fit.
    QFont f = font();
    int px = std::max(6, face_ == Face::Plain ? pixelSize_ : pixelSize_ * 3 / 4);
    f.setPixelSize(px);
    while (px > 6) {
        const QFontMetricsF fm(f);
        if (fm.horizontalAdvance(shown) <= r.width() + 1 && fm.height() <= r.height() + 4) {
            break;
        }
        f.setPixelSize(--px);
    }
    p.setFont(f);
    p.setPen(kInk);
    p.drawText(r, Qt::AlignCenter | Qt::TextDontClip, shown);
}

} // namespace velkor
