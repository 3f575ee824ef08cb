#include "cli/LogInflux.h"

#include "cli/CliOptions.h"
#include "cli/DrainWait.h"
#include "meter/UnitTable.h"
#include "record/LogRecord.h"

namespace velkor::cli {

LogInflux::LogInflux(const LogOptions& options)
    : device_(sourceName(options)), topic_(options.mqtt ? options.mqtt->topic : QString()) {
    influx::InfluxWriterOptions o;
    o.target = *options.influx;
    writer_ = std::make_unique<influx::InfluxWriter>(
        std::move(o), [this](const influx::InfluxEvent& e) { event(e); });
}

LogInflux::~LogInflux() {
    // The thread ends before the handler's object goes.
    writer_.reset();
}

std::optional<QString> LogInflux::start() {
    return writer_->start();
}

void LogInflux::event(const influx::InfluxEvent& e) {
    relay_.say(e.message, e.kind == influx::InfluxEventKind::Fatal);
}

void LogInflux::write(const LogRecord& row, const QDateTime& moment) {
    influx::InfluxRow r;
    r.no = row.No.value_or(0);
    r.timeNs = stamps_.next(moment.toMSecsSinceEpoch());
    r.device = device_;
    r.topic = topic_;
    r.function = row.DCAC;
    const auto unit = unitInfo(row.Unit);
    r.unit = unit ? unit->base : readableUnit(row.Unit);
    r.judge = row.Auto;
    r.value = row.Value;
    r.valueUnit = readableUnit(row.Unit);
    r.si = baseUnitValue(row.Value, row.Unit);
    writer_->write(influx::influxLine(r));
}

void LogInflux::finish(bool drain) {
    if (drain && !relay_.failed()) {
        waitWhileDraining(
            [this] {
                const influx::InfluxWriterStats s = writer_->stats();
                return s.waiting + s.inFlight;
            },
            [this] { return relay_.failed(); });
    }
    writer_->stop();
}

} // namespace velkor::cli
