#pragma once

#include "record/LogJournal.h"
#include "record/LogRowBuffer.h"
#include "record/LogTable.h"
#include "record/Timestamp.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

#include <vector>

namespace velkor::test {

// The rows in a store of their own.
inline LogRowBuffer bufferOf(const std::vector<LogRecord>& records) {
    LogRowBuffer rows;
    for (const LogRecord& r : records) {
        rows.append(r);
    }
    return rows;
}

// A plain table for the tests: the rows in a vector, texts cut to 20
// characters as the measurement table cuts them; counts the changes.
class VectorLogTable final : public LogTable {
public:
    VectorLogTable() = default;
    explicit VectorLogTable(std::vector<LogRecord> r) : rows(std::move(r)) {}

    // The vector's rows as a store, made afresh, as the tests change the
    // vector at will.
    const LogRowBuffer& store() const override {
        held_ = bufferOf(rows);
        return held_;
    }
    void appendRows(const LogRowBuffer& add) override {
        ++changes;
        for (qsizetype i = 0; i < add.rowCount(); ++i) {
            rows.push_back(add.row(i));
        }
    }
    void replaceRows(LogRowBuffer&& with) override {
        rows.clear();
        appendRows(with);
    }

    std::vector<LogRecord> rows;
    int changes = 0;

private:
    mutable LogRowBuffer held_;
};

inline LogRecord rec(std::optional<qint32> no, QString time, QString fn, QString value,
                     QString unit, QString judge, std::optional<qint32> nval = {}) {
    return {no, std::move(time), std::move(fn), std::move(value), std::move(unit),
            std::move(judge), nval};
}

// A few rows as the record rules log them.
inline std::vector<LogRecord> sampleRows() {
    return {rec(1, "09:05:03", "DC", "012.3", "V", "pass"),
            rec(2, "09:05:04", "AC", "-0.456", "mV", "Fail"),
            rec(4, "23:59:59", "OHM", "1.234", "k*", "pass"),
            rec(5, "00:00:00", "TEMP", "25.0", "#", "pass")};
}

// A file name given to a save and the way it chooses: exactly ".xml" an XML
// data packet, every other name a workbook.
struct SaveNameCase {
    const char* name;
    bool xml;
};

inline void PrintTo(const SaveNameCase& c, std::ostream* os) {
    *os << c.name;
}

inline auto saveNameCases() {
    return ::testing::Values(SaveNameCase{"log.xml", true}, SaveNameCase{"log.xls", false},
                             SaveNameCase{"log.XML", false}, SaveNameCase{"log.txt", false});
}

inline std::string saveNameCaseName(const ::testing::TestParamInfo<SaveNameCase>& info) {
    return QString::fromLatin1(info.param.name).replace(u'.', u'_').toStdString();
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

inline std::string show(const LogRecord& r) {
    return QStringLiteral("{%1|%2|%3|%4|%5|%6|%7}")
        .arg(r.No ? QString::number(*r.No) : QStringLiteral("null"), r.Time, r.DCAC, r.Value,
             r.Unit, r.Auto, r.NVal ? QString::number(*r.NVal) : QStringLiteral("null"))
        .toStdString();
}

inline std::vector<std::string> show(const std::vector<LogRecord>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) {
        out.push_back(show(r));
    }
    return out;
}

inline std::vector<LogRecord> rowsOf(const LogTable& t) {
    const LogRowBuffer& rows = t.store();
    std::vector<LogRecord> out;
    for (qsizetype i = 0; i < rows.rowCount(); ++i) {
        out.push_back(rows.row(i));
    }
    return out;
}

// The line of one row in a journal of the line format earlier versions
// wrote (LogJournal), with its line end.
inline QByteArray journalLine(const LogRecord& row, const QDateTime& when) {
    QByteArray line;
    if (row.No) {
        line.append(QByteArray::number(*row.No));
    }
    line.append('\t');
    line.append(isoTimestampUtf8(when));
    for (const QString* t : {&row.Time, &row.DCAC, &row.Value, &row.Unit, &row.Auto}) {
        line.append('\t');
        for (const char c : t->toUtf8()) {
            switch (c) {
            case '\\': line.append("\\\\"); break;
            case '\t': line.append("\\t"); break;
            case '\n': line.append("\\n"); break;
            case '\r': line.append("\\r"); break;
            default: line.append(c);
            }
        }
    }
    char crc[12];
    const int n = std::snprintf(crc, sizeof crc, "\t%08x\n",
                                LogJournal::crc32(line.constData(), std::size_t(line.size())));
    line.append(crc, n);
    return line;
}

} // namespace velkor::test
