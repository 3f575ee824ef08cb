#include "cli/LogRowCsv.h"

#include "cli/ReadingCsv.h"
#include "record/Timestamp.h"

namespace velkor::cli {

std::string logRowCsvHeader() {
    return "No,Time,DC/AC,Value,Unit,Auto,ScaledValue,Timestamp\n";
}

void appendLogRowCsv(std::string& out, const LogRecord& row, double scaledValue,
                     const QDateTime& moment) {
    if (row.No) {
        out += std::to_string(*row.No);
    }
    for (const QString* field : {&row.Time, &row.DCAC, &row.Value, &row.Unit, &row.Auto}) {
        out += ',';
        out += csvField(*field).toStdString();
    }
    out += ',';
    out += shortestDouble(scaledValue).toStdString();
    out += ',';
    out += isoTimestampUtf8(moment).toStdString();
    out += '\n';
}

} // namespace velkor::cli
