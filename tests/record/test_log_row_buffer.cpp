// The compact row buffer the log files read into: every text comes back as
// it went in (cut to the field width), and a log of distinct texts costs a
// few tens of bytes a text.
#include "record/LogRowBuffer.h"
#include "record/LogTestSupport.h"

using namespace velkor;
using namespace velkor::test;

namespace {

TEST(LogRowBuffer, GivesBackEveryTextAsItWentIn) {
    const std::vector<LogRecord> in = {
        rec(1, "09:05:03", "DC", "012.3", "\u00B5A", "pass"), // Latin-1 micro sign
        rec(2, "09:05:03", "DC", "012.3", "\u03BCA", "pass"), // Greek mu: another text
        rec(std::nullopt, "", "交流", "-0.456", "\u2126", "合格", 7),
        rec(3, "12345678901234567890xyz", "\U0001F600\U0001F600", "1.5", "V", "Fail"),
        rec(4, "1234567890123456789\U0001F600", "ÿ", "", "", "pass"),
        rec(5, "09:05:03", "DC", "012.3", "\u00B5A", "pass"),
    };
    LogRowBuffer rows;
    for (const LogRecord& r : in) {
        rows.append(r);
    }
    ASSERT_EQ(rows.rowCount(), qsizetype(in.size()));
    std::vector<LogRecord> out;
    for (qsizetype i = 0; i < rows.rowCount(); ++i) {
        out.push_back(rows.row(i));
        for (int f = 1; f <= 5; ++f) {
            const QString* texts[5] = {&out.back().Time, &out.back().DCAC, &out.back().Value,
                                       &out.back().Unit, &out.back().Auto};
            EXPECT_EQ(rows.text(i, f), *texts[f - 1]);
        }
    }
    std::vector<LogRecord> expected = in;
    expected[3].Time = QStringLiteral("12345678901234567890");
    expected[4].Time = QStringLiteral("1234567890123456789"); // not between a pair's halves
    EXPECT_EQ(show(out), show(expected));
}

TEST(LogRowBuffer, ATextIsHeldOnceWhicheverFormItCameIn) {
    // Plain bytes from a file and wide strings from the table meet in one
    // buffer: the same characters are the same text, of every length
    // around the hash's four-character steps and past the field width.
    const std::vector<QByteArray> texts = {"V",
                                           "mV",
                                           "k\xB5",
                                           "1.50",
                                           "0.0001",
                                           "12:00:01",
                                           "\xB0"
                                           "C x",
                                           "12345678901234567890",
                                           "123456789012345678901234"};
    LogRowBuffer rows;
    for (const QByteArray& t : texts) {
        const QLatin1String l(t);
        rows.append(1, LogRowBuffer::Latin1Texts{l, l, l, l, l});
    }
    const std::uint32_t held = rows.textNumbers();
    for (const QByteArray& t : texts) {
        const QString wide = QString::fromLatin1(t);
        rows.append(2, LogRowBuffer::Texts{wide, wide, wide, wide, wide});
    }
    EXPECT_EQ(rows.textNumbers(), held) << "no text was held twice";
    const auto n = static_cast<qsizetype>(texts.size());
    for (qsizetype i = 0; i < n; ++i) {
        for (int f = 1; f <= 5; ++f) {
            EXPECT_EQ(rows.textNumber(i, f), rows.textNumber(n + i, f));
            EXPECT_EQ(rows.text(n + i, f), QString::fromLatin1(texts[i].left(20)));
        }
    }
}

TEST(LogRowBuffer, DistinctTextsCostTensOfBytesEach) {
    // Every text different, as in a hostile file: a string object each
    // took over a hundred bytes. Measured past the first texts, which are
    // also kept as string objects.
    LogRowBuffer rows;
    auto addRows = [&rows](int from, int to) {
        for (int i = from; i < to; ++i) {
            const QString n = QStringLiteral("%1").arg(i, 19, 10, QLatin1Char('0'));
            rows.append(rec(i, u't' + n, u'd' + n, u'v' + n, u'u' + n, u'a' + n));
        }
    };
    addRows(0, 60000);
    const auto before = static_cast<double>(rows.bytes());
    addRows(60000, 100000);
    const double perText = (static_cast<double>(rows.bytes()) - before - 40000.0 * 32) / 200000.0;
    EXPECT_LT(perText, 72.0);
    EXPECT_EQ(rows.text(99999, 3), QStringLiteral("v0000000000000099999"));
    EXPECT_EQ(rows.text(1, 3), QStringLiteral("v0000000000000000001"));
}

} // namespace
