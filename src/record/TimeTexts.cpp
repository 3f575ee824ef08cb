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

QString localeTimeFormat(const QLocale& locale) {
    // Drops every run of "t" outside quotes with the brackets and blanks
    // around it: "h:mm:ss AP t" -> "h:mm:ss AP", "t HH:mm:ss" -> "HH:mm:ss",
    // "H:mm:ss (t)" -> "H:mm:ss".
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        }
        if (quoted || c != QLatin1Char('t')) {
            out += c;
            continue;
        }
        while (i + 1 < format.size() && format[i + 1] == QLatin1Char('t')) {
            ++i;
        }
        if (out.endsWith(QLatin1Char('(')) && i + 1 < format.size() &&
            format[i + 1] == QLatin1Char(')')) {
            out.chop(1);
            ++i;
        }
        while (out.endsWith(QLatin1Char(' '))) {
            out.chop(1);
        }
        while (i + 1 < format.size() && format[i + 1] == QLatin1Char(' ')) {
            ++i;
        }
        if (!out.isEmpty() && i + 1 < format.size()) {
            out += QLatin1Char(' ');
        }
    }
    return out.trimmed();
}

} // namespace velkor
