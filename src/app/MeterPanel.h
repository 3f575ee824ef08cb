#pragma once

#include "meter/Marks.h"

#include <QFrame>
#include <array>

namespace velkor {

class LcdLabel;
struct DisplayState;

// Panel1: the mirror of the meter's display. Four seven-segment digits with
// the sign and three decimal points, the annunciators, and a few pictures,
// each a child named as on the meter panel (LcdDa, LcdV, LCDREL ...). The
// decoding pass decides what is shown; showDisplay() makes the panel match.
class MeterPanel : public QFrame {
    Q_OBJECT
public:
    explicit MeterPanel(QWidget* parent = nullptr);

    // Shows exactly the marks of the state, its digits and the data mark.
    void showDisplay(const DisplayState& display);

    // The widget that shows a mark.
    QWidget* markWidget(Mark m) const { return marks_[static_cast<std::size_t>(m)]; }
    // LcdDa, LcdDb, LcdDc, LcdDd.
    LcdLabel* digitLabel(int index) const { return digits_[static_cast<std::size_t>(index)]; }
    QWidget* sendPicture() const { return send_; }

private:
    std::array<QWidget*, kMarkCount> marks_{};
    std::array<LcdLabel*, 4> digits_{};
    QWidget* send_ = nullptr;
};

} // namespace velkor
