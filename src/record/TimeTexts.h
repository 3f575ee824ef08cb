#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

namespace velkor {

// "hh:mm:ss" on the 24-hour clock: the Time text of the continuous path.
QString clockTimeText(QTime time);
// Seconds since midnight of a "hh:mm:ss" text written as clockTimeText
// writes it; -1 for any other text.
int clockTimeSeconds(QStringView text);

// The locale's time of day with seconds in its numeric form: hours,
// minutes and seconds joined by the locale's time separator, the hour with
// one or two digits as the locale writes it ("H:mm:ss" for ja_JP,
// "HH.mm.ss" for da_DK). Always the 24-hour clock and no word form
// ("21時05分03秒") or day period ("PM", "午後"), which would not fit the
// grid's time column; texts in it are written with the digits 0-9 (format
// with QLocale::c()). The Time text of the sampling path and of times that
// a workbook import turns into text.
QString numericTimeFormat(const QLocale& locale);
// A time of day in numericTimeFormat(locale).
QString numericTimeText(QTime time, const QLocale& locale);

} // namespace velkor
