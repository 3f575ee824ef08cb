#pragma once

#include "http/ListenAddress.h"
#include "http/LiveRow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>

namespace velkor::http {

class ServerCore;

struct LiveServerOptions {
    ListenAddress listen;
    QByteArray token; // asked of every request when not empty
    // The rows held for /events, /api/readings and /api/log.csv.
    std::size_t heldRows = 100000;
    // The rows that may wait between the logger and the server.
    std::size_t handOffRows = 8192;
    // Bounds against slow or flooding clients.
    unsigned connectionLimit = 256;
    unsigned idleSeconds = 30;      // a connection that moves nothing is closed
    unsigned keepAliveSeconds = 15; // a stream says something at least this often
    // The packaged files the page uses: the chart library (dygraph.min.js
    // and dygraph.min.css) and the display's seven-segment font.
    QString chartDirectory;
    QString displayFont;
};

// The live view of a log run over HTTP, on a thread of its own, through
// libmicrohttpd: the page (/, its script, style and the packaged chart
// library and font), the event stream (/events), the rows held
// (/api/readings, /api/log.csv) and the metrics (/metrics). Read-only:
// nothing a request says reaches the logger. The logging thread hands rows
// over through a bounded hand-off and never waits for a client.
class LiveServer {
public:
    explicit LiveServer(LiveServerOptions options);
    ~LiveServer(); // stop()
    LiveServer(const LiveServer&) = delete;
    LiveServer& operator=(const LiveServer&) = delete;

    // Listens and starts serving. An error text (the system's reason) when
    // it cannot listen.
    std::optional<QString> start();
    // The port listened on (the system's pick for port 0) and the page's
    // address ("http://127.0.0.1:8080/").
    quint16 port() const;
    QString url() const;
    // What the page will lack: packaged files that are not there.
    QStringList missingFiles() const;

    // From the logging thread.
    void addRow(LiveRow row);
    void setLink(LinkState state);
    void setLimits(const QString& hi, const QString& lo);

    // The end of the run: the streams are told so and given up to `grace`
    // to take it, then every connection is closed. Once only.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(500));

private:
    std::unique_ptr<ServerCore> core_;
};

} // namespace velkor::http
