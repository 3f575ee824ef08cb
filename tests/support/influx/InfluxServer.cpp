#include "support/influx/InfluxServer.h"

#include "support/broker/MosquittoBroker.h"
#include "support/broker/ServerStart.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <QUrlQuery>
#include <chrono>
#include <csignal>
#include <curl/curl.h>

namespace velkor::test {

namespace {

constexpr std::chrono::milliseconds kStartTimeout{30000};
constexpr std::chrono::milliseconds kStopTimeout{20000};

size_t collect(char* data, size_t size, size_t count, void* out) {
    static_cast<QByteArray*>(out)->append(data, static_cast<qsizetype>(size * count));
    return size * count;
}

HttpAnswer request(const QString& url, const QByteArray* postBody) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    HttpAnswer answer;
    CURL* curl = initialised ? curl_easy_init() : nullptr;
    if (!curl) {
        answer.error = QStringLiteral("no libcurl");
        return answer;
    }
    const QByteArray u = url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, u.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 20000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    if (postBody) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody->constData());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(postBody->size()));
    }
    const CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    } else {
        answer.error = QString::fromUtf8(curl_easy_strerror(rc));
    }
    curl_easy_cleanup(curl);
    return answer;
}

} // namespace

HttpAnswer httpPost(const QString& url, const QByteArray& body) {
    return request(url, &body);
}

HttpAnswer httpGet(const QString& url) {
    return request(url, nullptr);
}

InfluxServer::InfluxServer() = default;
InfluxServer::~InfluxServer() = default; // the child is killed with it

bool InfluxServer::writeConfig() {
    const QString d = dir_.path();
    const QString conf = QStringLiteral(R"(reporting-disabled = true
bind-address = "127.0.0.1:%1"
[meta]
  dir = "%3/meta"
[data]
  dir = "%3/data"
  wal-dir = "%3/wal"
  query-log-enabled = false
[http]
  bind-address = "127.0.0.1:%2"
  log-enabled = false
[monitor]
  store-enabled = false
[subscriber]
  enabled = false
[continuous_queries]
  enabled = false
)")
                             .arg(rpcPort_)
                             .arg(port_)
                             .arg(d);
    QFile file(d + QStringLiteral("/influxdb.conf"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(conf.toUtf8()) == conf.toUtf8().size();
}

bool InfluxServer::answersPing() const {
    return httpGet(QStringLiteral("http://127.0.0.1:%1/ping").arg(port_)).status == 204;
}

QString InfluxServer::start() {
    if (!dir_.isValid()) {
        return QStringLiteral("no temporary directory");
    }
    ServerLaunch launch;
    launch.name = QStringLiteral("influxd");
    launch.program = QStringLiteral(VELKOR_INFLUXD);
    launch.arguments = {QStringLiteral("-config"), dir_.path() + QStringLiteral("/influxdb.conf")};
    launch.logFile = dir_.path() + QStringLiteral("/influxd.log");
    launch.choosePorts = [this] {
        port_ = freeLoopbackPort();
        rpcPort_ = freeLoopbackPort();
    };
    launch.writeConfig = [this] {
        return writeConfig() ? QString()
                             : QStringLiteral("cannot write the server's configuration");
    };
    launch.ready = [this] { return answersPing(); };
    launch.output = [this] { return output(); };
    launch.timeout = kStartTimeout;
    return startServer(launch, port_ != 0, process_);
}

void InfluxServer::stop() {
    if (!process_ || !process_->running()) {
        return;
    }
    process_->signal(SIGTERM);
    if (!process_->wait(kStopTimeout)) {
        process_->signal(SIGKILL);
        process_->wait(kStopTimeout);
    }
}

QString InfluxServer::writeUrl(const QString& database) const {
    return QStringLiteral("http://127.0.0.1:%1/write?db=%2").arg(port_).arg(database);
}

bool InfluxServer::createDatabase(const QString& database) {
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("q"), QStringLiteral("CREATE DATABASE \"%1\"").arg(database));
    return httpPost(QStringLiteral("http://127.0.0.1:%1/query").arg(port_),
                    q.query(QUrl::FullyEncoded).toUtf8())
               .status == 200;
}

std::vector<QJsonObject> InfluxServer::query(const QString& database, const QString& influxQl,
                                             QString* error) {
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("db"), database);
    q.addQueryItem(QStringLiteral("q"), influxQl);
    q.addQueryItem(QStringLiteral("epoch"), QStringLiteral("ns"));
    const HttpAnswer a = httpGet(QStringLiteral("http://127.0.0.1:%1/query?").arg(port_) +
                                 q.query(QUrl::FullyEncoded));
    std::vector<QJsonObject> points;
    if (a.status != 200) {
        if (error) {
            *error = QStringLiteral("HTTP %1 %2 %3")
                         .arg(a.status)
                         .arg(a.error, QString::fromUtf8(a.body));
        }
        return points;
    }
    const QJsonArray results =
        QJsonDocument::fromJson(a.body).object().value(QLatin1String("results")).toArray();
    for (const QJsonValue& result : results) {
        for (const QJsonValue& series :
             result.toObject().value(QLatin1String("series")).toArray()) {
            const QJsonArray columns = series.toObject().value(QLatin1String("columns")).toArray();
            for (const QJsonValue& values :
                 series.toObject().value(QLatin1String("values")).toArray()) {
                QJsonObject point;
                const QJsonArray v = values.toArray();
                for (qsizetype i = 0; i < columns.size() && i < v.size(); ++i) {
                    point.insert(columns[i].toString(), v[i]);
                }
                points.push_back(point);
            }
        }
    }
    return points;
}

QString InfluxServer::output() const {
    QFile log(dir_.path() + QStringLiteral("/influxd.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

FakeInflux2::FakeInflux2(Options options) : options_(std::move(options)) {}
FakeInflux2::~FakeInflux2() = default;

QString FakeInflux2::start() {
    QStringList args{QStringLiteral(VELKOR_FAKE_INFLUX2),
                     QStringLiteral("--token"),
                     options_.token,
                     QStringLiteral("--org"),
                     options_.org,
                     QStringLiteral("--bucket"),
                     options_.bucket,
                     QStringLiteral("--log"),
                     dir_.filePath(QStringLiteral("requests.jsonl")),
                     QStringLiteral("--unavailable"),
                     QString::number(options_.unavailable)};
    if (options_.refuseGzip) {
        args << QStringLiteral("--refuse-gzip");
    }
    process_ = std::make_unique<ChildProcess>();
    if (!process_->start(QStringLiteral(VELKOR_PYTHON3), args)) {
        return QStringLiteral("cannot run %1").arg(QStringLiteral(VELKOR_PYTHON3));
    }
    const QByteArray said = process_->waitForOutput("\n", kStartTimeout);
    if (!said.startsWith("listening ")) {
        return QStringLiteral("the stand-in server did not start: ") + QString::fromUtf8(said);
    }
    port_ = static_cast<quint16>(said.mid(10).trimmed().toUInt());
    return {};
}

QString FakeInflux2::writeUrl(const QString& org, const QString& bucket) const {
    return QStringLiteral("http://127.0.0.1:%1/api/v2/write?org=%2&bucket=%3")
        .arg(port_)
        .arg(org, bucket);
}

std::vector<QJsonObject> FakeInflux2::requests() const {
    std::vector<QJsonObject> out;
    QFile log(dir_.filePath(QStringLiteral("requests.jsonl")));
    if (!log.open(QIODevice::ReadOnly)) {
        return out;
    }
    for (const QByteArray& line : log.readAll().split('\n')) {
        if (!line.isEmpty()) {
            out.push_back(QJsonDocument::fromJson(line).object());
        }
    }
    return out;
}

std::vector<QString> FakeInflux2::lines() const {
    std::vector<QString> out;
    for (const QJsonObject& r : requests()) {
        for (const QJsonValue& l : r.value(QLatin1String("lines")).toArray()) {
            out.push_back(l.toString());
        }
    }
    return out;
}

} // namespace velkor::test
