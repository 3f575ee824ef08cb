#pragma once

#include "support/broker/ChildProcess.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace velkor::test {

// An HTTP request made with libcurl, for tests that talk to a server.
struct HttpAnswer {
    long status = 0; // 0: no answer (the reason in error)
    QByteArray body;
    QString error;
};
HttpAnswer httpPost(const QString& url, const QByteArray& body);
HttpAnswer httpGet(const QString& url);

// A real InfluxDB 1.x (Debian's influxd) for one test: its own
// configuration and data in a temporary directory, HTTP on a free port of
// 127.0.0.1, started and stopped by the test (killed at the end if still
// running).
class InfluxServer {
public:
    InfluxServer();
    ~InfluxServer();
    InfluxServer(const InfluxServer&) = delete;
    InfluxServer& operator=(const InfluxServer&) = delete;

    // Starts the server (on the port and data of the last run, after stop())
    // and returns once it answers /ping. Empty on success, else why.
    QString start();
    // SIGTERM, and waits for the end.
    void stop();

    quint16 port() const { return port_; }
    QString writeUrl(const QString& database) const;
    bool createDatabase(const QString& database);
    // The points an InfluxQL query gives, each as an object of its columns.
    std::vector<QJsonObject> query(const QString& database, const QString& influxQl,
                                   QString* error = nullptr);
    QString output() const; // what the server logged

private:
    bool writeConfig();
    bool answersPing() const;

    QTemporaryDir dir_;
    quint16 port_ = 0;
    quint16 rpcPort_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// The stand-in for InfluxDB 2.x's write endpoint (fake_influx2.py): checks
// each request as 2.x does and records the ones it took.
class FakeInflux2 {
public:
    struct Options {
        QString token = QStringLiteral("t0ken");
        QString org = QStringLiteral("lab");
        QString bucket = QStringLiteral("bench");
        int unavailable = 0; // the first writes answered 503 with Retry-After: 1
        bool refuseGzip = false;
    };
    explicit FakeInflux2(Options options);
    ~FakeInflux2();

    QString start(); // empty on success
    QString writeUrl(const QString& org, const QString& bucket) const;
    // The requests it took: query, encoding, contentType, lines.
    std::vector<QJsonObject> requests() const;
    // The lines of every request, in order.
    std::vector<QString> lines() const;

private:
    Options options_;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace velkor::test
