#include "record/TimeTexts.h"

namespace velkor {

QString clockTimeText(QTime time) {
    const int s = time.msecsSinceStartOfDay() / 1000;
    const int parts[3] = {s / 3600, s / 60 % 60, s % 60};
    QChar text[8];
    for (int i = 0; i < 3; ++i) {
        text[i * 3] = QLatin1Char(static_cast<char>('0' + parts[i] / 10));
        text[i * 3 + 1] = QLatin1Char(static_cast<char>('0' + parts[i] % 10));
        if (i < 2) {
            text[i * 3 + 2] = QLatin1Char(':');
        }
    }
    return QString(text, 8);
}

int clockTimeSeconds(QStringView text) {
    if (text.size() != 8 || text[2] != QLatin1Char(':') || text[5] != QLatin1Char(':')) {
        return -1;
    }
    int parts[3];
    for (int i = 0; i < 3; ++i) {
        const QChar hi = text[i * 3];
        const QChar lo = text[i * 3 + 1];
        if (hi < QLatin1Char('0') || hi > QLatin1Char('9') || lo < QLatin1Char('0') ||
            lo > QLatin1Char('9')) {
            return -1;
        }
        parts[i] = (hi.unicode() - '0') * 10 + (lo.unicode() - '0');
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) {
        return -1;
    }
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

QString numericTimeFormat(const QLocale& locale) {
    // The hour field of the locale's short time format ("H:mm", "HH.mm",
    // "h:mm AP", "AP h.mm", "'Kl'. H.mm") and the one punctuation character
    // between it and the minutes; a locale that writes words there
    // ("HH 'h' mm") keeps the colon.
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    int hourDigits = 2;
    QChar separator = QLatin1Char(':');
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted || (c != QLatin1Char('h') && c != QLatin1Char('H'))) {
            continue;
        }
        qsizetype end = i;
        while (end < format.size() && format[end] == c) {
            ++end;
        }
        hourDigits = end - i == 1 ? 1 : 2;
        if (end + 1 < format.size() && format[end].isPunct() && format[end] != QLatin1Char('\'') &&
            format[end + 1] == QLatin1Char('m')) {
            separator = format[end];
        }
        break;
    }
    const QString hour = hourDigits == 1 ? QStringLiteral("H") : QStringLiteral("HH");
    return hour + separator + QStringLiteral("mm") + separator + QStringLiteral("ss");
}

QString numericTimeText(QTime time, const QLocale& locale) {
    return QLocale::c().toString(time, numericTimeFormat(locale));
}

} // namespace velkor
