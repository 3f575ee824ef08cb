#pragma once

#include "platform/Clock.h"
#include "platform/HandlerTimer.h"
#include "platform/MessageBoxes.h"
#include "chart/ChartModel.h"
#include "chart/TChartControl.h"
#include "sim/FrameEncoder.h"
#include "platform/LocaleSource.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/MeterSession.h"
#include "support/FixedClock.h"
#include "platform/headless/ManualTimer.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "support/FixedLocaleSource.h"

#include <string>

namespace velkor::test {

// A session as the window starts it: the pipeline of the default variant
// with the session as its host, the chart with its placeholder point and
// the controller over it, timers driven by hand, a fixed clock and locale.
struct SessionFixture {
    explicit SessionFixture(QString fsDot = QStringLiteral("."),
                            QString systemSeparator = QStringLiteral("."),
                            QLocale locale = QLocale::c())
        : locale(std::move(fsDot), std::move(systemSeparator), std::move(locale)) {
        session.attachChart(&chart, &chartCtrl);
        session.bindReading(pipeline.decoder().reading);
        session.applyLimitStartValues(pipeline.startValues());
        session.applyRecordStartValues(pipeline.startValues());
        chart.fillSampleValues(1);
    }

    // Decodes one frame of the given display text ("012.3", "-1.234", "0L").
    void frame(const std::string& display, std::array<std::uint8_t, 4> status = {
                                               status1::Auto | status1::DC, 0, 0, status4::Volt}) {
        pipeline.decoder().FrameHex = meterFrame(display, status).frameHex();
        pipeline.decodeFrame();
    }

    Reading& reading() { return pipeline.decoder().reading; }
    LimitJudge& limits() { return session.limits; }
    MeasurementLog& log() { return session.log; }
    MeasurementTable& table() { return session.cds1; }

    FixedLocaleSource locale;
    FixedClock clock;
    ManualTimer Timer1{500};
    ManualTimer Timer4{500};
    ManualTimer Timer3{1000};
    ScriptedMessageBoxes boxes;
    ChartModel chart;
    TChartControl chartCtrl{chart, 100, boxes};
    MeterSession session{{Timer1, Timer4, Timer3}, clock, locale};
    MeterPipeline pipeline{MeterVariant::IFHALVIN, locale, session};
};

} // namespace velkor::test
