#include "record/Timestamp.h"

#include <QTimeZone>
#include <cstdlib>

namespace velkor {

QByteArray isoTimestampUtf8(const QDateTime& moment) {
    if (!moment.isValid()) {
        return {};
    }
    return isoTimestampUtf8(moment.toMSecsSinceEpoch(), moment.offsetFromUtc());
}

QByteArray isoTimestampUtf8(qint64 utcMs, int offsetSeconds) {
    if (offsetSeconds % 60 != 0) {
        // Offsets with seconds (local mean times before time zones) have no
        // ISO 8601 form: the same moment in UTC instead.
        offsetSeconds = 0;
    }
    // Days and milliseconds of the local time, then the civil date of the
    // day (days since 1970-01-01 to year, month, day in the proleptic
    // Gregorian calendar, in eras of 400 years).
    const qint64 local = utcMs + qint64(offsetSeconds) * 1000;
    const qint64 days = local >= 0 ? local / 86'400'000 : (local + 1) / 86'400'000 - 1;
    const qint64 ms = local - days * 86'400'000;
    const qint64 z = days + 719'468;
    const qint64 era = (z >= 0 ? z : z - 146'096) / 146'097;
    const qint64 doe = z - era * 146'097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const qint64 year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 1 || year > 9999) {
        return {};
    }
    const int offsetMinutes = std::abs(offsetSeconds) / 60;
    char b[29];
    const auto put = [&b](int at, qint64 v, int digits) {
        for (int i = digits - 1; i >= 0; --i, v /= 10) {
            b[at + i] = static_cast<char>('0' + v % 10);
        }
    };
    put(0, year, 4);
    b[4] = '-';
    put(5, month, 2);
    b[7] = '-';
    put(8, day, 2);
    b[10] = 'T';
    put(11, ms / 3'600'000, 2);
    b[13] = ':';
    put(14, ms / 60'000 % 60, 2);
    b[16] = ':';
    put(17, ms / 1000 % 60, 2);
    b[19] = '.';
    put(20, ms % 1000, 3);
    b[23] = offsetSeconds < 0 ? '-' : '+';
    put(24, offsetMinutes / 60, 2);
    b[26] = ':';
    put(27, offsetMinutes % 60, 2);
    return QByteArray(b, sizeof b);
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
