#pragma once

#include "meter/MeterVariant.h"
#include "sim/DemoScenario.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>

namespace velkor {

// A simulated meter: sends the frames of the demo walk at a fixed rate to a
// line (a pseudo-terminal or a serial device, through the sink).
class MeterSimulator : public QObject {
    Q_OBJECT
public:
    // Writes bytes to the line; false when the line cannot be written.
    using Sink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

    // rate: frames per second (above 0, at most kMaxRate); count: frames to
    // send, -1 for no end.
    MeterSimulator(MeterVariant variant, double rate, long count, Sink sink,
                   QObject* parent = nullptr);

    // Sends the line feed that a running stream has before a frame, then
    // the first frame, then one frame per period.
    void start();
    long framesSent() const { return sent_; }

    // The 14 bytes the variant's meter sends for a display: the byte frame,
    // or for IFCASTEM the nibble frame carrying the low four bits of the
    // byte frame's bytes.
    static std::array<std::uint8_t, 14> frameBytes(MeterVariant variant, const MeterFrame& frame);

    static constexpr double kMaxRate = 1000.0;

signals:
    // The count was reached (true) or the line failed (false).
    void finished(bool ok);

private:
    void sendNext();

    MeterVariant variant_;
    long count_;
    Sink sink_;
    DemoWalk walk_;
    QTimer timer_;
    long sent_ = 0;
};

} // namespace velkor
