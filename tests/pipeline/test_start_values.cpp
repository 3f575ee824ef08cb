#include "platform/LocaleSource.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "decode/StartValues.h"
#include "support/FixedLocaleSource.h"

#include <gtest/gtest.h>

using namespace velkor;

namespace {

struct VariantCase {
    MeterVariant variant;
    const char* caption;
    SerialAssemblerKind assembler;
    int baud;
    int fullScale;
    const char* minCaption;
    const char* maxCaption;
    const char* firstDigit;
};

const VariantCase kVariants[] = {
    {MeterVariant::IFCASTEM, "BRANLO Interface Program _Ver: 2.00", SerialAssemblerKind::Nibble,
     2400, 4000, "4001", "-4001", "3"},
    {MeterVariant::IFMIRELO, "MIRELO USB Interface Program _Ver: 1.00", SerialAssemblerKind::Byte,
     2400, 4000, "4001", "-4001", "5"},
    {MeterVariant::IFDORVAN, "VELKOR Interface Program _Ver: 2.06", SerialAssemblerKind::Byte, 2400,
     3400, "3401", "-3401", "5"},
    {MeterVariant::IFFENWIK, "FENWIK USB Interface Program _Ver: 1.00", SerialAssemblerKind::Byte,
     19200, 4000, "4001", "-4001", "5"},
    {MeterVariant::IFGORSEL, "GORSEL USB Interface Program _Ver: 1.00", SerialAssemblerKind::Byte,
     19200, 4000, "4001", "-4001", "5"},
    {MeterVariant::IFHALVIN, "MELDRA for VELKOR_Ver.1.00", SerialAssemblerKind::Byte, 2400, 6000,
     "6001", "-6001", "5"},
};

class StartValuesTable : public ::testing::TestWithParam<VariantCase> {};

TEST_P(StartValuesTable, VariantGivesItsProfile) {
    const VariantCase& c = GetParam();
    FixedLocaleSource locale(QStringLiteral(","), QStringLiteral("."));
    const StartValues s = makeStartValues(c.variant, locale);
    EXPECT_EQ(s.caption, QString::fromUtf8(c.caption));
    EXPECT_EQ(s.assembler, c.assembler);
    EXPECT_EQ(s.serialBaud, c.baud);
    EXPECT_EQ(s.FullScaleCounts, c.fullScale);
    EXPECT_EQ(s.TrackedMax, -(c.fullScale + 1.0f));
    EXPECT_EQ(s.TrackedMin, c.fullScale + 1.0f);
    EXPECT_EQ(s.MinTextCaption, QString::fromLatin1(c.minCaption));
    EXPECT_EQ(s.MaxTextCaption, QString::fromLatin1(c.maxCaption));
    EXPECT_EQ(s.verticalAxisMaximum, c.fullScale);
    EXPECT_EQ(s.verticalAxisMinimum, -c.fullScale);
    EXPECT_EQ(s.lcdDaText, QString::fromLatin1(c.firstDigit));
    // The same in every variant.
    EXPECT_EQ(s.UpperLimitText, QStringLiteral("6000"));
    EXPECT_EQ(s.LowerLimitText, QStringLiteral("-6000"));
    EXPECT_EQ(s.TrackedUnitText, QStringLiteral("113"));
    EXPECT_EQ(s.NextRecordNo, 1);
    EXPECT_EQ(s.MaxRecords, 10000);
    EXPECT_EQ(s.chartRange, 100);
    EXPECT_EQ(s.FsDot, QStringLiteral(","));
    EXPECT_EQ(s.systeminfomation, QStringLiteral("."));

    // A pipeline starts its decoder and the chart axis from the same values.
    PassHost host;
    MeterPipeline pipeline(c.variant, locale, host);
    EXPECT_EQ(pipeline.decoder().FullScaleCounts, c.fullScale);
    EXPECT_EQ(pipeline.decoder().display.digits[0], QString::fromLatin1(c.firstDigit));
    EXPECT_EQ(host.verticalAxisMaximum(), c.fullScale);
    EXPECT_EQ(pipeline.assembler().kind(), c.assembler);
}

INSTANTIATE_TEST_SUITE_P(AllVariants, StartValuesTable, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(variantName(info.param.variant)); });

TEST(MeterVariant, NamesRoundTripAndUnknownNamesAreRefused) {
    for (MeterVariant v : kAllVariants) {
        EXPECT_EQ(variantFromName(variantName(v)), v);
    }
    EXPECT_FALSE(variantFromName("ifhalvin").has_value());
    EXPECT_FALSE(variantFromName("").has_value());
}

TEST(StartValues, OverloadAfterTheFirstFrameUsesTheFullScaleThatFrameSet) {
    FixedLocaleSource locale(QStringLiteral("."));
    PassHost host;
    MeterPipeline pipeline(MeterVariant::IFMIRELO, locale, host);
    const std::uint8_t b[] = {0x0A, 0x2B, '0', '0', '0', '0', 0x20, '0', 0x30, 0, 0, 0x80, 0, 0x0D, 0x0A};
    pipeline.receive(b, sizeof b);
    // A 4000-count build, but the first frame (volts) set 6000 for the next.
    const std::uint8_t o[] = {0x2B, 0x3F, '0', '0', '0', 0x20, '0', 0x30, 0, 0, 0x80, 0, 0x0D, 0x0A};
    pipeline.receive(o, sizeof o);
    EXPECT_EQ(pipeline.decoder().reading.CountValue, 6001) << "the first pass set 6000 for volts";
    EXPECT_EQ(pipeline.framesOffered(), 2);
}

} // namespace
