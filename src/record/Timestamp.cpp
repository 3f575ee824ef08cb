#include "record/Timestamp.h"

#include <QTimeZone>
#include <cstdio>
#include <cstdlib>

namespace velkor {

QByteArray isoTimestampUtf8(const QDateTime& moment) {
    if (!moment.isValid()) {
        return {};
    }
    QDateTime shown = moment;
    int offset = moment.offsetFromUtc(); // seconds east of UTC
    if (offset % 60 != 0) {
        // Offsets with seconds (local mean times before time zones) have no
        // ISO 8601 form: the same moment in UTC instead.
        shown = moment.toUTC();
        offset = 0;
    }
    const QDate d = shown.date();
    const QTime t = shown.time();
    if (d.year() < 0 || d.year() > 9999) {
        return {};
    }
    const int offsetMinutes = std::abs(offset) / 60;
    char buf[40];
    const int n =
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", d.year(),
                      d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec(),
                      offset < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return QByteArray(buf, n);
}

QString isoTimestamp(const QDateTime& moment) {
    return QString::fromLatin1(isoTimestampUtf8(moment));
}

QDateTime parseIsoTimestamp(QByteArrayView text) {
    // yyyy-MM-ddTHH:mm:ss.zzz then +hh:mm, -hh:mm or Z.
    auto digits = [&](qsizetype at, int count, int* out) {
        int v = 0;
        for (int i = 0; i < count; ++i) {
            const char c = text[at + i];
            if (c < '0' || c > '9') {
                return false;
            }
            v = v * 10 + (c - '0');
        }
        *out = v;
        return true;
    };
    if (text.size() != 29 && text.size() != 24) {
        return {};
    }
    int y, mo, d, h, mi, s, ms;
    if (!digits(0, 4, &y) || text[4] != '-' || !digits(5, 2, &mo) || text[7] != '-' ||
        !digits(8, 2, &d) || text[10] != 'T' || !digits(11, 2, &h) || text[13] != ':' ||
        !digits(14, 2, &mi) || text[16] != ':' || !digits(17, 2, &s) || text[19] != '.' ||
        !digits(20, 3, &ms)) {
        return {};
    }
    int offset = 0;
    if (text.size() == 24) {
        if (text[23] != 'Z') {
            return {};
        }
    } else {
        int oh, om;
        if ((text[23] != '+' && text[23] != '-') || !digits(24, 2, &oh) || text[26] != ':' ||
            !digits(27, 2, &om) || oh > 23 || om > 59) {
            return {};
        }
        offset = (oh * 60 + om) * 60 * (text[23] == '-' ? -1 : 1);
    }
    const QDate date(y, mo, d);
    const QTime time(h, mi, s, ms);
    if (!date.isValid() || !time.isValid()) {
        return {};
    }
    return QDateTime(date, time, QTimeZone(offset));
}

} // namespace velkor
