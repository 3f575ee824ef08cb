#pragma once

#include "http/LiveRow.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>

namespace velkor::http {

// What /metrics tells Prometheus, in its text format (version 0.0.4):
//
//   velkor_readings_total, velkor_fail_readings_total     counters of rows
//   velkor_link_up                                        1 while reading
//   velkor_last_reading_timestamp_seconds                 Unix time
//   velkor_http_connections                               open to this server
//   velkor_voltage_volts{function="DC"}                   the last value of
//   velkor_current_amperes, velkor_resistance_ohms,       each quantity in
//   velkor_capacitance_farads, velkor_frequency_hertz,    its base unit, per
//   velkor_temperature_celsius, velkor_duty_cycle_ratio   meter function
//
// °F is given in °C and percent as a ratio, as Prometheus's base units
// ask; an overload is NaN. A quantity appears once it has been read.
class MeterMetrics {
public:
    void add(const LogRecord& row, const QDateTime& moment);
    // Rows that were counted but not handed over.
    void addUncounted(std::uint64_t rows, std::uint64_t fails);
    void setLink(LinkState state) { link_ = state; }
    void setConnections(int connections) { connections_ = connections; }

    std::uint64_t rows() const { return rows_; }
    std::uint64_t fails() const { return fails_; }

    QByteArray exposition() const;

private:
    // Per quantity (in the order of the exposition), per function label.
    std::map<int, std::map<QString, double>> last_;
    std::uint64_t rows_ = 0;
    std::uint64_t fails_ = 0;
    std::optional<double> lastSeconds_;
    LinkState link_ = LinkState::Reading;
    int connections_ = 0;
};

// The content type of the exposition.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

} // namespace velkor::http
