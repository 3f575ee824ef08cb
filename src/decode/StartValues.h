#pragma once

#include "decode/MeterVariant.h"

#include <QString>

namespace velkor {

class LocaleSource;

// The display profile chosen by ScaleCode.
struct MeterProfile {
    int FullScaleCounts;
    float TrackedMax;
    float TrackedMin;
    QString MinTextCaption;
    QString MaxTextCaption;
    int verticalAxisLimit; // the chart's vertical axis runs from -limit to +limit
};

MeterProfile profileForScaleCode(const QString& scaleCode);

// The start values of the shared state that are not widgets, in the order the
// start-up gives them.
struct StartValues {
    int chartRange = 100;           // 1: chartCtrl's page length
    QString systeminfomation;       // 2: system decimal separator, empty when unknown
    QString FsDot;                  // 3: user decimal separator
    QString ScaleCode;              // 4, 11
    int FullScaleCounts = 4000;     // 4, 12
    float TrackedMax = -4001.0f;    // 4, 12
    float TrackedMin = 4001.0f;     // 4, 12
    QString TrackedUnitText;        // 5
    int NextRecordNo = 1;           // 7
    int MaxRecords = 10000;         // 7
    QString UpperLimitText;         // 10
    QString LowerLimitText;         // 10
    QString caption;                // 11
    SerialAssemblerKind assembler = SerialAssemblerKind::Byte; // 11
    int serialBaud = 2400;          // 11
    QString lcdDaText;              // 11: first display digit at start
    QString MinTextCaption;         // 12
    QString MaxTextCaption;         // 12
    int verticalAxisMinimum = -4000; // 13
    int verticalAxisMaximum = 4000;  // 13
};

StartValues makeStartValues(MeterVariant variant, const LocaleSource& locale);

} // namespace velkor
