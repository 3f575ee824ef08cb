#pragma once

#include "decode/FrameDecoder.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "platform/LocaleSource.h"
#include "support/FixedLocaleSource.h"

#include <string>
#include <vector>

namespace velkor::test {

// A pass host that records what the pass asked of the rest of the program.
class RecordingHost : public PassHost {
public:
    std::vector<int> seriesShown;
    std::vector<int> barMaximums;
    std::vector<bool> samplingTimer;
    int logged = 0;
    int framesArriving = 0;
    bool sampling = false;
    bool fill = true;

    void frameArriving() override { ++framesArriving; }
    bool fillChecked() const override { return fill; }
    void showSeries(int index) override { seriesShown.push_back(index); }
    bool samplingChecked() const override { return sampling; }
    void setSamplingTimerEnabled(bool on) override { samplingTimer.push_back(on); }
    void setBarMaximum(int maximum) override { barMaximums.push_back(maximum); }
    void INDataToTable(int) override { ++logged; }
    double axisMinimum() const { return axisMin_; }
};

// A decoder at the default build's start values with a fixed "." locale,
// handing its readings on through the pipeline to a recording host.
struct DecoderFixture {
    FixedLocaleSource locale{QStringLiteral(".")};
    RecordingHost host;
    MeterPipeline pipeline{MeterVariant::IFHALVIN, locale, host};
    FrameDecoder& decoder = pipeline.decoder();

    DecoderFixture() {
        decoder.FullScaleCounts = 6000;
        decoder.tracker.TrackedMax = -6001.0f;
        decoder.tracker.TrackedMin = 6001.0f;
    }

    void decode(const std::string& frameHex) {
        decoder.FrameHex = frameHex;
        decoder.LcdDisplayHALVIN(1);
    }
};

} // namespace velkor::test
