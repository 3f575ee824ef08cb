#pragma once

#include "link/serial/LineSettings.h"
#include "link/serial/TCommPortDriver.h"

#include <QString>

namespace velkor {

// Why a serial port would not open or was lost, in the window's Japanese:
// the kind of failure and the system's reason in the program's words, never
// the driver's English text (which the command line prints). `asked` are the
// line settings the driver was to give the port.
QString serialFailureText(const SerialPortError& error, const LineSettings& asked);

} // namespace velkor
