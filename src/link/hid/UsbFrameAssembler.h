#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace velkor {

// Turns the cable's input reports back into the meter's byte stream and cuts
// it into frames. The first data byte of a report counts the serial bytes
// that follow in its low four bits; 1 to 9 is payload, anything else (and an
// empty report) is a report without payload, which ends a pending frame.
class UsbFrameAssembler {
public:
    // What happens at a frame end, after the variant's data handler.
    enum class FrameEnd {
        Decode,           // HALVINShowRead: FrameHex := the frame; accepted frames are decoded
        LowDigits,        // ShowRead: FrameHex := the low hex digit of bytes 1-14
        LowDigitsRotated, // FENWIKShowRead: low digit of byte 11, then of bytes 1-10
    };
    // Called with FrameHex filled, for every accepted frame. May throw; the
    // assembler is then already cleared for the next frame.
    using FrameHandler = std::function<void()>;

    UsbFrameAssembler(std::string& frameHex, int& emptyReportCount, FrameHandler onAccepted);

    // One input report (the bytes after its report ID). Returns whether it
    // carried payload.
    bool take(FrameEnd frameEnd, const std::uint8_t* Data, std::uint16_t Size);

    const std::string& UsbRxHex() const { return usbRxHex_; }
    bool UsbFramePending() const { return usbFramePending_; }

    // Nothing past the 14th byte of a frame is ever read (the decoder takes
    // 28 hex digits, the other frame ends fewer), so the collected text keeps
    // no more than that: a stream without reports that end frames costs no
    // memory.
    static constexpr std::size_t kUsbRxHexLimit = 28;

    // The history line of a report: "R %.2x  " with the report ID, then
    // "%.2x " for each data byte.
    static QString reportLine(std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size);

private:
    void frameEnded(FrameEnd frameEnd);

    std::string& frameHex_;
    int& emptyReportCount_;
    FrameHandler onAccepted_;
    std::string usbRxHex_;
    bool usbFramePending_ = false;
};

} // namespace velkor
