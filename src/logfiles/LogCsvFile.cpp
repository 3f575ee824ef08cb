#include "logfiles/LogCsvFile.h"

#include "disk/AtomicFile.h"
#include "logfiles/CsvLine.h"
#include "record/LogRowBuffer.h"
#include "meter/UnitTable.h"

#include <QFileInfo>

namespace velkor {

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

// "YYYY-MM-DD" of a row's date; empty when it is not known.
void appendDate(CsvLine& line, QDate date) {
    if (!date.isValid() || date.year() < 0 || date.year() > 9999) {
        line.empty();
        return;
    }
    char buf[10];
    const int y = date.year(), m = date.month(), d = date.day();
    buf[0] = static_cast<char>('0' + y / 1000);
    buf[1] = static_cast<char>('0' + y / 100 % 10);
    buf[2] = static_cast<char>('0' + y / 10 % 10);
    buf[3] = static_cast<char>('0' + y % 10);
    buf[4] = '-';
    buf[5] = static_cast<char>('0' + m / 10);
    buf[6] = static_cast<char>('0' + m % 10);
    buf[7] = '-';
    buf[8] = static_cast<char>('0' + d / 10);
    buf[9] = static_cast<char>('0' + d % 10);
    line.bytes(std::string_view(buf, 10));
}

// One row built into `line`, without its line end.
void buildLogCsvRow(CsvLine& line, const LogRecord& row, QDate date) {
    line.clear();
    if (row.No) {
        line.integer(*row.No);
    } else {
        line.empty();
    }
    appendDate(line, date);
    line.text(row.Time).text(row.DCAC).text(row.Value);
    // A log holds a handful of units: the last one's readable form is kept.
    thread_local QString lastUnit;
    thread_local QString lastReadable;
    if (row.Unit != lastUnit || (lastReadable.isEmpty() && !row.Unit.isEmpty())) {
        lastUnit = row.Unit;
        lastReadable = readableUnit(row.Unit);
    }
    line.text(lastReadable).text(row.Auto).text(baseUnitValueText(row.Value, row.Unit));
}

} // namespace

bool isCsvName(const QString& fileName) {
    return QFileInfo(fileName).fileName().endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

QByteArray logCsvHeader() {
    return QByteArrayLiteral("No,Date,Time,Function,Value,Unit,Judge,SI\r\n");
}

void appendLogCsvRow(QByteArray& out, const LogRecord& row, QDate date) {
    CsvLine line;
    buildLogCsvRow(line, row, date);
    const std::string_view bytes = line.terminated("\r\n");
    out.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

LogFileResult writeLogCsv(const LogTable& table, QIODevice& out, const RowDateFn& dateOf) {
    std::string buffer = logCsvHeader().toStdString();
    buffer.reserve(kFlushBytes + 512);
    CsvLine line;
    const LogRowBuffer& rows = table.store();
    const qsizetype n = rows.rowCount();
    for (qsizetype i = 0; i < n; ++i) {
        buildLogCsvRow(line, rows.row(i), dateOf ? dateOf(i) : QDate());
        buffer += line.terminated("\r\n");
        if (buffer.size() >= kFlushBytes) {
            if (out.write(buffer.data(), static_cast<qint64>(buffer.size())) !=
                static_cast<qint64>(buffer.size())) {
                return LogFileResult::failure(out.errorString());
            }
            buffer.clear();
        }
    }
    if (out.write(buffer.data(), static_cast<qint64>(buffer.size())) !=
        static_cast<qint64>(buffer.size())) {
        return LogFileResult::failure(out.errorString());
    }
    return LogFileResult::success();
}

LogFileResult saveLogCsv(const LogTable& table, const QString& fileName, const RowDateFn& dateOf) {
    return writeFileAtomically(fileName,
                               [&](QIODevice& out) { return writeLogCsv(table, out, dateOf); });
}

} // namespace velkor
