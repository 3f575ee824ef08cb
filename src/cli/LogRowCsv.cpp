#include "cli/LogRowCsv.h"

#include "logfiles/CsvLine.h"
#include "record/Timestamp.h"

#include <climits>

namespace velkor::cli {

std::string logRowCsvHeader() {
    return "No,Time,DC/AC,Value,Unit,Auto,ScaledValue,Timestamp\n";
}

void appendLogRowCsv(std::string& out, const LogRecord& row, double scaledValue,
                     const QDateTime& moment) {
    if (!moment.isValid()) {
        appendLogRowCsv(out, row, scaledValue, 0, INT_MIN);
        return;
    }
    appendLogRowCsv(out, row, scaledValue, moment.toMSecsSinceEpoch(), moment.offsetFromUtc());
}

void appendLogRowCsv(std::string& out, const LogRecord& row, double scaledValue, qint64 utcMs,
                     int offsetSeconds) {
    thread_local CsvLine line;
    line.clear();
    if (row.No) {
        line.integer(*row.No);
    } else {
        line.empty();
    }
    line.text(row.Time).text(row.DCAC).text(row.Value).text(row.Unit).text(row.Auto);
    line.shortestDouble(scaledValue);
    const QByteArray stamp =
        offsetSeconds == INT_MIN ? QByteArray() : isoTimestampUtf8(utcMs, offsetSeconds);
    line.bytes(std::string_view(stamp.constData(), static_cast<std::size_t>(stamp.size())));
    out += line.terminated();
}

} // namespace velkor::cli
