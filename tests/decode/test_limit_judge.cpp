#include "pipeline/SessionTestSupport.h"

#include "decode/LimitJudge.h"
#include "decode/LocaleNumber.h"
#include "platform/headless/ManualTimer.h"

#include <gtest/gtest.h>

#include <optional>

using namespace velkor;
using velkor::test::SessionFixture;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// ----- Number parsing -------------------------------------------------------

struct NumberCase {
    const char* text;
    const char* fsDot;
    std::optional<double> value; // nullopt: does not parse
};

const NumberCase kNumbers[] = {
    {"6000", ".", 6000},
    {"-6000", ".", -6000},
    {"-0012", ".", -12},
    {"  +12.5\t", ".", 12.5},
    {"1,5", ",", 1.5},
    {".5", ".", 0.5},
    {"5.", ".", 5},
    {"1e3", ".", 1000},
    {"-2.5E-2", ".", -0.025},
    {"1,5e+1", ",", 15},
    {"12\u066B5", "\u066B", 12.5},
    {"1.5", ",", std::nullopt},     // the other separator
    {"1,234.5", ".", std::nullopt}, // no thousands separators
    {"1.234,5", ",", std::nullopt},
    {"1 000", ".", std::nullopt},
    {"1,5.5", ",", std::nullopt}, // a second separator
    {"1e", ".", std::nullopt},
    {"e5", ".", std::nullopt},
    {".", ".", std::nullopt},
    {"-", ".", std::nullopt},
    {"", ".", std::nullopt},
    {"   ", ".", std::nullopt},
    {"'", ".", std::nullopt},
    {"12`", ".", std::nullopt},
    {"0L", ".", std::nullopt}, // overload
    {"0.L", ".", std::nullopt},
    {"inf", ".", std::nullopt},
    {"nan", ".", std::nullopt},
    {"1e999", ".", std::nullopt},        // does not fit a double
    {"\u0661\u0662", ".", std::nullopt}, // digits other than 0-9
    {"-999999", ".", std::nullopt},      // the sentinel itself
    {"-999999.0", ".", std::nullopt},
};

class NumberTable : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTable, ParsesLikeTheLimitEdits) {
    const NumberCase& c = GetParam();
    const double v = parseLocaleNumber(u(c.text), u(c.fsDot));
    if (c.value) {
        EXPECT_DOUBLE_EQ(v, *c.value);
    } else {
        EXPECT_EQ(v, kUnparsedNumber);
    }
}
INSTANTIATE_TEST_SUITE_P(Judge, NumberTable, ::testing::ValuesIn(kNumbers));

// ----- Separator normalisation ------------------------------------------

struct SeparatorCase {
    const char* text;
    const char* fsDot;
    const char* normalised;
};

const SeparatorCase kSeparators[] = {
    {"1.5", ",", "1,5"},           {"1.5.5", ",", "1,5.5"}, // only the first one
    {"1,5", ".", "1.5"},           {"1,5,5", ".", "1.5,5"},
    {"1.5", ".", "1.5"},           {"1,5", ",", "1,5"},
    {"1.5", "\u066B", "1\u066B5"}, // any separator but "." replaces "."
    {"1,5", "\u066B", "1,5"},      {"", ",", ""},
};

class SeparatorTable : public ::testing::TestWithParam<SeparatorCase> {};

TEST_P(SeparatorTable, FirstForeignSeparatorBecomesTheUsersOne) {
    const SeparatorCase& c = GetParam();
    EXPECT_EQ(normalisedSeparator(u(c.text), u(c.fsDot)), u(c.normalised));
}
INSTANTIATE_TEST_SUITE_P(Judge, SeparatorTable, ::testing::ValuesIn(kSeparators));

// ----- Key filter ------------------------------------------------------------

struct KeyCase {
    char16_t key;
    const char* editText;
    const char* systemSeparator;
    const char* fsDot;
    bool accepted;
};

const KeyCase kKeys[] = {
    {u'7', "12", ".", ".", true},
    {u'0', "", ".", ".", true},
    {u'-', "12", ".", ".", true},
    {u'+', "", ".", ".", true},
    {8, "12", ".", ".", true},     // Backspace
    {u'\'', "12", ".", ".", true}, // accepted, later reverted
    {u'`', "12", ".", ".", true},
    {u'.', "12", ".", ".", true},
    {u'.', "1.2", ".", ".", false},   // a second separator
    {u'.', "1.2", " . ", ".", false}, // the system separator is trimmed
    {u',', "12", ".", ".", false},    // not the user's separator
    {u',', "12", ",", ",", true},
    {u',', "1,2", ",", ",", false},
    {u'.', "12", ",", ",", false},
    {u',', "12", ".", ",", true},  // system "." and user ",": one "," still passes
    {u'.', "1.2", "", ".", false}, // no system separator: the user's stands in
    {u'.', "12", "", ".", true},
    {u'a', "12", ".", ".", false},
    {u'e', "12", ".", ".", false},
    {u' ', "12", ".", ".", false},
    {13, "12", ".", ".", false}, // Enter
    {22, "12", ".", ".", false}, // Ctrl+V
    {127, "12", ".", ".", false},
    {0x066B, "12", "\u066B", "\u066B", false}, // a separator above code 255
    {0x0661, "12", ".", ".", false},           // other digits
    {0xFF10, "12", ".", ".", false},           // full-width 0
};

class KeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTable, FilterPassesTheKeysOfASignedNumber) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(limitKeyAccepted(QChar(c.key), u(c.editText), u(c.systemSeparator), u(c.fsDot)),
              c.accepted)
        << "key " << int(c.key) << " into '" << c.editText << "'";
}
INSTANTIATE_TEST_SUITE_P(Judge, KeyTable, ::testing::ValuesIn(kKeys));

TEST(LimitKeyPress, EachEditFiltersAgainstItsOwnText) {
    ManualTimer t1, t4;
    LimitJudge j(t1, t4);
    j.systeminfomation = QStringLiteral(".");
    j.T1HIChange(QStringLiteral("1.5"));
    EXPECT_FALSE(j.T1HIKeyPress(QLatin1Char('.')));
    EXPECT_TRUE(j.T1LOKeyPress(QLatin1Char('.')));
    EXPECT_FALSE(j.T1LOKeyPress(QLatin1Char('x')));
}

// ----- The judge in the pass ------------------------------------------------

struct JudgeCase {
    const char* hi;
    const char* lo;
    const char* display; // the meter's display
    Verdict verdict;
};

const JudgeCase kJudges[] = {
    {"6000", "-6000", "5999", Verdict::Pass},
    {"6000", "-6000", "-5999", Verdict::Pass},
    {"12.3", "0", "12.3", Verdict::Pass},     // the upper limit itself
    {"12.3", "12.3", "12.3", Verdict::Pass},  // both limits
    {"100", "-0012", "-0012", Verdict::Pass}, // -0012 is -12: the lower limit
    {"100", "-11", "-0012", Verdict::Fail},
    {"12.29", "0", "12.3", Verdict::Fail},
    {"20", "12.31", "12.3", Verdict::Fail},
    {"6000", "-6000", "0L", Verdict::Fail}, // overload never parses
    {"6000", "-6000", "-0.L", Verdict::Fail},
    {"0", "1", "0.500", Verdict::Fail}, // lower above upper: everything fails
    {" 1e1 ", "-1E1", "9.999", Verdict::Pass},
};

class JudgeTable : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(JudgeTable, LimitsAreInclusive) {
    const JudgeCase& c = GetParam();
    SessionFixture f;
    f.limits().T1HIChange(u(c.hi));
    f.limits().T1LOChange(u(c.lo));
    f.frame(c.display);
    const bool pass = c.verdict == Verdict::Pass;
    EXPECT_EQ(f.limits().panel.verdict, c.verdict);
    EXPECT_EQ(f.limits().panel.judgeCaption,
              pass ? QStringLiteral("Pass") : QStringLiteral("Fail"));
    EXPECT_EQ(f.reading().JudgeText, pass ? QStringLiteral("pass") : QStringLiteral("Fail"));
    EXPECT_EQ(f.limits().panel.T1VALUE, f.reading().ValueText);
}
INSTANTIATE_TEST_SUITE_P(Judge, JudgeTable, ::testing::ValuesIn(kJudges));

TEST(Judge, PanelStartsWithoutVerdict) {
    SessionFixture f;
    EXPECT_EQ(f.limits().panel.verdict, Verdict::None);
    EXPECT_EQ(f.limits().panel.T1VALUE, QStringLiteral("0"));
    EXPECT_TRUE(f.limits().panel.judgeCaption.isEmpty());
    EXPECT_EQ(f.limits().T1HI(), QStringLiteral("6000"));
    EXPECT_EQ(f.limits().T1LO(), QStringLiteral("-6000"));
}

// An unparsable limit makes no verdict: the value is shown, the verdict and
// JudgeText of the frame before stay; the row logged gets the old JudgeText.
TEST(Judge, UnparsableLimitKeepsThePreviousVerdict) {
    for (const char* which : {"hi", "lo"}) {
        for (const char* bad : {"'", "-999999", "", "1.2.3", "+"}) {
            SessionFixture f;
            f.frame("012.3");
            ASSERT_EQ(f.limits().panel.verdict, Verdict::Pass);
            if (which == std::string("hi")) {
                f.limits().T1HIChange(u(bad));
            } else {
                f.limits().T1LOChange(u(bad));
            }
            f.frame("0L"); // would fail
            EXPECT_EQ(f.limits().panel.T1VALUE, QStringLiteral("0L")) << which << " " << bad;
            EXPECT_EQ(f.limits().panel.verdict, Verdict::Pass) << which << " " << bad;
            EXPECT_EQ(f.reading().JudgeText, QStringLiteral("pass")) << which << " " << bad;
            EXPECT_EQ(f.table().row(1).Auto, QStringLiteral("pass"));
        }
    }
}

// ----- Validation timers ----------------------------------------------------

TEST(LimitValidation, EveryChangeRestartsTheTimer) {
    ManualTimer t1(500), t4(500);
    LimitJudge j(t1, t4);
    j.T1HIChange(QStringLiteral("1"));
    j.T1HIChange(QStringLiteral("12"));
    EXPECT_TRUE(t1.enabled());
    EXPECT_EQ(t1.countdowns, 2);
    EXPECT_FALSE(t4.enabled());
    j.T1LOChange(QStringLiteral("-1"));
    EXPECT_TRUE(t4.enabled());
}

struct ValidationCase {
    const char* typed;
    const char* fsDot;
    const char* after; // text of the edit after the timer
};

const ValidationCase kValidations[] = {
    {"123", ".", "123"}, {"1.5", ".", "1.5"},      {"'", ".", "6000"},   {"12`", ".", "6000"},
    {"", ".", "6000"},   {"-999999", ".", "6000"}, {"1.5", ",", "6000"}, {"1,5", ",", "1,5"},
};

class ValidationTable : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(ValidationTable, UnparsableTextRevertsAndTheTimerStops) {
    const ValidationCase& c = GetParam();
    for (bool upper : {true, false}) {
        ManualTimer t1(500), t4(500);
        LimitJudge j(t1, t4);
        j.FsDot = u(c.fsDot);
        ManualTimer& timer = upper ? t1 : t4;
        const QString start = upper ? QStringLiteral("6000") : QStringLiteral("-6000");
        QString expected = u(c.after);
        if (!upper && expected == QStringLiteral("6000")) {
            expected = start;
        }
        if (upper) {
            j.T1HIChange(u(c.typed));
            j.Timer1Timer();
        } else {
            j.T1LOChange(u(c.typed));
            j.Timer4Timer();
        }
        EXPECT_EQ(upper ? j.T1HI() : j.T1LO(), expected) << c.typed;
        EXPECT_EQ(upper ? j.UpperLimitText : j.LowerLimitText, expected) << c.typed;
        EXPECT_FALSE(timer.enabled());
    }
}
INSTANTIATE_TEST_SUITE_P(Judge, ValidationTable, ::testing::ValuesIn(kValidations));

// The accepted text moves with each valid check: a later bad text falls back
// to the last good one, not to the start value.
TEST(LimitValidation, RevertsToTheLastAcceptedText) {
    ManualTimer t1(500), t4(500);
    LimitJudge j(t1, t4);
    j.T1HIChange(QStringLiteral("42"));
    j.Timer1Timer();
    j.T1HIChange(QStringLiteral("4'"));
    j.Timer1Timer();
    EXPECT_EQ(j.T1HI(), QStringLiteral("42"));
    EXPECT_FALSE(t1.enabled());
}

// With "," as the user's separator the next frame turns a pasted 1.5 into
// 1,5 (which then parses and judges) and 1.5.5 into 1,5.5, which the timer
// puts back.
TEST(LimitValidation, NormalisationOfTheNextFrame) {
    SessionFixture f(QStringLiteral(","), QStringLiteral(","));
    f.limits().T1LOChange(QStringLiteral("1.5"));
    f.limits().Timer4Timer(); // "1.5" does not parse with ","
    EXPECT_EQ(f.limits().T1LO(), QStringLiteral("-6000"));

    f.limits().T1LOChange(QStringLiteral("1.5"));
    const int countdowns = f.Timer4.countdowns;
    f.frame("01.23");
    EXPECT_EQ(f.limits().T1LO(), QStringLiteral("1,5"));
    EXPECT_EQ(f.Timer4.countdowns, countdowns + 1);     // a change like a typed one
    EXPECT_EQ(f.limits().panel.verdict, Verdict::Fail); // 1,23 < 1,5
    f.limits().Timer4Timer();
    EXPECT_EQ(f.limits().LowerLimitText, QStringLiteral("1,5"));

    f.limits().T1HIChange(QStringLiteral("1.5.5"));
    f.frame("01.23");
    EXPECT_EQ(f.limits().T1HI(), QStringLiteral("1,5.5"));
    f.limits().Timer1Timer();
    EXPECT_EQ(f.limits().T1HI(), QStringLiteral("6000"));
    EXPECT_FALSE(f.Timer1.enabled());
}

TEST(LimitValidation, FrameWithoutForeignSeparatorLeavesTheTimersAlone) {
    SessionFixture f;
    f.frame("012.3");
    EXPECT_EQ(f.Timer1.countdowns, 0);
    EXPECT_EQ(f.Timer4.countdowns, 0);
}

} // namespace
