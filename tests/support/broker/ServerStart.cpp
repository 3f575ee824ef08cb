#include "support/broker/ServerStart.h"

#include <QThread>

namespace velkor::test {

QString startServer(const ServerLaunch& launch, bool again, std::unique_ptr<ChildProcess>& process) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!again) {
            launch.choosePorts();
        }
        if (const QString error = launch.writeConfig(); !error.isEmpty()) {
            return error;
        }
        process = std::make_unique<ChildProcess>();
        if (!process->start(launch.program, launch.arguments, launch.logFile)) {
            return QStringLiteral("cannot run %1").arg(launch.program);
        }
        const auto until = std::chrono::steady_clock::now() + launch.timeout;
        while (std::chrono::steady_clock::now() < until && process->running()) {
            if (launch.ready()) {
                return {};
            }
            QThread::msleep(static_cast<unsigned long>(launch.poll.count()));
        }
        if (process->running()) {
            return QStringLiteral("%1 did not answer within %2 ms:\n%3")
                .arg(launch.name)
                .arg(launch.timeout.count())
                .arg(launch.output());
        }
        if (again) {
            break;
        }
    }
    return QStringLiteral("%1 did not start:\n%2").arg(launch.name, launch.output());
}

} // namespace velkor::test
