#pragma once

#include "support/broker/ChildProcess.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <optional>

namespace velkor::test {

// A real Prometheus server for one test: a configuration that scrapes one
// target every second (with a bearer token when given), its data in a
// temporary directory, listening on a free port of 127.0.0.1. Killed at
// the end if still running.
class PrometheusServer {
public:
    PrometheusServer(QString target, QByteArray token = {});
    ~PrometheusServer();

    // Starts it and waits until it is ready. Empty on success, else why.
    QString start();
    // An instant query's first value, or nothing (no such series yet).
    std::optional<double> value(const QString& query);
    QString output() const;

private:
    QString target_;
    QByteArray token_;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    ChildProcess process_;
};

} // namespace velkor::test
