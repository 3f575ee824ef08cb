#pragma once

#include <cstdint>

namespace velkor {

// The serial port driver's enumerations, in declaration order; the ordinal
// is what the driver stores and what the line settings are computed from.
enum TComPortNumber : std::uint8_t { pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
enum TComPortBaudRate : std::uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum TComPortDataBits : std::uint8_t { db5BITS, db6BITS, db7BITS, db8BITS };
enum TComPortStopBits : std::uint8_t { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity : std::uint8_t { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TComPortHwHandshaking : std::uint8_t { hhNONE, hhRTSCTS };
enum TComPortSwHandshaking : std::uint8_t { shNONE, shXONXOFF };

// The line speed in baud of a TComPortBaudRate.
int baudOf(TComPortBaudRate rate);
// The TComPortBaudRate of a speed in baud; br9600 when there is none.
TComPortBaudRate baudRateOf(int baud, bool* found = nullptr);

// "COM1" .. "COM4".
const char* comPortName(TComPortNumber port);

} // namespace velkor
