// The USB cable link (USBCon and the HID controller).

#include "app/TFCOMM.h"

#include "decode/StartValues.h"

namespace velkor {

// Connects USBCon and the HID controller to their handlers.
void TFCOMM::wireUsbArea() {}

} // namespace velkor
