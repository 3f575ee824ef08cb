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

// The locale's own format for a time of day with seconds: the long time
// format without its time-zone field (a time of day has no zone). The Time
// text of the sampling path.
QString localeTimeFormat(const QLocale& locale);

} // namespace velkor
