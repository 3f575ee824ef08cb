#pragma once

#include <QWidget>

namespace velkor {

// The small black-on-white pictures of the meter panel and the link mark,
// painted in code. Each is designed on its own grid and stretched to the
// widget's size.
class LcdPicture : public QWidget {
    Q_OBJECT
public:
    enum class Kind {
        Send,     // LCDsend: a monitor with a large S on its screen
        Relative, // LCDREL: an outlined triangle
        EF,       // EF: an outlined triangle with the letters EF inside
        LinkLit,  // CONok: a computer beside a meter whose display is lit
        LinkDark, // CONokN: the same with the meter's display dark
        Power,    // LCDpower: a dial with a needle
    };

    LcdPicture(Kind kind, QWidget* parent = nullptr);
    Kind kind() const { return kind_; }

    // Paints a picture of the kind into the rectangle.
    static void paint(QPainter& p, Kind kind, const QRectF& target);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
};

} // namespace velkor
