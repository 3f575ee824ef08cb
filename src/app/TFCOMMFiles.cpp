// Log files (open, save) and the printed report.

#include "app/TFCOMM.h"

#include "decode/StartValues.h"

namespace velkor {

// Connects OpenDataFiles, saveas and BtPrint to their handlers.
void TFCOMM::wireFilesArea() {}

} // namespace velkor
