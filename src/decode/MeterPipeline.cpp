#include "decode/MeterPipeline.h"

#include "decode/PassHost.h"

namespace velkor {

MeterPipeline::MeterPipeline(MeterVariant variant, const LocaleSource& locale, PassHost& host)
    : variant_(variant), start_(makeStartValues(variant, locale)), decoder_(locale, host),
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

} // namespace velkor
