// The JSON of a published row: exact text, escaping, numbers, timestamps.

#include "meter/Reading.h"
#include "record/LogRecord.h"
#include "json/LoggedReading.h"
#include "json/ReadingJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTimeZone>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>

namespace velkor::json {
namespace {

QDateTime at(int offsetSeconds, int msec = 120) {
    return QDateTime(QDate(2026, 12, 10), QTime(21, 5, 3, msec), QTimeZone(offsetSeconds));
}

JsonReading reading() {
    JsonReading r;
    r.no = 12;
    r.timestamp = at(9 * 3600);
    r.function = QStringLiteral("DC");
    r.value = QStringLiteral("123.4");
    r.unit = QStringLiteral("mV");
    r.si = 0.1234;
    r.judge = QStringLiteral("GO");
    r.marks = {QStringLiteral("AUTO"), QStringLiteral("HOLD")};
    return r;
}

TEST(ReadingJson, WholeRowInFieldOrder) {
    EXPECT_EQ(readingJson(reading()),
              QByteArray(R"({"no":12,"timestamp":"2026-12-10T21:05:03.120+09:00","function":"DC",)"
                         R"("value":"123.4","unit":"mV","si":0.1234,"judge":"GO",)"
                         R"("marks":["AUTO","HOLD"]})"));
}

TEST(ReadingJson, OverloadEmptyTextsAndNoMarks) {
    JsonReading r;
    r.no = 1;
    r.timestamp = at(0, 0);
    r.value = QStringLiteral("OL");
    r.unit = QStringLiteral("MΩ");
    r.si = std::nullopt;
    EXPECT_EQ(readingJson(r),
              QByteArray(R"({"no":1,"timestamp":"2026-12-10T21:05:03.000+00:00","function":"",)"
                         R"("value":"OL","unit":")"
                         "M\xCE\xA9"
                         R"(","si":null,"judge":"","marks":[]})"));
}

struct TimestampCase {
    QDateTime moment;
    const char* expected; // nullptr: null
};

TEST(ReadingJson, Timestamps) {
    const TimestampCase cases[] = {
        {at(9 * 3600), "2026-12-10T21:05:03.120+09:00"},
        {at(-(3 * 3600 + 30 * 60), 7), "2026-12-10T21:05:03.007-03:30"},
        {at(5 * 3600 + 45 * 60, 999), "2026-12-10T21:05:03.999+05:45"},
        {QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6), QTimeZone::utc()),
         "2026-01-02T03:04:05.006+00:00"},
        // A zone with daylight saving: the offset of that moment.
        {QDateTime(QDate(2026, 7, 1), QTime(12, 0), QTimeZone("Europe/Berlin")),
         "2026-07-01T12:00:00.000+02:00"},
        {QDateTime(QDate(2026, 1, 1), QTime(12, 0), QTimeZone("Europe/Berlin")),
         "2026-01-01T12:00:00.000+01:00"},
        // An offset with seconds has no ISO form: the same moment in UTC.
        {QDateTime(QDate(2026, 1, 1), QTime(12, 0), QTimeZone(3600 + 30)),
         "2026-01-01T10:59:30.000+00:00"},
        {QDateTime(), nullptr},
        {QDateTime(QDate(10000, 1, 1), QTime(0, 0), QTimeZone::utc()), nullptr},
    };
    for (const TimestampCase& c : cases) {
        JsonReading r;
        r.timestamp = c.moment;
        const QJsonObject o = QJsonDocument::fromJson(readingJson(r)).object();
        if (c.expected) {
            EXPECT_EQ(o.value(QLatin1String("timestamp")).toString(),
                      QString::fromUtf8(c.expected));
            EXPECT_EQ(QDateTime::fromString(o.value(QLatin1String("timestamp")).toString(),
                                            Qt::ISODateWithMs),
                      c.moment);
        } else {
            EXPECT_TRUE(o.value(QLatin1String("timestamp")).isNull()) << qPrintable(readingJson(r));
        }
    }
}

TEST(ReadingJson, TheLocalTimeCarriesItsOffset) {
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    JsonReading r;
    r.timestamp = QDateTime(QDate(2026, 12, 10), QTime(21, 5, 3, 120));
    EXPECT_TRUE(readingJson(r).contains(R"("timestamp":"2026-12-10T21:05:03.120+09:00")"))
        << readingJson(r).constData();
    qunsetenv("TZ");
    tzset();
}

struct StringCase {
    QString text;
    QByteArray json;
};

TEST(ReadingJson, StringsAreEscapedExactly) {
    const StringCase cases[] = {
        {QStringLiteral("plain"), R"("plain")"},
        {QStringLiteral("a\"b"), R"("a\"b")"},
        {QStringLiteral("a\\b"), R"("a\\b")"},
        {QStringLiteral("a/b"), R"("a/b")"},
        {QStringLiteral("\b\f\n\r\t"), R"("\b\f\n\r\t")"},
        {QString(QChar(0)) + QChar(0x01) + QChar(0x1F) + QChar(0x7F),
         "\"\\u0000\\u0001\\u001f\x7f\""},
        {QStringLiteral("\u2028\u2029"), R"("\u2028\u2029")"},
        {QStringLiteral("Ω °C µF"), "\"\xCE\xA9 \xC2\xB0"
                                    "C \xC2\xB5"
                                    "F\""},
        {QStringLiteral("過負荷"), "\"\xE9\x81\x8E\xE8\xB2\xA0\xE8\x8D\xB7\""},
        {QString::fromUcs4(U"\U0001F600"), "\"\xF0\x9F\x98\x80\""},
        // Half a surrogate pair is no character: the replacement character.
        {QString(QChar(0xD800)) + QLatin1Char('x'), "\"\xEF\xBF\xBDx\""},
        {QString(QChar(0xDC00)), "\"\xEF\xBF\xBD\""},
    };
    for (const StringCase& c : cases) {
        QByteArray out;
        appendJsonString(out, c.text);
        EXPECT_EQ(out, c.json);
        // And a JSON reader gets the text back (the broken pair aside).
        if (!c.json.contains("\xEF\xBF\xBD")) {
            JsonReading r;
            r.value = c.text;
            r.marks = {c.text};
            const QJsonObject o = QJsonDocument::fromJson(readingJson(r)).object();
            EXPECT_EQ(o.value(QLatin1String("value")).toString(), c.text);
            EXPECT_EQ(o.value(QLatin1String("marks")).toArray().at(0).toString(), c.text);
        }
    }
}

TEST(ReadingJson, SiNumbersAreShortestRoundTrip) {
    struct Case {
        std::optional<double> si;
        const char* json;
    };
    const Case cases[] = {
        {0.1234, "0.1234"},
        {123.4, "123.4"},
        {-5.0, "-5"},
        {0.0, "0"},
        {1e-7, "1e-07"},
        {4.7e-12, "4.7e-12"},
        {40000000.0, "4e+07"}, // shorter than 40000000, and JSON alike
        {1e21, "1e+21"},
        {0.1 + 0.2, "0.30000000000000004"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {std::numeric_limits<double>::infinity(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"},
        {std::nullopt, "null"},
    };
    for (const Case& c : cases) {
        JsonReading r;
        r.si = c.si;
        const QByteArray json = readingJson(r);
        const QByteArray expected = QByteArray(",\"si\":") + c.json + ",";
        EXPECT_TRUE(json.contains(expected))
            << json.constData() << " lacks " << expected.constData();
        const QJsonDocument doc = QJsonDocument::fromJson(json);
        ASSERT_TRUE(doc.isObject()) << json.constData();
        if (c.si && std::isfinite(*c.si)) {
            EXPECT_EQ(doc.object().value(QLatin1String("si")).toDouble(), *c.si);
        }
    }
}

TEST(ReadingJson, NumbersIgnoreTheLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    const QLocale savedDefault;
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    JsonReading r = reading();
    r.no = 1234567;
    r.si = 1234.5;
    const QByteArray json = readingJson(r);
    std::setlocale(LC_ALL, saved.c_str());
    QLocale::setDefault(savedDefault);
    EXPECT_TRUE(json.startsWith("{\"no\":1234567,")) << json.constData();
    EXPECT_TRUE(json.contains(",\"si\":1234.5,")) << json.constData();
}

TEST(ReadingJson, LargeRowNumbers) {
    JsonReading r;
    r.no = 9007199254740993LL; // above 2^53: written exactly
    EXPECT_TRUE(readingJson(r).startsWith("{\"no\":9007199254740993,"));
}

// A logged row gives its texts, the unit readable and the value in the base
// unit; an overload has none; the range mode is its mark.
TEST(ReadingJson, ALoggedRowWithItsUnitReadableAndItsBaseValue) {
    Reading reading;
    reading.RangeModeText = QStringLiteral("AUTO");
    const LogRecord row{12,
                        QStringLiteral("21:05:03"),
                        QStringLiteral("OHM"),
                        QStringLiteral("4.700"),
                        QStringLiteral("k*"),
                        QStringLiteral("Fail"),
                        std::nullopt};
    const JsonReading r = loggedReading(row, at(9 * 3600), readingMarks(reading));
    EXPECT_EQ(readingJson(r), QByteArray(R"({"no":12,"timestamp":"2026-12-10T21:05:03.120+09:00",)"
                                         R"("function":"OHM","value":"4.700","unit":"k)"
                                         "\xCE\xA9"
                                         R"(","si":4700,"judge":"Fail","marks":["AUTO"]})"))
        << readingJson(r).constData();

    LogRecord overload = row;
    overload.Value = QStringLiteral("0L");
    const JsonReading o = loggedReading(overload, at(0), readingMarks(Reading{}));
    EXPECT_FALSE(o.si.has_value());
    EXPECT_TRUE(o.marks.isEmpty());
}

} // namespace
} // namespace velkor::json
