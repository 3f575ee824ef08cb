#pragma once

#include "meter/MeterVariant.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace velkor {

// Cuts the serial byte stream into frames. Received bytes are kept as
// upper-case hex text (RxHex); at a frame end the frame text goes to
// FrameHex and, for the byte assembler, an accepted frame to the decoder.
class FrameAssembler {
public:
    // Called with FrameHex filled, for every accepted frame. May throw: the
    // rest of the chunk is then dropped and the error reaches the caller.
    using FrameHandler = std::function<void()>;

    FrameAssembler(SerialAssemblerKind kind, std::string& frameHex, FrameHandler onFrame);

    // The byte assembler (every variant but IFCASTEM): frames end at 0D.
    void RECEIVE_COM_Data(const std::uint8_t* data, std::ptrdiff_t size);
    // The nibble assembler (IFCASTEM): the low nibble of each byte; a byte
    // whose high nibble is E ends the frame. Nothing is decoded.
    void RECEIVE_NIBBLE_Data(const std::uint8_t* data, std::ptrdiff_t size);
    // The variant's handler.
    void receive(const std::uint8_t* data, std::ptrdiff_t size);

    const std::string& RxHex() const { return rxHex_; }
    SerialAssemblerKind kind() const { return kind_; }

    // A frame end looks only at hex digits 3-28 of RxHex, so the byte
    // assembler keeps no more than the first 28: later digits could never
    // reach a frame, and a stream without any 0D costs no memory.
    static constexpr std::size_t kByteRxHexLimit = 28;
    // The nibble assembler hands all of RxHex over; beyond this many digits
    // without a frame end it keeps only the newest ones.
    static constexpr std::size_t kNibbleRxHexLimit = 1024;

private:
    SerialAssemblerKind kind_;
    std::string& frameHex_;
    FrameHandler onFrame_;
    std::string rxHex_;
};

} // namespace velkor
