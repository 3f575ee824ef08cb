#pragma once

#include <QString>
#include <optional>

namespace velkor {

// One row of the measurement table cds1, field by field in table order:
// No, Time, DC/AC, Value, Unit, Auto, NVal. The five texts hold at most 20
// characters (the table cuts longer ones). NVal is never written by the
// program; it stays null.
struct LogRecord {
    std::optional<qint32> No;
    QString Time;
    QString DCAC;
    QString Value;
    QString Unit;
    QString Auto;
    std::optional<qint32> NVal;

    bool operator==(const LogRecord&) const = default;
};

inline constexpr int kLogTextFieldWidth = 20;

// The seven field names, in table order.
inline constexpr const char* kLogFieldNames[7] = {"No",   "Time", "DC/AC", "Value",
                                                  "Unit", "Auto", "NVal"};

} // namespace velkor
