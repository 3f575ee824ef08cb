#pragma once

#include <QString>

namespace velkor::cli {

class CliOptions;
struct LogOptions;

// The options of log that act on the judge's verdicts and the end of the
// run: --on-fail CMD, --on-pass CMD, --alarm-after N, --stop-on-fail,
// --quiet, into `o`. The usage error, or empty.
QString readAlarmOptions(const CliOptions& opts, LogOptions& o);

// The most readings an alarm can wait for.
inline constexpr int kMaxAlarmAfter = 1'000'000;

} // namespace velkor::cli
