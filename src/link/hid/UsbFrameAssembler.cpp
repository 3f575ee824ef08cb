#include "link/hid/UsbFrameAssembler.h"

namespace velkor {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";

// The low hex digit of the first count bytes of a hex text.
std::string lowDigits(const std::string& hex, std::size_t count) {
    std::string out;
    for (std::size_t i = 1; i < hex.size() && out.size() < count; i += 2) {
        out += hex[i];
    }
    return out;
}
} // namespace

UsbFrameAssembler::UsbFrameAssembler(std::string& frameHex, int& emptyReportCount,
                                     FrameHandler onAccepted)
    : frameHex_(frameHex), emptyReportCount_(emptyReportCount), onAccepted_(std::move(onAccepted)) {
    usbRxHex_.reserve(kUsbRxHexLimit);
}

bool UsbFrameAssembler::take(FrameEnd frameEnd, const std::uint8_t* Data, std::uint16_t Size) {
    const unsigned count = Size >= 1 ? (Data[0] & 0x0F) : 0;
    if (count >= 1 && count <= 9) {
        emptyReportCount_ = 0;
        usbFramePending_ = true;
        for (unsigned i = 1; i <= count && i < Size; ++i) {
            if (usbRxHex_.size() < kUsbRxHexLimit) {
                usbRxHex_ += kHexDigits[Data[i] >> 4];
                usbRxHex_ += kHexDigits[Data[i] & 0x0F];
            }
        }
        return true;
    }
    if (Size >= 1) {
        ++emptyReportCount_;
    }
    if (usbFramePending_) {
        frameEnded(frameEnd);
    }
    return false;
}

void UsbFrameAssembler::frameEnded(FrameEnd frameEnd) {
    const std::string frame = std::move(usbRxHex_);
    usbRxHex_.clear();
    usbFramePending_ = false;
    switch (frameEnd) {
    case FrameEnd::Decode: {
        frameHex_ = frame;
        // Accepted when it begins with "+" or "-" and its 13th byte is a
        // carriage return.
        const bool accepted = frame.size() >= 26 && frame[0] == '2' &&
                              (frame[1] == 'B' || frame[1] == 'D') && frame[24] == '0' &&
                              frame[25] == 'D';
        if (accepted && onAccepted_) {
            onAccepted_();
        }
        break;
    }
    case FrameEnd::LowDigits: frameHex_ = lowDigits(frame, 14); break;
    case FrameEnd::LowDigitsRotated: {
        const std::string t = lowDigits(frame, 11);
        frameHex_ = t.size() == 11 ? t.substr(10) + t.substr(0, 10) : t;
        break;
    }
    }
}

QString UsbFrameAssembler::reportLine(std::uint8_t ReportID, const std::uint8_t* Data,
                                      std::uint16_t Size) {
    QString line;
    line.reserve(6 + 3 * Size);
    line += QLatin1Char('R');
    line += QLatin1Char(' ');
    line += QLatin1Char(kHexDigits[ReportID >> 4]);
    line += QLatin1Char(kHexDigits[ReportID & 0x0F]);
    line += QLatin1String("  ");
    for (std::uint16_t i = 0; i < Size; ++i) {
        line += QLatin1Char(kHexDigits[Data[i] >> 4]);
        line += QLatin1Char(kHexDigits[Data[i] & 0x0F]);
        line += QLatin1Char(' ');
    }
    return line;
}

} // namespace velkor
