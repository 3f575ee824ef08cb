#pragma once

#include <QString>
#include <optional>

namespace velkor {

struct Reading;

// What a decoding pass found beyond the Reading, for the chart: how often
// the MIN/MAX tracker started over (each time the chart shows the series the
// fill box chooses) and the vertical axis limit of the range row the frame
// matched (the axis then runs from -limit to +limit; none matched: the axis
// stays as it is).
struct PassOutcome {
    int trackerResets = 0;
    std::optional<double> axisLimit;
};

// The code that runs decoding passes and takes their results. A pass tells
// it first that a frame is being decoded and, when every step succeeded, hands
// the reading over once at its end; a pass that stops on a bad character
// hands nothing over.
class PassOwner {
public:
    virtual ~PassOwner() = default;
    // A frame is being decoded; fsDot is the decimal separator the pass uses.
    virtual void passStarting(const QString& fsDot) = 0;
    // The reading is complete: judge it, log it, show it.
    virtual void handOff(Reading& reading, const PassOutcome& outcome) = 0;
};

} // namespace velkor
