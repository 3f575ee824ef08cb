// The USB cable's input reports turned back into frames and decoded. The
// first byte chooses how a frame ends (the three data handlers of the
// variants); the rest is a run of reports, each a length byte and that many
// bytes, as the cable's reader hands them over.
#include "decode/StartValues.h"
#include "link/hid/UsbFrameAssembler.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/MeterSession.h"
#include "platform/headless/ManualTimer.h"
#include "support/FixedClock.h"
#include "support/FixedLocaleSource.h"

#include <algorithm>
#include <cstdint>
#include <exception>

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static constexpr UsbFrameAssembler::FrameEnd kEnds[] = {
        UsbFrameAssembler::FrameEnd::Decode, UsbFrameAssembler::FrameEnd::LowDigits,
        UsbFrameAssembler::FrameEnd::LowDigitsRotated};
    const auto end = kEnds[data[0] % 3];
    FixedClock clock;
    FixedLocaleSource locale(QStringLiteral("."));
    ManualTimer timer1(500), timer4(500), timer3(1000);
    MeterSession session({timer1, timer4, timer3}, clock, locale);
    MeterPipeline pipeline(MeterVariant::IFHALVIN, locale, session);
    session.bindReading(pipeline.decoder().reading);
    int emptyReports = 0;
    UsbFrameAssembler assembler(pipeline.frameHex(), emptyReports,
                                [&pipeline] { pipeline.decodeFrame(); });
    for (std::size_t at = 1; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        try {
            assembler.take(end, data + at + 1, static_cast<std::uint16_t>(length));
        } catch (const std::exception&) {
            // a frame refused with its reason
        }
        at += 1 + length;
    }
    return 0;
}
