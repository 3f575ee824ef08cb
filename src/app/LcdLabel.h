#pragma once

#include <QLabel>

namespace velkor {

// A label of the meter panel. Its text is the caption in the meter's display
// font (a digit, "-", "@", or a symbol character such as "*" or "$"); what
// is painted is what that character stands for on the meter's display:
//   Segment: seven-segment digits over faint unlit segments, like an LCD;
//   Symbol:  each character drawn as its symbol (DisplaySymbols);
//   Plain:   the text as it is, in the window's sans-serif font.
class LcdLabel : public QLabel {
    Q_OBJECT
public:
    enum class Face { Segment, Symbol, Plain };

    LcdLabel(Face face, const QString& caption, int pixelSize, bool bold, QWidget* parent);

    Face face() const { return face_; }
    // Where a Segment label puts its digit, in its own coordinates: every
    // digit of the panel shares one baseline and one height.
    void setSegmentBox(const QRectF& box);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintSegments(QPainter& p);
    void paintSymbols(QPainter& p);

    Face face_;
    int pixelSize_;
    bool bold_;
    QRectF segmentBox_;
};

} // namespace velkor
