#include "support/web/PrometheusServer.h"

#include "support/broker/MosquittoBroker.h"
#include "support/web/Curl.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QUrl>
#include <csignal>

namespace velkor::test {

PrometheusServer::PrometheusServer(QString target, QByteArray token)
    : target_(std::move(target)), token_(std::move(token)) {}

PrometheusServer::~PrometheusServer() {
    if (process_.running()) {
        process_.signal(SIGTERM);
        if (!process_.wait(std::chrono::seconds(10))) {
            process_.signal(SIGKILL);
            process_.wait(std::chrono::seconds(10));
        }
    }
}

QString PrometheusServer::output() const {
    QFile log(dir_.filePath(QStringLiteral("prometheus.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

QString PrometheusServer::start() {
    QString config = QStringLiteral("global:\n"
                                    "  scrape_interval: 1s\n"
                                    "  scrape_timeout: 1s\n"
                                    "scrape_configs:\n"
                                    "  - job_name: velkor\n"
                                    "    static_configs:\n"
                                    "      - targets: ['%1']\n")
                         .arg(target_);
    if (!token_.isEmpty()) {
        config += QStringLiteral("    authorization:\n      credentials: '%1'\n")
                      .arg(QString::fromLatin1(token_));
    }
    QFile file(dir_.filePath(QStringLiteral("prometheus.yml")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        return QStringLiteral("cannot write the configuration");
    }
    file.close();
    port_ = freeLoopbackPort();
    if (!process_.start(
            QStringLiteral(VELKOR_PROMETHEUS),
            {QStringLiteral("--config.file=") + file.fileName(),
             QStringLiteral("--storage.tsdb.path=") + dir_.filePath(QStringLiteral("data")),
             QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port_),
             QStringLiteral("--log.level=warn")},
            dir_.filePath(QStringLiteral("prometheus.log")))) {
        return QStringLiteral("cannot run prometheus");
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until && process_.running()) {
        if (curl(QStringLiteral("http://127.0.0.1:%1/-/ready").arg(port_)).status == 200) {
            return {};
        }
        QThread::msleep(100);
    }
    return QStringLiteral("prometheus did not get ready:\n") + output();
}

std::optional<double> PrometheusServer::value(const QString& query) {
    const HttpAnswer a = curl(QStringLiteral("http://127.0.0.1:%1/api/v1/query?query=%2")
                                  .arg(port_)
                                  .arg(QString::fromLatin1(QUrl::toPercentEncoding(query))));
    const QJsonArray result = QJsonDocument::fromJson(a.body)
                                  .object()
                                  .value(QLatin1String("data"))
                                  .toObject()
                                  .value(QLatin1String("result"))
                                  .toArray();
    if (result.isEmpty()) {
        return std::nullopt;
    }
    // "value": [time, "text"]
    bool ok = false;
    const double v = result.first()
                         .toObject()
                         .value(QLatin1String("value"))
                         .toArray()
                         .at(1)
                         .toString()
                         .toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

} // namespace velkor::test
