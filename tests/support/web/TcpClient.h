#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace velkor::test {

// A TCP connection to 127.0.0.1:port that sends `request` (if any) and
// then reads nothing: an idle client, or one that never takes what it
// asked for (its receive buffer as small as the system allows). The
// descriptor, or -1; the caller closes it.
int connectWithoutReading(quint16 port, const QByteArray& request = {});

} // namespace velkor::test
