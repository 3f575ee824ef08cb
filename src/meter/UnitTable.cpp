#include "meter/UnitTable.h"

#include "meter/DisplaySymbols.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>
#include <string>

namespace velkor {

namespace {

struct BaseUnit {
    std::initializer_list<const char16_t*> spellings; // the meter's code first
    const char16_t* readable;
    bool prefixed; // takes the metric prefixes
};

// Each unit as the meter writes it and as readable texts write it (a log
// file from elsewhere may hold "kΩ" or "°C").
const std::array<BaseUnit, 8> kBases{{
    {{u"V"}, u"V", true},
    {{u"A"}, u"A", true},
    {{u"*", u"\u03A9", u"\u2126"}, u"\u03A9", true}, // Ω (Greek omega, ohm sign)
    {{u"F"}, u"F", true},
    {{u"Hz"}, u"Hz", true},
    {{u"#", u"\u00B0C", u"\u2103"}, u"\u00B0C", false}, // °C, ℃
    {{u"?", u"\u00B0F", u"\u2109"}, u"\u00B0F", false}, // °F, ℉
    {{u"%"}, u"%", false},
}};

struct Prefix {
    std::initializer_list<char16_t> spellings;
    const char16_t* readable;
    int exponent;
};

const std::array<Prefix, 5> kPrefixes{{
    {{u'n'}, u"n", -9},
    {{u'u', u'\u00B5', u'\u03BC'}, u"\u00B5", -6}, // µ (micro sign, Greek mu)
    {{u'm'}, u"m", -3},
    {{u'k'}, u"k", 3},
    {{u'M'}, u"M", 6},
}};

const BaseUnit* findBase(QStringView code) {
    for (const BaseUnit& b : kBases) {
        for (const char16_t* spelling : b.spellings) {
            if (code == QStringView(spelling)) {
                return &b;
            }
        }
    }
    return nullptr;
}

// The digits of a displayed value and where its point stands.
struct Decimal {
    bool negative = false;
    std::string digits;  // at least one
    qsizetype point = 0; // digits before the point
};

std::optional<Decimal> parseDisplayed(QStringView text) {
    text = text.trimmed();
    Decimal d;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        d.negative = text[i] == u'-';
        ++i;
    }
    bool seenPoint = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            d.digits += static_cast<char>(c);
        } else if ((c == u'.' || c == u',') && !seenPoint) {
            seenPoint = true;
            d.point = static_cast<qsizetype>(d.digits.size());
        } else {
            return std::nullopt; // "0L", a second point, anything else
        }
    }
    if (d.digits.empty()) {
        return std::nullopt;
    }
    if (!seenPoint) {
        d.point = static_cast<qsizetype>(d.digits.size());
    }
    return d;
}

} // namespace

std::optional<UnitInfo> unitInfo(QStringView unitText) {
    if (const BaseUnit* b = findBase(unitText)) {
        return UnitInfo{QString::fromUtf16(b->readable), QString::fromUtf16(b->readable), 0};
    }
    if (unitText.size() < 2) {
        return std::nullopt;
    }
    const BaseUnit* b = findBase(unitText.mid(1));
    if (!b || !b->prefixed) {
        return std::nullopt;
    }
    for (const Prefix& p : kPrefixes) {
        if (std::find(p.spellings.begin(), p.spellings.end(), unitText[0].unicode()) !=
            p.spellings.end()) {
            const QString base = QString::fromUtf16(b->readable);
            return UnitInfo{QString::fromUtf16(p.readable) + base, base, p.exponent};
        }
    }
    return std::nullopt;
}

QString readableUnit(const QString& unitText) {
    if (const auto info = unitInfo(unitText)) {
        return info->readable;
    }
    return unitDisplayText(unitText);
}

QString baseUnitValueText(QStringView valueText, QStringView unitText) {
    const auto info = unitInfo(unitText);
    if (!info) {
        return {};
    }
    auto d = parseDisplayed(valueText);
    if (!d) {
        return {};
    }
    std::string& digits = d->digits;
    qsizetype point = d->point + info->exponent;
    // Room for the point on either side, then the point moved.
    if (point <= 0) {
        digits.insert(0, static_cast<std::size_t>(1 - point), '0');
        point = 1;
    }
    if (point > static_cast<qsizetype>(digits.size())) {
        digits.append(static_cast<std::size_t>(point) - digits.size(), '0');
    }
    std::string whole = digits.substr(0, static_cast<std::size_t>(point));
    std::string fraction = digits.substr(static_cast<std::size_t>(point));
    const auto firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);
    const auto lastNonZero = fraction.find_last_not_of('0');
    fraction =
        lastNonZero == std::string::npos ? std::string() : fraction.substr(0, lastNonZero + 1);
    const bool zero = whole == "0" && fraction.empty();
    std::string out = d->negative && !zero ? "-" : "";
    out += whole;
    if (!fraction.empty()) {
        out += '.';
        out += fraction;
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

std::optional<double> baseUnitValue(QStringView valueText, QStringView unitText) {
    const QString text = baseUnitValueText(valueText, unitText);
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const QByteArray latin = text.toLatin1();
    double value = 0.0;
    const auto r = std::from_chars(latin.constData(), latin.constData() + latin.size(), value);
    if (r.ec != std::errc()) {
        return std::nullopt; // beyond a double's range
    }
    return value;
}

} // namespace velkor
