#pragma once

#include <QString>
#include <QStringList>

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

// The font families that draw the unit symbols (Ω, µ, °C) and the letters
// around them readably, with the Japanese texts: the panel's symbols, the
// grid's Unit column and every text of the printed report use them.
QStringList unitSymbolFontFamilies();

} // namespace velkor
