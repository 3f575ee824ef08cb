#pragma once

#include <QString>

namespace velkor {

// The meter display writes some symbols as plain characters: "*" ohm, "#"
// degrees Celsius, "?" degrees Fahrenheit, "u" micro in unit texts, and on the
// panel "+" micro, "$" battery, ")" diode, "&" continuity, '"' hold, "@" the
// overload letter, "!" record, "(" the BT mark. This is the one place that
// turns them into the symbols they stand for.

// A unit text as people read it: "k*" -> "kΩ", "#" -> "°C", "uA" -> "µA".
QString unitDisplayText(const QString& unitText);
// One panel caption character as the symbol it stands for.
QString panelSymbol(QChar c);

} // namespace velkor
