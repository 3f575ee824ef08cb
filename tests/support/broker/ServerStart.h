#pragma once

#include "support/broker/ChildProcess.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>

namespace velkor::test {

// How a server the tests run is started: on ports found free on 127.0.0.1,
// with a configuration written for them, ready once it answers.
struct ServerLaunch {
    QString name; // in messages: "the broker", "influxd"
    QString program;
    QStringList arguments;
    QString logFile;
    std::function<void()> choosePorts;    // new free ports
    std::function<QString()> writeConfig; // empty on success
    std::function<bool()> ready;          // answers on its port
    std::function<QString()> output;      // what it logged
    std::chrono::milliseconds timeout{20000};
    std::chrono::milliseconds poll{10};
};

// Starts the server in `process`. A port found free may be taken before the
// server binds it: then the server ends at once and other ports are tried,
// up to five times. `again` starts it once more on the ports it had (a
// restart in the middle of a test). Empty on success, else why, with what
// the server logged.
QString startServer(const ServerLaunch& launch, bool again, std::unique_ptr<ChildProcess>& process);

} // namespace velkor::test
