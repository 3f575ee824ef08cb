#include "meter/DisplaySymbols.h"

namespace velkor {

QString unitDisplayText(const QString& unitText) {
    QString out;
    out.reserve(unitText.size() + 1);
    for (const QChar c : unitText) {
        switch (c.unicode()) {
        case u'*': out += QStringLiteral("\u03A9"); break;  // Ω
        case u'#': out += QStringLiteral("\u00B0C"); break; // °C
        case u'?': out += QStringLiteral("\u00B0F"); break; // °F
        case u'u': out += QStringLiteral("\u00B5"); break;  // µ
        default: out += c;
        }
    }
    return out;
}

QString panelSymbol(QChar c) {
    switch (c.unicode()) {
    case u'*': return QStringLiteral("\u03A9");     // ohm
    case u'#': return QStringLiteral("\u00B0C");    // degrees Celsius
    case u'?': return QStringLiteral("\u00B0F");    // degrees Fahrenheit
    case u'+': return QStringLiteral("\u00B5");     // micro
    case u'"': return QStringLiteral("H");          // hold (drawn as a framed H)
    case u'$': return QStringLiteral("\U0001F50B"); // battery
    case u')': return QStringLiteral("\u25B6|");    // diode
    case u'&': return QStringLiteral("\u266B");     // continuity beeper
    case u'@': return QStringLiteral("L");          // overload letter
    case u'!': return QStringLiteral("\u25CF");     // record
    case u'(': return QStringLiteral("BT");
    default: return QString(c);
    }
}

QStringList unitSymbolFontFamilies() {
    return {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK JP")};
}

} // namespace velkor
