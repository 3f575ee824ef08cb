#include "chart/ChartToolbar.h"

#include <QCheckBox>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>

#include <functional>

namespace velkor {

namespace {

const QColor kGlyphBlue(0, 0, 255);

QIcon paintedIcon(int size, const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return QIcon(pixmap);
}

// A triangle pointing left (dir -1) or right (dir +1) with its tip at x.
void arrow(QPainter& p, double tipX, int dir) {
    QPainterPath path;
    path.moveTo(tipX, 8);
    path.lineTo(tipX - dir * 5, 3);
    path.lineTo(tipX - dir * 5, 13);
    path.closeSubpath();
    p.fillPath(path, kGlyphBlue);
}

// Double arrow, with a bar at its tip when `bar` is set.
QIcon pageGlyph(int dir, bool bar) {
    return paintedIcon(16, [=](QPainter& p) {
        const double tip = dir < 0 ? 3 : 13;
        arrow(p, tip + (bar ? -dir * 2 : 0), dir);
        arrow(p, tip + (bar ? -dir * 7 : -dir * 5), dir);
        if (bar) {
            p.fillRect(QRectF(dir < 0 ? 1 : 13, 3, 2, 10), kGlyphBlue);
        }
    });
}

QIcon floppyGlyph() {
    return paintedIcon(16, [](QPainter& p) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(40, 40, 140));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));      // label
        p.setBrush(QColor(190, 190, 190));
        p.drawRect(QRectF(4.5, 9.5, 7, 5));      // shutter
    });
}

QIcon magnifierGlyph(bool plus) {
    return paintedIcon(24, [plus](QPainter& p) {
        p.setPen(QPen(QColor(90, 60, 20), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, 14), QPointF(21, 21));
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(QColor(220, 240, 255));
        p.drawEllipse(QPointF(9.5, 9.5), 7, 7);
        p.setPen(QPen(kGlyphBlue, 2));
        p.drawLine(QPointF(6, 9.5), QPointF(13, 9.5));
        if (plus) {
            p.drawLine(QPointF(9.5, 6), QPointF(9.5, 13));
        }
    });
}

QToolButton* glyphButton(QWidget* panel, const char* name, const QIcon& icon, const QRect& place) {
    auto* b = new QToolButton(panel);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(icon);
    b->setIconSize(place.size() - QSize(8, 8));
    b->setGeometry(place);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

ChartToolbar ChartToolbar::create(QWidget* panel) {
    ChartToolbar t;
    t.BtFill = new QCheckBox(QStringLiteral("Fill "), panel);
    t.BtFill->setObjectName(QStringLiteral("BtFill"));
    t.BtFill->setToolTip(QStringLiteral("Graphic Fill"));
    t.BtFill->setChecked(true);
    t.BtFill->setGeometry(4, 11, 44, 19);

    t.Maxrecord = new QLineEdit(QStringLiteral("100"), panel);
    t.Maxrecord->setObjectName(QStringLiteral("Maxrecord"));
    t.Maxrecord->setGeometry(50, 10, 46, 21);

    t.BtSave = glyphButton(panel, "BtSave", floppyGlyph(), QRect(100, 8, 25, 25));
    t.BtFirst = glyphButton(panel, "BtFirst", pageGlyph(-1, true), QRect(129, 8, 25, 25));
    t.BTPrevious = glyphButton(panel, "BTPrevious", pageGlyph(-1, false), QRect(155, 8, 25, 25));

    t.Bt10 = new QPushButton(QStringLiteral("1"), panel);
    t.Bt10->setObjectName(QStringLiteral("Bt10"));
    t.Bt10->setGeometry(181, 8, 44, 25);
    t.Bt10->setFocusPolicy(Qt::NoFocus);
    QPalette blueText = t.Bt10->palette();
    blueText.setColor(QPalette::ButtonText, kGlyphBlue);
    t.Bt10->setPalette(blueText);

    t.BtNext = glyphButton(panel, "BtNext", pageGlyph(1, false), QRect(226, 8, 25, 25));
    t.BTlast = glyphButton(panel, "BTlast", pageGlyph(1, true), QRect(252, 8, 25, 25));

    t.TbFd = glyphButton(panel, "TbFd", magnifierGlyph(true), QRect(312, 4, 33, 33));
    t.TbFd->setToolTip(QStringLiteral("Graphic Enlarge"));
    t.TbFd->setAutoRaise(true);
    t.TbSx = glyphButton(panel, "TbSx", magnifierGlyph(false), QRect(312, 4, 33, 33));
    t.TbSx->setToolTip(QStringLiteral("Graphic Restore"));
    t.TbSx->setAutoRaise(true);
    t.TbSx->hide();
    return t;
}

} // namespace velkor
