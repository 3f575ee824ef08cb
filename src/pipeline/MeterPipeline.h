#pragma once

#include "decode/FrameDecoder.h"
#include "decode/PassOwner.h"
#include "decode/StartValues.h"
#include "link/serial/FrameAssembler.h"
#include "meter/FrameSink.h"
#include "meter/MeterVariant.h"

#include <cstdint>
#include <functional>

namespace velkor {

class LocaleSource;
class PassHost;

// The road of a frame from received bytes to the rest of the program: the
// variant's serial assembler (the USB link brings its own) feeding the
// decoder, both at the variant's start values, and the hand-off of every
// decoded reading to the host: the chart's series and axis, the judge, the
// bar and the log.
class MeterPipeline final : public FrameSink, private PassOwner {
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

    // FrameSink: both links deliver their frames here.
    std::string& frameHex() override { return decoder_.FrameHex; }
    void decodeFrame() override;
    // Frames handed to the decoder so far, decoded or not.
    long long framesOffered() const { return framesOffered_; }

private:
    void passStarting(const QString& fsDot) override;
    void handOff(Reading& reading, const PassOutcome& outcome) override;

    MeterVariant variant_;
    PassHost& host_;
    StartValues start_;
    FrameDecoder decoder_;
    FrameAssembler assembler_;
    std::function<void()> onDecoded_;
    long long framesOffered_ = 0;
    // The vertical axis maximum at the last hand-off: the bar follows it.
    double LastAxisMaximum = 0.0;
};

} // namespace velkor
