#pragma once

#include "link/serial/ComPortTypes.h"

#include <QString>
#include <termios.h>

namespace velkor {

// Everything the driver writes to an open port at a settings write.
struct LineSettings {
    TComPortBaudRate speed = br9600;
    TComPortDataBits dataBits = db8BITS;
    TComPortStopBits stopBits = sb1BITS;
    TComPortParity parity = ptNONE;
    TComPortHwHandshaking hwHandshaking = hhNONE;
    TComPortSwHandshaking swHandshaking = shNONE;
};

// Fills t for raw byte transfer with the given line settings: no echo, no
// line editing, no character translation, no parity checking of received
// bytes, reads that return at once with what is queued (VMIN 0, VTIME 0),
// the receiver on, modem status lines ignored unless RTS/CTS is asked for,
// DTR dropped on the last close. Returns an empty text on success, or why
// Linux cannot give the settings (14400 and 56000 baud have no Linux speed
// constant; Linux has no 1.5 stop bits); t is then unchanged.
QString applyLineSettings(termios& t, const LineSettings& s);

// The first difference between what was asked and what the port took (read
// back with tcgetattr), or an empty text when the port took everything.
QString lineSettingsMismatch(const termios& t, const LineSettings& s);

} // namespace velkor
