#pragma once

#include <QFont>

class QTableView;

namespace velkor {

class MeasurementTable;

// Binds the log grid DBGrid1 to the measurement table: read-only, whole rows
// selected, no row indicator, the six columns at their widths, the Unit column in `unitFont` (the
// font that draws the unit symbols), and the grid following the table: each appended row becomes
// the current row and is scrolled into view.
void bindLogGrid(QTableView& grid, MeasurementTable& table, const QFont& unitFont);

} // namespace velkor
