#include "cli/AlarmOptions.h"

#include "cli/CliOptions.h"
#include "cli/LogOptions.h"

namespace velkor::cli {

QString readAlarmOptions(const CliOptions& opts, LogOptions& o) {
    const char* const commands[] = {"--on-fail", "--on-pass"};
    QString* const targets[] = {&o.onFail, &o.onPass};
    for (int i = 0; i < 2; ++i) {
        if (const auto command = opts.value(QLatin1String(commands[i]))) {
            if (command->trimmed().isEmpty()) {
                return QStringLiteral("%1 needs a command").arg(QLatin1String(commands[i]));
            }
            *targets[i] = *command;
        }
    }
    if (const auto after = opts.value(QStringLiteral("--alarm-after"))) {
        bool ok = false;
        const int n = after->toInt(&ok);
        if (!ok || n < 1 || n > kMaxAlarmAfter) {
            return QStringLiteral("--alarm-after needs a whole number of readings from 1 to %1")
                .arg(kMaxAlarmAfter);
        }
        o.alarmAfter = n;
    }
    o.stopOnFail = opts.flag(QStringLiteral("--stop-on-fail"));
    o.quiet = opts.flag(QStringLiteral("--quiet"));
    if (opts.value(QStringLiteral("--alarm-after")) && o.onFail.isEmpty() && o.onPass.isEmpty() &&
        !o.stopOnFail && !o.mqtt) {
        return QStringLiteral(
            "--alarm-after needs --on-fail, --on-pass, --stop-on-fail or --mqtt to act on");
    }
    return {};
}

} // namespace velkor::cli
