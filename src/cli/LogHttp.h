#pragma once

#include "cli/LogOptions.h"
#include "cli/LogRun.h"
#include "http/LiveServer.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace velkor {
struct LogRecord;
struct Reading;
} // namespace velkor

namespace velkor::cli {

// Reads --http [ADDR:]PORT, --http-open and the token (VELKOR_HTTP_TOKEN)
// into `options`. A usage error's text, or empty. Listening beyond this
// machine needs the token, or --http-open for a network that is trusted;
// a token that is set is asked for on any address.
QString readHttpOptions(const std::optional<QString>& address, bool open, const QByteArray& token,
                        LogOptions* options);

// velkor-cli log --http: the live view of the run. Each logged row, the
// device's comings and goings and the limits go to the server, which
// serves them on its own thread; the log never waits for a client.
class LogHttp {
public:
    explicit LogHttp(const LogOptions& options);

    // Listens. An error text when it cannot; says where it serves.
    std::optional<QString> start();

    void limits(const QString& hi, const QString& lo);
    void row(const LogRecord& row, const Reading& reading, const QDateTime& moment);
    void device(LogRun::DeviceState state);
    // The run is over: pages are told so, then the server stops.
    void finish();

private:
    http::LiveServer server_;
};

} // namespace velkor::cli
