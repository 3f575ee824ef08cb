#pragma once

#include <QString>

namespace velkor {

// The decoded measurement, overwritten by every decoding pass. A pass that
// stops on a conversion error leaves the fields of its later steps as the
// previous frame left them.
struct Reading {
    QString ValueText;     // as the meter shows it, with the locale's separator, or "0L"
    QString FunctionText;  // "DC", "AC", "Diode", "CTN", "OHM", "CAP", "TMP", "Freq", "DutyCycle"
    QString UnitText;      // "V", "mV", "*" (ohm), "k*", "#" (Celsius), "?" (Fahrenheit), ...
    QString RangeModeText; // "AUTO" or "MANU"
    QString JudgeText;     // "pass" or "Fail"; set by the limit judge
    double CountValue = 0.0;
    double ScaledValue = 0.0;
    int DecimalPointPos = 0;
    bool FreshReading = false;
};

} // namespace velkor
