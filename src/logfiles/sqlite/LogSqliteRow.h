#pragma once

#include "logfiles/sqlite/SqliteDatabase.h"
#include "meter/Marks.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <string>

namespace velkor::sqlite {

// A row of the readings table as it goes in: the log's texts in UTF-8 (each
// valid while the row is inserted), the rest as values.
struct ReadingRow {
    std::optional<qint32> no;
    std::optional<qint64> utcMs;
    int utcOffset = 0;
    QByteArrayView time, function, value, judge, unitCode;
    std::optional<MarkSet> marks;
    QByteArrayView frame;
    std::optional<qint32> nval;
};

// Inserts rows into the readings table of one run, working out what the
// table holds beside the log's own fields: the readable unit, the base
// unit and the value in it, the marks by name. A log's units and values
// repeat, so the last ones worked out are kept.
class ReadingInserter {
public:
    explicit ReadingInserter(Database& db);
    bool ok() const { return insert_.ok(); }
    // One row of run `run`; false when the insert fails.
    bool insert(qint64 run, const ReadingRow& row);

private:
    void deriveUnit(QByteArrayView unitCode);
    void deriveValue(QByteArrayView value);

    Statement insert_;
    // The unit last worked out: its code, readable form and base unit.
    std::string unitCode_;
    bool unitKnown_ = false;
    QByteArray readable_, base_;
    QString unitText_;
    // The value last worked out, in the unit last worked out.
    std::string value_;
    std::optional<double> si_;
    bool valueKnown_ = false;
    MarkSet lastMarks_;
    MarkNamesBuffer marksBuffer_;
    std::string_view marksText_;
    bool marksKnown_ = false;
};

// A text in UTF-8 in `buffer` (texts of plain ASCII are copied as they are).
QByteArrayView utf8Of(const QString& text, std::string& buffer);

} // namespace velkor::sqlite
