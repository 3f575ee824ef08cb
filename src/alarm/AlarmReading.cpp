#include "alarm/AlarmReading.h"

#include "meter/Reading.h"
#include "meter/UnitTable.h"
#include "record/Timestamp.h"

namespace velkor {

AlarmReading AlarmReading::of(const Reading& reading, qint32 no, const QDateTime& moment) {
    return {
        no, moment, reading.FunctionText, reading.ValueText, reading.UnitText, reading.JudgeText};
}

CommandEnvironment alarmEnvironment(const AlarmReading& r) {
    CommandEnvironment env;
    env.set = {
        {"VELKOR_NO", QByteArray::number(r.no)},
        {"VELKOR_TIMESTAMP", isoTimestampUtf8(r.moment)},
        {"VELKOR_FUNCTION", r.function.toUtf8()},
        {"VELKOR_VALUE", r.value.toUtf8()},
        {"VELKOR_UNIT", readableUnit(r.unit).toUtf8()},
        {"VELKOR_SI", baseUnitValueText(r.value, r.unit).toUtf8()},
        {"VELKOR_JUDGE", r.judge.toUtf8()},
    };
    return env;
}

} // namespace velkor
