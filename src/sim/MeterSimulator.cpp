#include "sim/MeterSimulator.h"

#include <cmath>

namespace velkor {

MeterSimulator::MeterSimulator(MeterVariant variant, double rate, long count, Sink sink,
                               QObject* parent)
    : QObject(parent), variant_(variant), count_(count), sink_(std::move(sink)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / rate))));
    connect(&timer_, &QTimer::timeout, this, &MeterSimulator::sendNext);
}

std::array<std::uint8_t, 14> MeterSimulator::frameBytes(MeterVariant variant,
                                                        const MeterFrame& frame) {
    const auto bytes = frame.bytes();
    if (variantInfo(variant).assembler != SerialAssemblerKind::Nibble) {
        return bytes;
    }
    std::array<std::uint8_t, 14> low{};
    for (std::size_t i = 0; i < low.size(); ++i) {
        low[i] = bytes[i] & 0x0F;
    }
    return nibbleFrame(low);
}

void MeterSimulator::start() {
    const std::uint8_t lineFeed = 0x0A;
    if (variantInfo(variant_).assembler == SerialAssemblerKind::Byte && !sink_(&lineFeed, 1)) {
        emit finished(false);
        return;
    }
    timer_.start();
    sendNext();
}

void MeterSimulator::sendNext() {
    if (count_ >= 0 && sent_ >= count_) {
        timer_.stop();
        emit finished(true);
        return;
    }
    const auto bytes = frameBytes(variant_, walk_.next().frame);
    if (!sink_(bytes.data(), bytes.size())) {
        timer_.stop();
        emit finished(false);
        return;
    }
    ++sent_;
    if (count_ >= 0 && sent_ >= count_) {
        timer_.stop();
        emit finished(true);
    }
}

} // namespace velkor
