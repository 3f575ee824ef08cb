#pragma once

#include "platform/CommandRunner.h"

#include <QDateTime>
#include <QString>

namespace velkor {

struct Reading;

// The reading that made an alarm's transition, as the log numbers and
// stamps it: its number (the No it is logged with), the moment, and the
// fields as the table holds them.
struct AlarmReading {
    qint32 no = 0;
    QDateTime moment;
    QString function; // "DC", "OHM" ...
    QString value;    // as displayed, "012.3" or "0L"
    QString unit;     // as the table holds it: "mV", "k*"
    QString judge;    // "pass" or "Fail"

    static AlarmReading of(const Reading& reading, qint32 no, const QDateTime& moment);
};

// The variables a command run on an alarm finds its reading in:
//   VELKOR_NO         the row's number
//   VELKOR_TIMESTAMP  ISO 8601 with milliseconds and UTC offset
//   VELKOR_FUNCTION   DC, AC, OHM ...
//   VELKOR_VALUE      the value as displayed (012.3, 0L)
//   VELKOR_UNIT       readable (mV, kΩ, °C), UTF-8
//   VELKOR_SI         the value in the base unit ("" for an overload)
//   VELKOR_JUDGE      pass or Fail
CommandEnvironment alarmEnvironment(const AlarmReading& reading);

} // namespace velkor
