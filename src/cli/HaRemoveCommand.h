#pragma once

#include <QStringList>

namespace velkor::cli {

// velkor-cli log --mqtt URL --ha-remove [--ha-discovery=PREFIX]
// [--mqtt-cafile FILE]: removes the logger's entities from Home Assistant
// (an empty retained config for each sensor and the Pass/Fail sensor, and
// the retained states cleared) and ends, without logging. Exit status 0
// when the broker took every removal, 1 when it could not be reached or
// refused the login, 2 for a usage error.
int runHaRemove(const QStringList& args);

} // namespace velkor::cli
