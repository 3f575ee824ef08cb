#include "pipeline/MeterPipeline.h"

#include "pipeline/PassHost.h"

#include <cmath>

namespace velkor {

MeterPipeline::MeterPipeline(MeterVariant variant, const LocaleSource& locale, PassHost& host)
    : variant_(variant), host_(host), start_(makeStartValues(variant, locale)),
      decoder_(locale, *this),
      assembler_(start_.assembler, decoder_.FrameHex, [this] { decodeFrame(); }) {
    decoder_.FsDot = start_.FsDot;
    decoder_.FullScaleCounts = start_.FullScaleCounts;
    decoder_.tracker.TrackedMax = start_.TrackedMax;
    decoder_.tracker.TrackedMin = start_.TrackedMin;
    decoder_.tracker.TrackedUnitText = start_.TrackedUnitText;
    decoder_.display.digits[0] = start_.lcdDaText;
    decoder_.display.MinText = start_.MinTextCaption;
    decoder_.display.MaxText = start_.MaxTextCaption;
    decoder_.display.MinTextU = QStringLiteral("*");
    decoder_.display.MaxTextU = QStringLiteral("*");
    host.setVerticalAxis(start_.verticalAxisMaximum, start_.verticalAxisMinimum);
}

void MeterPipeline::decodeFrame() {
    ++framesOffered_;
    decoder_.LcdDisplayHALVIN(1);
    if (onDecoded_) {
        onDecoded_();
    }
}

// The limit texts follow the locale's separator, and the link shows data.
void MeterPipeline::passStarting(const QString& fsDot) {
    host_.normaliseLimitSeparators(fsDot);
    host_.frameArriving();
}

// What the program does with a decoded reading, in order: the chart shows
// the chosen series again for every tracker reset and takes the range's
// axis, the judge sets JudgeText, the bar follows a changed axis maximum,
// and the reading is logged now (continuous recording) or at the next
// sampling tick.
void MeterPipeline::handOff(Reading& reading, const PassOutcome& outcome) {
    for (int i = 0; i < outcome.trackerResets; ++i) {
        host_.showSeries(host_.fillChecked() ? 0 : 1);
    }
    if (outcome.axisLimit) {
        host_.setVerticalAxis(*outcome.axisLimit, -*outcome.axisLimit);
    }
    host_.judgeReading(reading);
    reading.FreshReading = true;
    const double axisMax = host_.verticalAxisMaximum();
    if (axisMax != LastAxisMaximum) {
        host_.setBarMaximum(static_cast<int>(std::trunc(axisMax)));
    }
    if (host_.samplingChecked()) {
        host_.setSamplingTimerEnabled(true);
    } else {
        host_.setSamplingTimerEnabled(false);
        host_.INDataToTable(0);
    }
    LastAxisMaximum = host_.verticalAxisMaximum();
}

} // namespace velkor
