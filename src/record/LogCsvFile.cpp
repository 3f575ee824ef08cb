#include "record/LogCsvFile.h"

#include "disk/AtomicFile.h"
#include "meter/UnitTable.h"

#include <QFileInfo>

namespace velkor {

namespace {

constexpr qsizetype kFlushBytes = 1 << 20;

bool needsQuotes(QStringView text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u',' || u == u'"' || u == u'\r' || u == u'\n') {
            return true;
        }
    }
    return false;
}

// The text in UTF-8; an unpaired surrogate becomes U+FFFD.
void appendUtf8(QByteArray& out, QStringView text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            out.append(static_cast<char>(u));
        } else if (u < 0x800) {
            out.append(static_cast<char>(0xC0 | (u >> 6)));
            out.append(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            const char32_t cp = QChar::surrogateToUcs4(u, text[i + 1].unicode());
            ++i;
            out.append(static_cast<char>(0xF0 | (cp >> 18)));
            out.append(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.append(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            const char16_t c = QChar::isSurrogate(u) ? char16_t(0xFFFD) : u;
            out.append(static_cast<char>(0xE0 | (c >> 12)));
            out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.append(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

void appendField(QByteArray& out, QStringView text) {
    if (!needsQuotes(text)) {
        appendUtf8(out, text);
        return;
    }
    out.append('"');
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'"') {
            appendUtf8(out, text.mid(from, i + 1 - from));
            out.append('"');
            from = i + 1;
        }
    }
    appendUtf8(out, text.mid(from));
    out.append('"');
}

} // namespace

bool isCsvName(const QString& fileName) {
    return QFileInfo(fileName).fileName().endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

QByteArray logCsvHeader() {
    return QByteArrayLiteral("No,Date,Time,Function,Value,Unit,Judge,SI\r\n");
}

void appendLogCsvRow(QByteArray& out, const LogRecord& row, QDate date) {
    if (row.No) {
        out.append(QByteArray::number(*row.No));
    }
    out.append(',');
    if (date.isValid() && date.year() >= 0 && date.year() <= 9999) {
        char buf[11];
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
        out.append(buf, 10);
    }
    out.append(',');
    appendField(out, row.Time);
    out.append(',');
    appendField(out, row.DCAC);
    out.append(',');
    appendField(out, row.Value);
    out.append(',');
    // A log holds a handful of units: the last one's readable form is kept.
    thread_local QString lastUnit;
    thread_local QByteArray lastReadable;
    if (row.Unit != lastUnit || (lastReadable.isEmpty() && !row.Unit.isEmpty())) {
        lastUnit = row.Unit;
        lastReadable.clear();
        appendField(lastReadable, readableUnit(row.Unit));
    }
    out.append(lastReadable);
    out.append(',');
    appendField(out, row.Auto);
    out.append(',');
    appendUtf8(out, baseUnitValueText(row.Value, row.Unit));
    out.append("\r\n", 2);
}

LogFileResult writeLogCsv(const LogTable& table, QIODevice& out, const RowDateFn& dateOf) {
    QByteArray buffer = logCsvHeader();
    buffer.reserve(kFlushBytes + 512);
    const qsizetype n = table.rowCount();
    for (qsizetype i = 0; i < n; ++i) {
        appendLogCsvRow(buffer, table.row(i), dateOf ? dateOf(i) : QDate());
        if (buffer.size() >= kFlushBytes) {
            if (out.write(buffer) != buffer.size()) {
                return LogFileResult::failure(out.errorString());
            }
            buffer.resize(0);
        }
    }
    if (out.write(buffer) != buffer.size()) {
        return LogFileResult::failure(out.errorString());
    }
    return LogFileResult::success();
}

LogFileResult saveLogCsv(const LogTable& table, const QString& fileName, const RowDateFn& dateOf) {
    return writeFileAtomically(fileName,
                               [&](QIODevice& out) { return writeLogCsv(table, out, dateOf); });
}

} // namespace velkor
