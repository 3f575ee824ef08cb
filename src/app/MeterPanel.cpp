#include "app/MeterPanel.h"

#include "app/LcdLabel.h"
#include "app/LcdPicture.h"
#include "app/ShapeWidget.h"
#include "decode/FrameDecoder.h"

#include <QPalette>
#include <optional>

namespace velkor {

namespace {

using Face = LcdLabel::Face;

// Every digit of the display shares these panel rows: the top of the
// segments and the baseline on which the decimal points sit.
constexpr qreal kSegmentTop = 40;
constexpr qreal kSegmentBottom = 121;

struct LabelDesign {
    const char* name;
    int x, y, w, h;
    const char* caption; // UTF-8
    int pixelSize;
    bool bold;
    Face face;
    std::optional<Mark> mark; // the mark it shows; none: not driven by marks
};

// The labels of the panel in the order they are stacked (later ones on top).
const LabelDesign kLabels[] = {
    {"LcdFH", 5, 36, 28, 112, "-", 100, false, Face::Segment, Mark::LcdFH},
    {"LcdDa", 41, 29, 38, 112, "5", 100, false, Face::Segment, std::nullopt},
    {"LcdDb", 88, 28, 38, 112, "9", 100, false, Face::Segment, std::nullopt},
    {"LcdDc", 136, 28, 38, 112, "9", 100, false, Face::Segment, std::nullopt},
    {"LcdDd", 184, 28, 38, 112, "9", 100, false, Face::Segment, std::nullopt},
    {"LcdAC", 6, 46, 31, 23, "AC", 21, true, Face::Symbol, Mark::LcdAC},
    {"LcdDc1", 5, 46, 32, 23, "DC", 21, true, Face::Symbol, Mark::LcdDc1},
    {"LcdAuto", 56, 131, 88, 17, "Auto range", 16, true, Face::Symbol, Mark::LcdAuto},
    {"LCDHold", 8, 102, 19, 39, "\"", 35, false, Face::Symbol, Mark::LCDHold},
    {"Labmax", 52, 18, 35, 19, "MAX", 16, true, Face::Plain, Mark::Labmax},
    {"Labmin", 92, 18, 29, 19, "MIN", 16, true, Face::Plain, Mark::Labmin},
    {"LCDBATT", 256, -1, 12, 39, "$", 35, false, Face::Symbol, Mark::LCDBATT},
    {"LCDDI", 176, 9, 31, 32, ")", 29, false, Face::Symbol, Mark::LCDDI},
    {"LCDFm", 176, 8, 25, 36, "&", 32, false, Face::Symbol, Mark::LCDFm},
    {"LCDn", 208, 10, 13, 27, "n", 24, false, Face::Symbol, Mark::LCDn},
    {"LCDu", 208, 3, 16, 36, "+", 32, false, Face::Symbol, Mark::LCDu},
    {"Lcdm", 208, 9, 20, 27, "m", 24, false, Face::Symbol, Mark::Lcdm},
    {"LCDk", 238, 76, 12, 27, "k", 24, false, Face::Symbol, Mark::LCDk},
    {"LCDM1", 238, 81, 16, 21, "M", 19, false, Face::Symbol, Mark::LCDM1},
    {"LcdV", 232, 11, 16, 27, "V", 24, false, Face::Symbol, Mark::LcdV},
    {"LCDA", 232, 10, 16, 27, "A", 24, false, Face::Symbol, Mark::LCDA},
    {"LCDF", 232, 10, 15, 27, "F", 24, false, Face::Symbol, Mark::LCDF},
    {"LCDohm", 264, 81, 13, 21, "*", 19, false, Face::Symbol, Mark::LCDohm},
    {"LCDHz", 248, 98, 29, 27, "Hz", 24, false, Face::Symbol, Mark::LCDHz},
    {"LCDBF", 248, 40, 19, 23, "%", 21, false, Face::Symbol, Mark::LCDBF},
    {"LCDCS", 240, 57, 18, 27, "#", 24, false, Face::Symbol, Mark::LCDCS},
    {"LCDFS", 256, 57, 17, 27, "?", 24, false, Face::Symbol, Mark::LCDFS},
    {"LcdRPM", 166, 131, 39, 17, "RPM", 16, true, Face::Symbol, Mark::LcdRPM},
    {"LCDBT", 232, 97, 11, 39, "(", 35, false, Face::Symbol, Mark::LCDBT},
    // Not driven by any frame; they keep their designed hidden state.
    {"LCDRec", 8, 211, 19, 36, "!", 32, false, Face::Symbol, std::nullopt},
    {"LcdACDC", 5, 46, 31, 23, "AC", 21, true, Face::Symbol, std::nullopt},
    {"LCDRS", 190, 187, 80, 21, "Connect", 19, true, Face::Symbol, std::nullopt},
    {"LCD232C", 0, 0, 0, 0, "", 21, false, Face::Plain, std::nullopt},
    {"LCDTRMST", 0, 0, 0, 0, "", 21, false, Face::Symbol, std::nullopt},
    {"LCDTRMS", 0, 0, 0, 0, "", 21, false, Face::Symbol, std::nullopt},
};

struct PictureDesign {
    const char* name;
    int x, y, w, h;
    LcdPicture::Kind kind;
    std::optional<Mark> mark;
};

const PictureDesign kPictures[] = {
    {"LCDREL", 129, 10, 24, 24, LcdPicture::Kind::Relative, Mark::LCDREL},
    {"EF", 153, 9, 24, 25, LcdPicture::Kind::EF, Mark::EF},
    {"LCDsend", 5, 4, 36, 29, LcdPicture::Kind::Send, std::nullopt},
    {"LCDpower", 261, 10, 28, 29, LcdPicture::Kind::Power, std::nullopt},
};

struct PointDesign {
    const char* name;
    int x, y, w, h;
    Mark mark;
};

const PointDesign kPoints[] = {
    {"LcdP1", 79, 113, 7, 8, Mark::LcdP1},
    {"LcdP2", 127, 113, 7, 8, Mark::LcdP2},
    {"LcdP3", 176, 113, 9, 8, Mark::LcdP3},
};

} // namespace

MeterPanel::MeterPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Panel1"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    for (const LabelDesign& s : kLabels) {
        auto* label = new LcdLabel(s.face, QString::fromUtf8(s.caption), s.pixelSize, s.bold, this);
        label->setObjectName(QString::fromLatin1(s.name));
        label->setGeometry(s.x, s.y, s.w, s.h);
        if (s.face == Face::Segment) {
            label->setSegmentBox(QRectF(0, kSegmentTop - s.y, s.w, kSegmentBottom - kSegmentTop));
        }
        if (s.mark) {
            marks_[static_cast<std::size_t>(*s.mark)] = label;
        }
        label->setVisible(s.face == Face::Segment);
    }
    for (const PictureDesign& s : kPictures) {
        auto* picture = new LcdPicture(s.kind, this);
        picture->setObjectName(QString::fromLatin1(s.name));
        picture->setGeometry(s.x, s.y, s.w, s.h);
        picture->setVisible(false);
        if (s.mark) {
            marks_[static_cast<std::size_t>(*s.mark)] = picture;
        }
    }
    for (const PointDesign& s : kPoints) {
        auto* point = new ShapeWidget(ShapeWidget::Kind::Square, this);
        point->setObjectName(QString::fromLatin1(s.name));
        point->setGeometry(s.x, s.y, s.w, s.h);
        point->setPen(QPen(Qt::black, 5));
        point->setBrush(Qt::black);
        point->setVisible(false);
        marks_[static_cast<std::size_t>(s.mark)] = point;
    }
    digits_ = {findChild<LcdLabel*>(QStringLiteral("LcdDa")),
               findChild<LcdLabel*>(QStringLiteral("LcdDb")),
               findChild<LcdLabel*>(QStringLiteral("LcdDc")),
               findChild<LcdLabel*>(QStringLiteral("LcdDd"))};
    send_ = findChild<QWidget*>(QStringLiteral("LCDsend"));
}

void MeterPanel::showDisplay(const DisplayState& display) {
    for (int i = 0; i < kMarkCount; ++i) {
        const auto m = static_cast<Mark>(i);
        marks_[static_cast<std::size_t>(i)]->setVisible(display.marks.has(m));
    }
    for (std::size_t i = 0; i < digits_.size(); ++i) {
        digits_[i]->setText(display.digits[i]);
    }
    send_->setVisible(display.sendShown);
}

} // namespace velkor
