#include "link/serial/LineSettings.h"

namespace velkor {

namespace {

// The Linux speed constant of a line speed; B0 when Linux has none.
speed_t speedConstant(TComPortBaudRate rate) {
    switch (rate) {
    case br110: return B110;
    case br300: return B300;
    case br600: return B600;
    case br1200: return B1200;
    case br2400: return B2400;
    case br4800: return B4800;
    case br9600: return B9600;
    case br19200: return B19200;
    case br38400: return B38400;
    case br57600: return B57600;
    case br115200: return B115200;
    case br14400:
    case br56000: break;
    }
    return B0;
}

constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};

tcflag_t parityFlags(TComPortParity p) {
    switch (p) {
    case ptNONE: return 0;
    case ptODD: return PARENB | PARODD;
    case ptEVEN: return PARENB;
    case ptMARK: return PARENB | PARODD | CMSPAR; // sticky parity, always 1
    case ptSPACE: return PARENB | CMSPAR;         // sticky parity, always 0
    }
    return 0;
}

constexpr tcflag_t kParityMask = PARENB | PARODD | CMSPAR;

} // namespace

QString applyLineSettings(termios& t, const LineSettings& s) {
    const speed_t speed = speedConstant(s.speed);
    if (speed == B0) {
        return QStringLiteral("Linux has no line speed of %1 baud").arg(baudOf(s.speed));
    }
    if (s.stopBits == sb1HALFBITS) {
        return QStringLiteral("Linux cannot send 1.5 stop bits");
    }
    termios r = t;
    r.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IMAXBEL);
    r.c_oflag &= ~OPOST;
    r.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    r.c_cflag &= ~(CSIZE | kParityMask | CSTOPB | CRTSCTS);
    r.c_cflag |= CREAD | CLOCAL | HUPCL | kSizes[s.dataBits & 3] | parityFlags(s.parity);
    if (s.stopBits == sb2BITS) {
        r.c_cflag |= CSTOPB;
    }
    if (s.hwHandshaking == hhRTSCTS) {
        r.c_cflag |= CRTSCTS;
    }
    if (s.swHandshaking == shXONXOFF) {
        r.c_iflag |= IXON | IXOFF;
        r.c_cc[VSTART] = 0x11; // DC1
        r.c_cc[VSTOP] = 0x13;  // DC3
    }
    r.c_cc[VMIN] = 0;
    r.c_cc[VTIME] = 0;
    cfsetispeed(&r, speed);
    cfsetospeed(&r, speed);
    t = r;
    return {};
}

QString lineSettingsMismatch(const termios& t, const LineSettings& s) {
    termios want = t;
    if (const QString why = applyLineSettings(want, s); !why.isEmpty()) {
        return why;
    }
    if (cfgetospeed(&t) != cfgetospeed(&want) || cfgetispeed(&t) != cfgetispeed(&want)) {
        return QStringLiteral("the port did not take %1 baud").arg(baudOf(s.speed));
    }
    if ((t.c_cflag & CSIZE) != (want.c_cflag & CSIZE)) {
        return QStringLiteral("the port did not take %1 data bits").arg(5 + s.dataBits);
    }
    if ((t.c_cflag & kParityMask) != (want.c_cflag & kParityMask)) {
        return QStringLiteral("the port did not take the parity setting");
    }
    if ((t.c_cflag & CSTOPB) != (want.c_cflag & CSTOPB)) {
        return QStringLiteral("the port did not take the stop bits");
    }
    if ((t.c_cflag & CRTSCTS) != (want.c_cflag & CRTSCTS)) {
        return QStringLiteral("the port did not take RTS/CTS flow control");
    }
    if ((t.c_iflag & (IXON | IXOFF)) != (want.c_iflag & (IXON | IXOFF))) {
        return QStringLiteral("the port did not take XON/XOFF flow control");
    }
    return {};
}

} // namespace velkor
