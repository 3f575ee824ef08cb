#pragma once

#include "record/LogRecord.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace velkor::http {

// One logged row as the logger hands it to the server.
struct LiveRow {
    LogRecord row;
    QDateTime moment;  // when it was logged
    QStringList marks; // shown with it (the range mode)
};

// The meter's link as the page shows it.
enum class LinkState {
    Reading,      // the input is open and read
    Reconnecting, // the device went away; the logger waits for it
    Away,         // the device went away; the run ends
    Ended,        // the run is over
};

// "reading", "reconnecting", "away", "ended".
const char* linkStateName(LinkState state);

} // namespace velkor::http
