#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace velkor {

// The meter's unit texts as people and programs read them, and the power of
// ten that takes a value in that unit to its base unit.
//
// A unit text is a base unit, optionally after a prefix:
//   base    V, A, "*" (ohm, read "Ω"), F, Hz   take the prefixes n, u, m, k, M;
//           "#" (°C), "?" (°F), "%"            take none.
//   prefix  n -9, u -6 (read "µ"), m -3, k 3, M 6.
// Temperatures stay in their own degree and percent in percent: their base
// unit is the one shown, so only the prefixed units change value. The
// readable spellings (Ω, µ, °C, °F, and the symbols ℃ ℉ Ω μ) are taken too,
// as a log file from elsewhere may hold them.
struct UnitInfo {
    QString readable; // "mV", "kΩ", "µF", "°C"
    QString base;     // "V", "Ω", "F", "°C"
    int exponent = 0; // value in base unit = displayed value x 10^exponent
};

// The unit text's readable form and factor; nothing for a text that is no
// unit of the meter (an empty text, a text from a foreign file).
std::optional<UnitInfo> unitInfo(QStringView unitText);

// The readable form of a unit text: the table's for a known unit, else the
// text with the display font's symbols turned into what they stand for.
QString readableUnit(const QString& unitText);

// The displayed value moved to the base unit, as exact decimal text with a
// "." point in any locale and without needless zeros ("123.4" mV ->
// "0.1234", "4.700" kΩ -> "4700", "-000.0" V -> "0"). The displayed text may
// use "." or "," as its point. Empty for an overload ("0L"), a text that is
// no number, or a unit the table does not know.
QString baseUnitValueText(QStringView valueText, QStringView unitText);
// The same as a number (the double nearest to the exact decimal).
std::optional<double> baseUnitValue(QStringView valueText, QStringView unitText);

} // namespace velkor
