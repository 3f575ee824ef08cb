#include "influx/InfluxLine.h"

#include <QStringEncoder>
#include <charconv>
#include <cmath>

namespace velkor::influx {

namespace {

// A text as the protocol carries it: control characters replaced, the
// characters in `special` after a backslash, as UTF-8.
void appendEscaped(QByteArray& out, QStringView text, QLatin1StringView special) {
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F) {
            clean += QChar(QChar::ReplacementCharacter);
            continue;
        }
        if (special.contains(c)) {
            clean += QLatin1Char('\\');
        }
        clean += c;
    }
    out += QStringEncoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless).encode(clean);
}

void appendTag(QByteArray& out, const char* key, QStringView value) {
    while (value.endsWith(u'\\')) {
        value.chop(1);
    }
    if (value.isEmpty()) {
        return;
    }
    out += ',';
    out += key;
    out += '=';
    appendEscaped(out, value, QLatin1StringView(", ="));
}

void appendStringField(QByteArray& out, const char* key, QStringView value) {
    out += ',';
    out += key;
    out += "=\"";
    appendEscaped(out, value, QLatin1StringView("\"\\"));
    out += '"';
}

} // namespace

QByteArray influxLine(const InfluxRow& r) {
    QByteArray out;
    out.reserve(160);
    out += "meter";
    appendTag(out, "device", r.device);
    appendTag(out, "function", r.function);
    appendTag(out, "judge", r.judge);
    appendTag(out, "topic", r.topic);
    appendTag(out, "unit", r.unit);
    out += " no=";
    out += QByteArray::number(r.no);
    out += 'i';
    if (r.si && std::isfinite(*r.si)) {
        char buf[32];
        const auto res = std::to_chars(buf, buf + sizeof buf, *r.si);
        out += ",si=";
        out.append(buf, res.ptr - buf);
    }
    appendStringField(out, "value", r.value);
    appendStringField(out, "value_unit", r.valueUnit);
    out += ' ';
    out += QByteArray::number(r.timeNs);
    return out;
}

qint64 UniqueNanoseconds::next(qint64 msecsSinceEpoch) {
    qint64 ns = msecsSinceEpoch * 1'000'000;
    if (last_ && ns <= *last_) {
        ns = *last_ + 1;
    }
    last_ = ns;
    return ns;
}

} // namespace velkor::influx
