#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

namespace velkor::influx {

// One logged row as a line of InfluxDB's line protocol, measurement "meter":
//   meter,device=/dev/ttyUSB0,function=DC,judge=pass,topic=bench/3,unit=V
//       no=12i,si=0.1234,value="123.4",value_unit="mV" 1765443903120000000
// Tags (sorted by key, as the server stores them): the device, the MQTT
// topic, the function, the base unit of si and the judge, each left out
// when empty (the protocol has no empty tag). Fields: the row number, si
// (the value in the base unit; left out for an overload or a value that is
// no finite number), the value and its unit as the meter showed them.
//
// Escaping as the line-protocol reference requires: ',' '=' and ' ' in tag
// values with a backslash, '"' and '\' in string fields. What the protocol
// cannot carry is changed, not sent broken: a control character (a line
// break would end the line) becomes U+FFFD, and a tag value's trailing
// backslashes are left out (they would escape the separator after them).
struct InfluxRow {
    qint64 no = 0;
    qint64 timeNs = 0; // nanoseconds since 1970 UTC
    QString device;
    QString topic;
    QString function;
    QString unit; // the base unit of si
    QString judge;
    QString value;     // as shown ("123.4", "OL")
    QString valueUnit; // as shown ("mV")
    std::optional<double> si;
};

QByteArray influxLine(const InfluxRow& row);

// Nanosecond timestamps from millisecond moments that never repeat: a point
// is identified by its tags and time, and a second row in the same
// millisecond would replace the first. Such a row gets the next nanosecond.
class UniqueNanoseconds {
public:
    qint64 next(qint64 msecsSinceEpoch);

private:
    std::optional<qint64> last_;
};

} // namespace velkor::influx
