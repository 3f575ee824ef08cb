// The serial road of a frame, as a live meter feeds it: the variant's frame
// assembler, the decoding pass, the judge and the measurement log. The first
// byte chooses the variant (and with it the byte or the nibble assembler);
// the rest is the stream, handed over a byte at a time as the logger does.
// A frame that cannot be decoded is refused with an error, as the program
// expects; anything else (a crash, a hang, memory without bound) is a fault.
#include "meter/MeterVariant.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/MeterSession.h"
#include "platform/headless/ManualTimer.h"
#include "support/FixedClock.h"
#include "support/FixedLocaleSource.h"

#include <cstdint>
#include <exception>

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const MeterVariant variant = kAllVariants[data[0] % 6];
    FixedClock clock;
    // A comma as the decimal mark half of the time: the limits and values
    // are read with the user's mark.
    FixedLocaleSource locale((data[0] & 0x80) ? QStringLiteral(",") : QStringLiteral("."));
    ManualTimer timer1(500), timer4(500), timer3(1000);
    MeterSession session({timer1, timer4, timer3}, clock, locale);
    MeterPipeline pipeline(variant, locale, session);
    session.bindReading(pipeline.decoder().reading);
    session.applyLimitStartValues(pipeline.startValues());
    session.applyRecordStartValues(pipeline.startValues());
    for (std::size_t i = 1; i < size; ++i) {
        try {
            pipeline.receive(&data[i], 1);
        } catch (const std::exception&) {
            // a frame refused with its reason
        }
    }
    return 0;
}
