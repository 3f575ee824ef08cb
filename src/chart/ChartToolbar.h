#pragma once

class QCheckBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace velkor {

// The controls of the chart toolbar TntPanel1, left to right, in their
// start state. The main window connects them to its handlers.
struct ChartToolbar {
    QCheckBox* BtFill = nullptr;      // "Fill ", checked: area or line view
    QLineEdit* Maxrecord = nullptr;   // "100": points per page
    QToolButton* BtSave = nullptr;    // save the chart picture
    QToolButton* BtFirst = nullptr;   // first page
    QToolButton* BTPrevious = nullptr;
    QPushButton* Bt10 = nullptr;      // shows the page number; no command
    QToolButton* BtNext = nullptr;
    QToolButton* BTlast = nullptr;
    QToolButton* TbFd = nullptr;      // enlarge
    QToolButton* TbSx = nullptr;      // restore, at the same place, hidden at start

    // Creates the controls on `panel` (351 x 41).
    static ChartToolbar create(QWidget* panel);
};

} // namespace velkor
