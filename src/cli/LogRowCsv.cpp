#include "cli/LogRowCsv.h"

#include "record/Timestamp.h"

#include <charconv>

namespace velkor::cli {

namespace {

// A field as UTF-8, quoted when it holds a comma, a quote or a line break
// (quotes doubled), without a text made on the way.
void appendField(std::string& out, const QString& text) {
    bool quote = false;
    bool ascii = true;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        quote = quote || u == u',' || u == u'"' || u == u'\n' || u == u'\r';
        ascii = ascii && u < 0x80;
    }
    if (quote) {
        out += '"';
    }
    if (ascii) {
        for (const QChar c : text) {
            if (c == u'"') {
                out += '"';
            }
            out += static_cast<char>(c.unicode());
        }
    } else {
        const QByteArray utf8 = text.toUtf8();
        for (const char c : utf8) {
            if (c == '"') {
                out += '"';
            }
            out += c;
        }
    }
    if (quote) {
        out += '"';
    }
}

} // namespace

std::string logRowCsvHeader() {
    return "No,Time,DC/AC,Value,Unit,Auto,ScaledValue,Timestamp\n";
}

void appendLogRowCsv(std::string& out, const LogRecord& row, double scaledValue,
                     const QDateTime& moment) {
    char buf[64];
    if (row.No) {
        const auto r = std::to_chars(buf, buf + sizeof buf, *row.No);
        out.append(buf, r.ptr);
    }
    for (const QString* field : {&row.Time, &row.DCAC, &row.Value, &row.Unit, &row.Auto}) {
        out += ',';
        appendField(out, *field);
    }
    out += ',';
    // The shortest text that reads back to the same double.
    const auto r = std::to_chars(buf, buf + sizeof buf, scaledValue);
    out.append(buf, r.ptr);
    out += ',';
    const QByteArray stamp = isoTimestampUtf8(moment);
    out.append(stamp.constData(), static_cast<std::size_t>(stamp.size()));
    out += '\n';
}

} // namespace velkor::cli
