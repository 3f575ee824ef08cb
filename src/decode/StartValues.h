#pragma once

#include "meter/MeterVariant.h"

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
    int chartRange = 100;        // chartCtrl's page length
    QString systeminfomation;    // system decimal separator, empty when unknown
    QString FsDot;               // user decimal separator
    QString ScaleCode;           // the display size the variant names
    int FullScaleCounts = 4000;  // of the display profile
    float TrackedMax = -4001.0f; // of the display profile
    float TrackedMin = 4001.0f;  // of the display profile
    QString TrackedUnitText;     // matches no unit, so the first reading resets
    int NextRecordNo = 1;
    int MaxRecords = 10000;
    QString UpperLimitText;
    QString LowerLimitText;
    QString caption; // the window caption of the variant
    SerialAssemblerKind assembler = SerialAssemblerKind::Byte;
    int serialBaud = 2400;
    QString lcdDaText;               // first display digit at start
    QString MinTextCaption;          // of the display profile
    QString MaxTextCaption;          // of the display profile
    int verticalAxisMinimum = -4000; // the chart's vertical axis, -FullScaleCounts
    int verticalAxisMaximum = 4000;  // to +FullScaleCounts
};

StartValues makeStartValues(MeterVariant variant, const LocaleSource& locale);

} // namespace velkor
