#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace velkor::json {

// One logged row as programs elsewhere read it (published to a broker,
// served to a browser): the fields of the log's CSV row.
struct JsonReading {
    qint64 no = 0;
    QDateTime timestamp;      // written with its UTC offset
    QString function;         // DC, AC, ...
    QString value;            // the displayed text ("12.34", "OL")
    QString unit;             // readable: V, mV, Ω, °C, ...
    std::optional<double> si; // the value in the base unit; none for overload
    QString judge;
    QStringList marks;
};

// The reading as one JSON object in UTF-8, fields in this order:
//   {"no":12,"timestamp":"2026-12-10T21:05:03.120+09:00","function":"DC",
//    "value":"123.4","unit":"mV","si":0.1234,"judge":"GO","marks":["AUTO"]}
// Numbers are written with '.' in any locale, si as the shortest text that
// reads back as the same double, and null when it is missing or not finite
// (JSON has no NaN or infinity). An invalid timestamp is null too.
QByteArray readingJson(const JsonReading& reading);

// A JSON string literal, quotes included.
void appendJsonString(QByteArray& out, QStringView text);

} // namespace velkor::json
