#include "cli/LogHttp.h"

#include "cli/CliOptions.h"
#include "http/Access.h"
#include "json/LoggedReading.h"

namespace velkor::cli {

namespace {

http::LiveServerOptions serverOptions(const LogOptions& options) {
    http::LiveServerOptions o;
    o.listen = *options.http;
    o.token = options.httpToken;
    o.chartDirectory = QStringLiteral(VELKOR_DYGRAPHS_DIR);
    o.displayFont = QStringLiteral(VELKOR_DISPLAY_FONT);
    return o;
}

} // namespace

QString readHttpOptions(const std::optional<QString>& address, bool open, const QByteArray& token,
                        LogOptions* options) {
    if (!address) {
        return open ? QStringLiteral("--http-open needs --http [ADDR:]PORT") : QString();
    }
    const http::ListenParse parsed = http::parseListenAddress(*address);
    if (!parsed.address) {
        return QStringLiteral("--http: %1").arg(parsed.error);
    }
    if (!token.isEmpty()) {
        if (const auto problem = http::tokenProblem(token)) {
            return QStringLiteral("%1: %2").arg(QLatin1String(kHttpTokenVariable), *problem);
        }
    } else if (!parsed.address->isLoopback() && !open) {
        return QStringLiteral("--http on %1 reaches beyond this machine: give a token in %2, or "
                              "--http-open on a network you trust")
            .arg(parsed.address->host, QLatin1String(kHttpTokenVariable));
    }
    options->http = parsed.address;
    options->httpToken = token;
    return {};
}

LogHttp::LogHttp(const LogOptions& options) : server_(serverOptions(options)) {}

std::optional<QString> LogHttp::start() {
    if (const auto error = server_.start()) {
        return error;
    }
    reportError(QStringLiteral("http: the live view is at %1").arg(server_.url()));
    for (const QString& file : server_.missingFiles()) {
        reportError(QStringLiteral("http: %1 is missing; the page does without it").arg(file));
    }
    return std::nullopt;
}

void LogHttp::limits(const QString& hi, const QString& lo) {
    server_.setLimits(hi, lo);
}

void LogHttp::row(const LogRecord& row, const Reading& reading, const QDateTime& moment) {
    server_.addRow({row, moment, json::readingMarks(reading)});
}

void LogHttp::device(LogRun::DeviceState state) {
    switch (state) {
    case LogRun::DeviceState::Lost: server_.setLink(http::LinkState::Away); break;
    case LogRun::DeviceState::AwaitingReturn: server_.setLink(http::LinkState::Reconnecting); break;
    case LogRun::DeviceState::Back: server_.setLink(http::LinkState::Reading); break;
    }
}

void LogHttp::finish() {
    server_.stop();
}

} // namespace velkor::cli
