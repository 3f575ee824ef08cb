#pragma once

#include <QFont>
#include <QTableView>

namespace velkor {

class MeasurementTable;

// The log grid DBGrid1. Bound to the measurement table: read-only, whole
// rows selected, no row indicator, the six columns at their widths, the
// Unit column in the font that draws the unit symbols. It follows the
// table when its owner says so (followNewestRow): the newest row becomes
// the current row and is scrolled into view, however many rows came since.
//
// Rows appended at the end cost only themselves: the grid lays out its
// scroll range and paints the new rows, not every row in view, and
// scrolling to them moves the rows already drawn.
class LogGridView : public QTableView {
    Q_OBJECT
public:
    explicit LogGridView(QWidget* parent = nullptr);

    void bind(MeasurementTable& table, const QFont& unitFont);
    // Makes the newest row current and scrolls it into view, when rows were
    // appended since the last call.
    void followNewestRow();

    void doItemsLayout() override;

protected:
    // Scrolled: the row under the mouse is looked for only when the mouse
    // is over the grid. The view would ask the X server where the pointer
    // is, a round trip with every row that scrolls in.
    void verticalScrollbarValueChanged(int value) override;

private:
    void rowsAppended(int first);
    void reshaped();

    int followedRows_ = 0;
    int appendedFrom_ = -1; // first row appended since the last layout; -1: none
    bool reshaped_ = true;  // anything but appending happened since the last layout
};

// The same binding for a plain table view, which follows every appended row
// at once.
void bindLogGrid(QTableView& grid, MeasurementTable& table, const QFont& unitFont);

} // namespace velkor
