#include "link/serial/FrameAssembler.h"

namespace velkor {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool startsFrame(const std::string& f, std::size_t endPos) {
    // characters 1-2 followed by characters endPos..endPos+1 read 2B0D or 2D0D
    if (f.size() < endPos + 1) {
        return false;
    }
    return f[0] == '2' && (f[1] == 'B' || f[1] == 'D') && f[endPos - 1] == '0' && f[endPos] == 'D';
}

} // namespace

FrameAssembler::FrameAssembler(SerialAssemblerKind kind, std::string& frameHex,
                               FrameHandler onFrame)
    : kind_(kind), frameHex_(frameHex), onFrame_(std::move(onFrame)) {
    rxHex_.reserve(kByteRxHexLimit + 2);
}

void FrameAssembler::receive(const std::uint8_t* data, std::ptrdiff_t size) {
    if (kind_ == SerialAssemblerKind::Nibble) {
        RECEIVE_NIBBLE_Data(data, size);
    } else {
        RECEIVE_COM_Data(data, size);
    }
}

void FrameAssembler::RECEIVE_COM_Data(const std::uint8_t* data, std::ptrdiff_t size) {
    for (std::ptrdiff_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (rxHex_.size() < kByteRxHexLimit) {
            rxHex_ += kHexDigits[b >> 4];
            rxHex_ += kHexDigits[b & 0xF];
        }
        if (b != 0x0D) {
            continue;
        }
        // A frame end: digits 3-28 are the frame text. They are the same
        // whether or not RxHex was cut at its bound.
        frameHex_.assign(rxHex_, rxHex_.size() > 2 ? 2 : rxHex_.size(), 26);
        const bool accepted = startsFrame(frameHex_, 25) || startsFrame(frameHex_, 23);
        rxHex_.clear();
        if (accepted && onFrame_) {
            onFrame_();
        }
    }
}

void FrameAssembler::RECEIVE_NIBBLE_Data(const std::uint8_t* data, std::ptrdiff_t size) {
    for (std::ptrdiff_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (rxHex_.size() >= kNibbleRxHexLimit) {
            rxHex_.erase(0, rxHex_.size() - kNibbleRxHexLimit + 1);
        }
        rxHex_ += kHexDigits[b & 0xF];
        if ((b >> 4) == 0xE) {
            frameHex_ = rxHex_;
            rxHex_.clear();
        }
    }
}

} // namespace velkor
