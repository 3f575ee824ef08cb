#include "http/MeterMetrics.h"

#include "meter/UnitTable.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace velkor::http {

namespace {

struct Quantity {
    const char16_t* base; // the unit table's base unit
    const char* name;
    const char* help;
};

// Index = the order of the exposition; °F shares temperature with °C.
constexpr Quantity kQuantities[] = {
    {u"V", "velkor_voltage_volts", "The last voltage read, in volts."},
    {u"A", "velkor_current_amperes", "The last current read, in amperes."},
    {u"\u03A9", "velkor_resistance_ohms", "The last resistance read, in ohms."},
    {u"F", "velkor_capacitance_farads", "The last capacitance read, in farads."},
    {u"Hz", "velkor_frequency_hertz", "The last frequency read, in hertz."},
    {u"\u00B0C", "velkor_temperature_celsius", "The last temperature read, in degrees Celsius."},
    {u"%", "velkor_duty_cycle_ratio", "The last duty cycle read, as a ratio (0 to 1)."},
};
constexpr int kTemperature = 5;

void appendNumber(QByteArray& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
    } else if (std::isinf(v)) {
        out += v > 0 ? "+Inf" : "-Inf";
    } else {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        out.append(buf, r.ptr - buf);
    }
}

void appendFamily(QByteArray& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void appendSample(QByteArray& out, const char* name, double value) {
    out += name;
    out += ' ';
    appendNumber(out, value);
    out += '\n';
}

// A label value: backslash, quote and line feed escaped.
void appendLabelValue(QByteArray& out, const QString& text) {
    for (const char c : text.toUtf8()) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
}

} // namespace

void MeterMetrics::add(const LogRecord& row, const QDateTime& moment) {
    ++rows_;
    if (row.Auto == QLatin1String("Fail")) {
        ++fails_;
    }
    if (moment.isValid()) {
        lastSeconds_ = static_cast<double>(moment.toMSecsSinceEpoch()) / 1000.0;
    }
    const auto info = unitInfo(row.Unit);
    if (!info) {
        return;
    }
    int quantity = -1;
    bool fahrenheit = false;
    if (info->base == QStringView(u"\u00B0F")) {
        quantity = kTemperature;
        fahrenheit = true;
    } else {
        for (int i = 0; i < int(std::size(kQuantities)); ++i) {
            if (info->base == QStringView(kQuantities[i].base)) {
                quantity = i;
            }
        }
    }
    if (quantity < 0) {
        return;
    }
    double value = std::numeric_limits<double>::quiet_NaN();
    if (const auto si = baseUnitValue(row.Value, row.Unit)) {
        value = *si;
        if (fahrenheit) {
            value = (value - 32.0) * 5.0 / 9.0;
        } else if (info->base == QStringView(u"%")) {
            value /= 100.0;
        }
    }
    last_[quantity][row.DCAC] = value;
}

void MeterMetrics::addUncounted(std::uint64_t rows, std::uint64_t fails) {
    rows_ += rows;
    fails_ += fails;
}

QByteArray MeterMetrics::exposition() const {
    QByteArray out;
    out.reserve(1024);
    appendFamily(out, "velkor_readings_total", "counter",
                 "Readings logged since the logger started.");
    appendSample(out, "velkor_readings_total", double(rows_));
    appendFamily(out, "velkor_fail_readings_total", "counter",
                 "Readings logged with the judge Fail since the logger started.");
    appendSample(out, "velkor_fail_readings_total", double(fails_));
    appendFamily(out, "velkor_link_up", "gauge",
                 "1 while the meter's input is open and read, else 0.");
    appendSample(out, "velkor_link_up", link_ == LinkState::Reading ? 1.0 : 0.0);
    appendFamily(out, "velkor_http_connections", "gauge",
                 "Connections open to the live view, the one asking included.");
    appendSample(out, "velkor_http_connections", double(connections_));
    if (lastSeconds_) {
        appendFamily(out, "velkor_last_reading_timestamp_seconds", "gauge",
                     "When the last reading was logged, in seconds since 1970 (UTC).");
        appendSample(out, "velkor_last_reading_timestamp_seconds", *lastSeconds_);
    }
    for (const auto& [quantity, byFunction] : last_) {
        const Quantity& q = kQuantities[quantity];
        appendFamily(out, q.name, "gauge", q.help);
        for (const auto& [function, value] : byFunction) {
            out += q.name;
            out += "{function=\"";
            appendLabelValue(out, function);
            out += "\"} ";
            appendNumber(out, value);
            out += '\n';
        }
    }
    return out;
}

} // namespace velkor::http
