#include "logfiles/LogCellText.h"

#include "record/TimeTexts.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace velkor {

namespace {

constexpr qint64 kMsPerDay = 86400000;

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Reads one or two digits at `pos` (exactly two when `two`).
int readNumber(QStringView s, qsizetype& pos, bool two, int* digits) {
    int v = 0;
    int n = 0;
    while (pos < s.size() && n < 2 && isDigit(s[pos])) {
        v = v * 10 + (s[pos].unicode() - u'0');
        ++pos;
        ++n;
    }
    *digits = n;
    return (n == 0 || (two && n != 2)) ? -1 : v;
}

// A time of day typed as H:mm, H:mm:ss, with an optional AM/PM mark, the
// way a spreadsheet reads it. Sets the format that shows it the same way.
bool parseTypedTime(QStringView s, QTime* time, const char** format) {
    qsizetype pos = 0;
    int hourDigits = 0;
    int digits = 0;
    int h = readNumber(s, pos, false, &hourDigits);
    if (h < 0 || pos >= s.size() || s[pos] != u':') {
        return false;
    }
    ++pos;
    const int m = readNumber(s, pos, true, &digits);
    if (m < 0 || m > 59) {
        return false;
    }
    int sec = -1;
    if (pos < s.size() && s[pos] == u':') {
        ++pos;
        sec = readNumber(s, pos, true, &digits);
        if (sec < 0 || sec > 59) {
            return false;
        }
    }
    while (pos < s.size() && s[pos] == u' ') {
        ++pos;
    }
    int ampm = 0; // 1 AM, 2 PM
    if (pos < s.size()) {
        const QChar a = s[pos].toUpper();
        if (a != u'A' && a != u'P') {
            return false;
        }
        ampm = a == u'A' ? 1 : 2;
        ++pos;
        if (pos < s.size() && s[pos] == u'.') {
            ++pos;
        }
        if (pos >= s.size() || s[pos].toUpper() != u'M') {
            return false;
        }
        ++pos;
        if (pos < s.size() && s[pos] == u'.') {
            ++pos;
        }
        if (pos != s.size()) {
            return false;
        }
    }
    if (ampm != 0) {
        if (h > 12) {
            return false;
        }
        h = (h % 12) + (ampm == 2 ? 12 : 0);
        *format = sec >= 0 ? "h:mm:ss AM/PM" : "h:mm AM/PM";
    } else {
        if (h > 23) {
            return false;
        }
        if (hourDigits == 2) {
            *format = sec >= 0 ? "hh:mm:ss" : "hh:mm";
        } else {
            *format = sec >= 0 ? "h:mm:ss" : "h:mm";
        }
    }
    *time = QTime(h, m, sec < 0 ? 0 : sec);
    return true;
}

QString quoted(QStringView s) {
    return QStringLiteral("「%1」").arg(s.left(40));
}

// A time in the word form of the Japanese, Chinese and Korean locales
// ("21時05分03秒", "午後9時5分3秒", "下午9点05分03秒", "오후 9시 5분 3초"), as
// programs there write it whatever the locale of the machine that reads it.
QTime wordFormTime(const QString& s) {
    static const QRegularExpression re(QStringLiteral(
        "^(午前|午後|上午|下午|오전|오후)?\\s*(\\d{1,2})\\s*[時时시点點]\\s*(\\d{1,2})\\s*[分분]"
        "\\s*(?:(\\d{1,2})\\s*[秒초])?\\s*(午前|午後|上午|下午|오전|오후)?$"));
    const QRegularExpressionMatch m = re.match(s);
    if (!m.hasMatch() || (m.hasCaptured(1) && m.hasCaptured(5))) {
        return QTime();
    }
    int h = m.captured(2).toInt();
    const int min = m.captured(3).toInt();
    const int sec = m.hasCaptured(4) ? m.captured(4).toInt() : 0;
    const QString period = m.hasCaptured(1) ? m.captured(1) : m.captured(5);
    if (!period.isEmpty()) {
        if (h < 1 || h > 12) {
            return QTime();
        }
        const bool afternoon = period == QStringLiteral("午後") ||
                               period == QStringLiteral("下午") || period == QStringLiteral("오후");
        h = h % 12 + (afternoon ? 12 : 0);
    }
    return QTime(h, min, sec); // invalid beyond 23:59:59
}

QTime parseTimeText(QStringView text, const QLocale& locale) {
    const QStringView t = trimmedCellText(text);
    QTime time;
    const char* format = nullptr;
    if (parseTypedTime(t, &time, &format)) {
        return time;
    }
    const QString s = t.toString();
    for (const QString& f : {longTimeFormat(locale), locale.timeFormat(QLocale::LongFormat),
                             locale.timeFormat(QLocale::ShortFormat)}) {
        time = locale.toTime(s, f);
        if (time.isValid()) {
            return time;
        }
    }
    time = QTime::fromString(s, Qt::ISODateWithMs);
    if (time.isValid()) {
        return time;
    }
    for (const auto f : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QDateTime dt = locale.toDateTime(s, f);
        if (dt.isValid()) {
            return dt.time();
        }
    }
    const QDateTime iso = QDateTime::fromString(s, Qt::ISODate);
    if (iso.isValid()) {
        return iso.time();
    }
    return wordFormTime(s);
}

QString errorReason(const SheetCell& cell) {
    return QStringLiteral("エラー値 %1 のセルは変換できません").arg(cell.text);
}

} // namespace

QStringView trimmedCellText(QStringView text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b].unicode() <= 0x20) {
        ++b;
    }
    while (e > b && text[e - 1].unicode() <= 0x20) {
        --e;
    }
    return text.sliced(b, e - b);
}

bool integerText(QStringView text, std::optional<qint32>* out) {
    text = trimmedCellText(text);
    if (text.isEmpty()) {
        *out = std::nullopt;
        return true;
    }
    bool ok = false;
    const qint32 v = text.toInt(&ok);
    if (ok) {
        *out = v;
    }
    return ok;
}

std::optional<double> valueTextNumber(QStringView text) {
    const QStringView t = trimmedCellText(text);
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(t.size()));
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        if (t[i] == u'-') {
            ascii += '-';
        }
        ++i;
    }
    int mantissaDigits = 0;
    bool seenMark = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (isDigit(c)) {
            ascii += static_cast<char>(c.unicode());
            ++mantissaDigits;
        } else if ((c == u'.' || c == u',') && !seenMark) {
            seenMark = true;
            ascii += '.';
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) {
        return std::nullopt;
    }
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
            ascii += static_cast<char>(t[i].unicode());
            ++i;
        }
        int exponentDigits = 0;
        for (; i < t.size() && isDigit(t[i]); ++i) {
            ascii += static_cast<char>(t[i].unicode());
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nullopt;
        }
    }
    if (i != t.size()) {
        return std::nullopt; // a second mark, a letter, anything else
    }
    double d = 0;
    const auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), d);
    if (r.ec != std::errc() || r.ptr != ascii.data() + ascii.size() || !std::isfinite(d)) {
        return std::nullopt;
    }
    return d;
}

WorkbookValue workbookValue(QStringView text) {
    WorkbookValue v;
    const QStringView t = trimmedCellText(text);
    if (t.isEmpty()) {
        return v;
    }
    const QChar first = t[0];
    if (isDigit(first) || first == u'-' || first == u'+' || first == u'.' || first == u',') {
        QTime time;
        const char* format = nullptr;
        if (t.contains(u':') && parseTypedTime(t, &time, &format)) {
            v.kind = WorkbookValue::Kind::Time;
            v.number = static_cast<double>(time.msecsSinceStartOfDay()) / kMsPerDay;
            v.format = format;
            return v;
        }
        if (const std::optional<double> d = valueTextNumber(t)) {
            v.kind = WorkbookValue::Kind::Number;
            v.number = *d;
            return v;
        }
    }
    v.kind = WorkbookValue::Kind::Text;
    v.text = t.toString();
    return v;
}

QString longTimeFormat(const QLocale& locale) {
    const QString f = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quotedRun = false;
    for (qsizetype i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == u'\'') {
            quotedRun = !quotedRun;
        }
        if (!quotedRun && c == u't') {
            // Drop the zone with the blanks and brackets around it.
            while (!out.isEmpty() &&
                   (out.back() == u' ' || out.back() == u'(' || out.back() == u'[')) {
                out.chop(1);
            }
            while (i + 1 < f.size() && (f[i + 1] == u't' || f[i + 1] == u')' || f[i + 1] == u']')) {
                ++i;
            }
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

QTime serialTimeOfDay(double serial) {
    double frac = std::fabs(serial - std::trunc(serial));
    qint64 ms = std::llround(frac * kMsPerDay);
    if (ms >= kMsPerDay) {
        ms = 0;
    }
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

CellConverter::CellConverter(const QLocale& locale, bool date1904)
    : locale_(locale), date1904_(date1904), timeFormat_(numericTimeFormat(locale)),
      cacheBySecond_(!timeFormat_.contains(u'z')),
      plainDigits_(locale.zeroDigit() == QLatin1String("0") &&
                   locale.negativeSign() == QLatin1String("-") &&
                   locale.positiveSign() == QLatin1String("+") &&
                   locale.exponential().compare(QLatin1String("e"), Qt::CaseInsensitive) == 0 &&
                   locale.decimalPoint().size() == 1),
      decimalPoint_(locale.decimalPoint().isEmpty() ? QChar(u'.') : locale.decimalPoint()[0]) {
    locale_.setNumberOptions(QLocale::OmitGroupSeparator);
}

QString CellConverter::timeOfDayText(QTime time) {
    if (!cacheBySecond_) {
        return QLocale::c().toString(time, timeFormat_);
    }
    if (timeCache_.empty()) {
        timeCache_.resize(86400);
    }
    QString& cached = timeCache_[static_cast<std::size_t>(time.msecsSinceStartOfDay() / 1000)];
    if (cached.isNull()) {
        cached =
            QLocale::c().toString(QTime(time.hour(), time.minute(), time.second()), timeFormat_);
    }
    return cached;
}

QString CellConverter::numberText(double v) const {
    if (!plainDigits_) {
        return locale_.toString(v, 'g', 15);
    }
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    QString out = QString::fromLatin1(buf, r.ptr - buf);
    if (decimalPoint_ != u'.') {
        out.replace(u'.', decimalPoint_);
    }
    return out;
}

bool CellConverter::timeText(const SheetCell& cell, QString* out, QString* reason) {
    QTime time;
    switch (cell.kind) {
    case SheetCell::Kind::Empty: time = QTime(0, 0); break;
    case SheetCell::Kind::Number:
    case SheetCell::Kind::Boolean:
        if (!std::isfinite(cell.number)) {
            *reason = QStringLiteral("数値が時刻ではありません");
            return false;
        }
        time = serialTimeOfDay(cell.kind == SheetCell::Kind::Boolean ? -cell.number : cell.number);
        break;
    case SheetCell::Kind::Text:
        time = parseTimeText(cell.text, locale_);
        if (!time.isValid()) {
            *reason = QStringLiteral("%1 は時刻ではありません").arg(quoted(cell.text));
            return false;
        }
        break;
    case SheetCell::Kind::Error: *reason = errorReason(cell); return false;
    }
    *out = timeOfDayText(time);
    return true;
}

bool CellConverter::integer(const SheetCell& cell, std::optional<qint32>* out,
                            QString* reason) const {
    double v = 0;
    switch (cell.kind) {
    case SheetCell::Kind::Empty: *out = std::nullopt; return true;
    case SheetCell::Kind::Number: v = cell.number; break;
    case SheetCell::Kind::Boolean:
        v = -cell.number; // TRUE is -1 as an integer
        break;
    case SheetCell::Kind::Text: {
        if (integerText(cell.text, out)) {
            return true;
        }
        bool ok = false;
        v = locale_.toDouble(trimmedCellText(cell.text), &ok);
        if (!ok) {
            *reason = QStringLiteral("%1 は整数ではありません").arg(quoted(cell.text));
            return false;
        }
        break;
    }
    case SheetCell::Kind::Error: *reason = errorReason(cell); return false;
    }
    const double r = std::nearbyint(v);
    if (!std::isfinite(r) || r < std::numeric_limits<qint32>::min() ||
        r > std::numeric_limits<qint32>::max()) {
        *reason = QStringLiteral("%1 は整数の範囲外です").arg(v);
        return false;
    }
    *out = static_cast<qint32>(r);
    return true;
}

bool CellConverter::text(const SheetCell& cell, QString* out, QString* reason) const {
    switch (cell.kind) {
    case SheetCell::Kind::Empty: out->clear(); return true;
    case SheetCell::Kind::Text: *out = cell.text; return true;
    case SheetCell::Kind::Boolean:
        *out = cell.number != 0 ? QStringLiteral("True") : QStringLiteral("False");
        return true;
    case SheetCell::Kind::Error: *reason = errorReason(cell); return false;
    case SheetCell::Kind::Number: break;
    }
    const double v = cell.number;
    if (!std::isfinite(v)) {
        *reason = QStringLiteral("数値が有限ではありません");
        return false;
    }
    if (cell.dateFormatted && std::fabs(v) < 3.0e6) {
        const double days = std::trunc(v);
        const bool hasTime = v != days;
        QString text;
        if (days != 0 || !hasTime) {
            const QDate d =
                QDate(1899, 12, 30).addDays(static_cast<qint64>(days) + (date1904_ ? 1462 : 0));
            text = locale_.toString(d, QLocale::ShortFormat);
        }
        if (hasTime) {
            if (!text.isEmpty()) {
                text += u' ';
            }
            text += QLocale::c().toString(serialTimeOfDay(v), timeFormat_);
        }
        *out = text;
        return true;
    }
    *out = numberText(v);
    return true;
}

} // namespace velkor
