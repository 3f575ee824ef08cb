#include "decode/StartValues.h"

#include "platform/LocaleSource.h"

namespace velkor {

MeterProfile profileForScaleCode(const QString& scaleCode) {
    if (scaleCode == QLatin1String("6")) {
        return {6000, -6001.0f, 6001.0f, QStringLiteral("6001"), QStringLiteral("-6001"), 6000};
    }
    if (scaleCode == QLatin1String("34")) {
        return {3400, -3401.0f, 3401.0f, QStringLiteral("3401"), QStringLiteral("-3401"), 3400};
    }
    return {4000, -4001.0f, 4001.0f, QStringLiteral("4001"), QStringLiteral("-4001"), 4000};
}

StartValues makeStartValues(MeterVariant variant, const LocaleSource& locale) {
    StartValues s;
    s.chartRange = 100;
    // The locale's decimal separators.
    s.systeminfomation = locale.systemDecimalSeparator();
    s.FsDot = locale.userDecimalSeparator();
    // The "4" profile until the variant names another.
    s.ScaleCode = QStringLiteral("4");
    s.FullScaleCounts = 4000;
    s.TrackedMax = -4001.0f;
    s.TrackedMin = 4001.0f;
    s.TrackedUnitText = QStringLiteral("113");
    s.NextRecordNo = 1;
    s.MaxRecords = 10000;
    s.UpperLimitText = QStringLiteral("6000");
    s.LowerLimitText = QStringLiteral("-6000");
    // What the build's variant sets.
    const VariantInfo& v = variantInfo(variant);
    s.assembler = v.assembler;
    s.caption = QString::fromUtf8(v.caption);
    s.serialBaud = v.serialBaud;
    if (v.scaleCode) {
        s.ScaleCode = QString::fromLatin1(*v.scaleCode);
    }
    s.lcdDaText = v.lcdDaText ? QString::fromLatin1(*v.lcdDaText) : QStringLiteral("5");
    // The "4" profile stands unless the variant names "6" or "34".
    const MeterProfile designed = profileForScaleCode(QStringLiteral("4"));
    s.MinTextCaption = designed.MinTextCaption;
    s.MaxTextCaption = designed.MaxTextCaption;
    if (s.ScaleCode == QLatin1String("6") || s.ScaleCode == QLatin1String("34")) {
        const MeterProfile p = profileForScaleCode(s.ScaleCode);
        s.FullScaleCounts = p.FullScaleCounts;
        s.TrackedMax = p.TrackedMax;
        s.TrackedMin = p.TrackedMin;
        s.MinTextCaption = p.MinTextCaption;
        s.MaxTextCaption = p.MaxTextCaption;
    }
    // The chart's vertical axis spans the display.
    s.verticalAxisMaximum = s.FullScaleCounts;
    s.verticalAxisMinimum = -s.FullScaleCounts;
    return s;
}

} // namespace velkor
