#include "http/EventText.h"

#include "json/ReadingJson.h"

namespace velkor::http {

QByteArray streamOpening(int retryMilliseconds) {
    return "retry: " + QByteArray::number(retryMilliseconds) + "\n\n";
}

void appendReadingEvent(QByteArray& out, qint64 no, QByteArrayView json) {
    out += "id: ";
    out += QByteArray::number(no);
    out += "\ndata: ";
    out += json;
    out += "\n\n";
}

QByteArray statusJson(const StreamStatus& s) {
    QByteArray out = "{\"link\":\"";
    out += linkStateName(s.link);
    out += "\",\"rows\":" + QByteArray::number(static_cast<qulonglong>(s.rows));
    out += ",\"fails\":" + QByteArray::number(static_cast<qulonglong>(s.fails));
    out += ",\"lastNo\":" + QByteArray::number(s.lastNo);
    out += ",\"hi\":";
    json::appendJsonString(out, s.hi);
    out += ",\"lo\":";
    json::appendJsonString(out, s.lo);
    out += '}';
    return out;
}

void appendStatusEvent(QByteArray& out, const StreamStatus& status) {
    out += "event: status\ndata: ";
    out += statusJson(status);
    out += "\n\n";
}

void appendEndEvent(QByteArray& out) {
    out += "event: end\ndata: {}\n\n";
}

void appendKeepAlive(QByteArray& out) {
    out += "event: alive\ndata: {}\n\n";
}

} // namespace velkor::http
