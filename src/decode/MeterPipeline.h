#pragma once

#include "decode/FrameDecoder.h"
#include "decode/MeterVariant.h"
#include "decode/StartValues.h"
#include "link/serial/FrameAssembler.h"

#include <cstdint>
#include <functional>

namespace velkor {

class LocaleSource;
class PassHost;

// The road of a frame from received serial bytes to a Reading: the variant's
// assembler feeding the decoder, both set to the variant's start values.
class MeterPipeline {
public:
    MeterPipeline(MeterVariant variant, const LocaleSource& locale, PassHost& host);

    // The serial receive handler installed for the variant.
    void receive(const std::uint8_t* data, std::ptrdiff_t size) { assembler_.receive(data, size); }

    // Called after every pass that ran to its end.
    void setOnDecoded(std::function<void()> f) { onDecoded_ = std::move(f); }

    FrameDecoder& decoder() { return decoder_; }
    const FrameDecoder& decoder() const { return decoder_; }
    FrameAssembler& assembler() { return assembler_; }
    const StartValues& startValues() const { return start_; }
    MeterVariant variant() const { return variant_; }

    // Decodes the frame now in FrameHex (also the USB link's entry).
    void decodeFrame();
    // Frames handed to the decoder so far, decoded or not.
    long long framesOffered() const { return framesOffered_; }

private:
    MeterVariant variant_;
    StartValues start_;
    FrameDecoder decoder_;
    FrameAssembler assembler_;
    std::function<void()> onDecoded_;
    long long framesOffered_ = 0;
};

} // namespace velkor
