#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace velkor::test {

// One answer as curl got it.
struct HttpAnswer {
    int status = 0; // 0: no answer at all
    QByteArray headers;
    QByteArray body;
    // The value of a header (the first of that name), empty when none.
    QByteArray header(const QByteArray& name) const;
};

// GET (or HEAD with "-I", or other curl arguments before the URL) with
// curl, up to 30 seconds.
HttpAnswer curl(const QString& url, const QStringList& args = {});

// One Server-Sent Event.
struct SseEvent {
    QByteArray id;
    QByteArray event; // empty: a reading ("message")
    QByteArray data;
};

// curl -N on an event stream, read as it comes.
class CurlStream {
public:
    explicit CurlStream(const QString& url, const QStringList& args = {});
    ~CurlStream();
    CurlStream(const CurlStream&) = delete;
    CurlStream& operator=(const CurlStream&) = delete;

    // Turns the event loop until `done(events)` holds or curl ends, up to
    // timeoutMs.
    template <class Done> bool waitFor(Done done, int timeoutMs = 30000);
    bool waitEnd(int timeoutMs = 30000);
    const QList<SseEvent>& events() const { return events_; }
    // The readings only (events without a name).
    const QList<SseEvent>& readings() const { return readings_; }

    void take();
    QProcess process;

private:
    QByteArray buffer_;
    QList<SseEvent> events_;
    QList<SseEvent> readings_;
};

// The events in a stream's text, and what is left of an event not yet whole.
QList<SseEvent> parseEvents(QByteArray& text);

} // namespace velkor::test

#include "support/EventPump.h"

namespace velkor::test {

template <class Done> bool CurlStream::waitFor(Done done, int timeoutMs) {
    return pumpUntil(
               [&] {
                   take();
                   return done(events_) || process.state() == QProcess::NotRunning;
               },
               timeoutMs) &&
           done(events_);
}

} // namespace velkor::test
