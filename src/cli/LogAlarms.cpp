#include "cli/LogAlarms.h"

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LabOptions.h"
#include "cli/LogOptions.h"
#include "cli/LogRun.h"
#include "meter/Reading.h"
#include "pipeline/MeterSession.h"
#include "platform/Clock.h"
#include "record/LogRecord.h"

namespace velkor::cli {

LogAlarms::LogAlarms(const LogOptions& options, LogRun& run, const Clock& clock,
                     CommandRunner& runner)
    : run_(run), clock_(clock), stopOnFail_(options.stopOnFail), watch_(options.alarmAfter),
      commands_(runner, {options.onFail,
                         options.onPass,
                         {kMqttPasswordVariable, kInfluxTokenVariable, kInfluxPasswordVariable}}) {
    commands_.say = [](const QString& message) { reportError(message); };
    MeterSession& session = run_.session();
    session.onJudged = [this](const Reading& reading, Verdict verdict) {
        judged(reading, verdict);
    };
    session.onHandedOff = [this](const Reading&) { handedOff(); };
}

LogAlarms::~LogAlarms() {
    MeterSession& session = run_.session();
    session.onJudged = nullptr;
    session.onHandedOff = nullptr;
}

bool LogAlarms::wanted(const LogOptions& options) {
    return !options.onFail.isEmpty() || !options.onPass.isEmpty() || options.stopOnFail ||
           options.mqtt.has_value();
}

// The reading is numbered as the log numbers it; it is stamped with the
// moment of its row once that is logged.
void LogAlarms::judged(const Reading& reading, Verdict verdict) {
    const AlarmTransition t = watch_.judged(verdict);
    if (t != AlarmTransition::None) {
        pending_ =
            Pending{t, AlarmReading::of(reading, run_.session().log.NextRecordNo, clock_.now())};
    }
}

void LogAlarms::rowLogged(const LogRecord& row, const QDateTime& moment) {
    if (pending_ && row.No == pending_->reading.no) {
        pending_->reading.moment = moment;
    }
}

void LogAlarms::handedOff() {
    if (!pending_) {
        return;
    }
    const Pending p = *pending_;
    pending_.reset();
    const bool failing = p.transition == AlarmTransition::ToFail;
    if (publish) {
        publish(failing, p.reading);
    }
    commands_.transition(p.transition, p.reading);
    if (failing && stopOnFail_ && !run_.isFinished()) {
        reportError(QStringLiteral("the judge turned Fail at No. %1: --stop-on-fail ends the run")
                        .arg(p.reading.no));
        run_.stop(kExitAlarm);
    }
}

void LogAlarms::finish() {
    commands_.finish(kFinishWaitMs);
}

} // namespace velkor::cli
