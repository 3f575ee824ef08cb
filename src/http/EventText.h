#pragma once

#include "http/LiveRow.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

namespace velkor::http {

// The text of the event stream (Server-Sent Events). Each reading is one
// event whose id is the row's number and whose data is its JSON object, on
// one line (the JSON holds no line break):
//
//   id: 12
//   data: {"no":12,"timestamp":"...","function":"DC",...}
//
// "status" events tell the link, the counts and the limits, "end" that the
// run is over, "alive" that the logger is there while nothing else comes;
// none has an id, so a stream that comes back goes on after the last
// reading it got.

// What opens a stream: how long the browser waits before it tries again.
QByteArray streamOpening(int retryMilliseconds);
void appendReadingEvent(QByteArray& out, qint64 no, QByteArrayView json);

// The status: {"link":"reading","rows":12,"fails":1,"lastNo":12,
// "hi":"6000","lo":"-6000"}. rows and fails count every row since the
// logger started; lastNo is the number of the last one, so that a page can
// count on from the readings that follow.
struct StreamStatus {
    LinkState link = LinkState::Reading;
    std::uint64_t rows = 0;
    std::uint64_t fails = 0;
    qint64 lastNo = 0;
    QString hi;
    QString lo;
};
QByteArray statusJson(const StreamStatus& status);
void appendStatusEvent(QByteArray& out, const StreamStatus& status);
void appendEndEvent(QByteArray& out);
// "alive": keeps an idle connection open, and tells a page that the
// logger is still there (comments would not reach its script).
void appendKeepAlive(QByteArray& out);

} // namespace velkor::http
