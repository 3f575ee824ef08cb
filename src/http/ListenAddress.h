#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace velkor::http {

// Where the server listens: an IP address (IPv4, or IPv6 without its
// brackets) and a port. Port 0 lets the system pick a free one.
struct ListenAddress {
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 0;
    bool ipv6 = false;

    // 127.0.0.0/8, ::1 or ::ffff:127.x.y.z: only this machine can connect.
    bool isLoopback() const;
    // "127.0.0.1:8080", "[::1]:8080".
    QString hostPort(quint16 actualPort) const;
};

struct ListenParse {
    std::optional<ListenAddress> address;
    QString error; // why not, for a usage message
};

// [ADDR:]PORT as --http takes it: "8080" (127.0.0.1), "0.0.0.0:8080",
// "[::]:8080", "[::1]:8080", "localhost:8080" (127.0.0.1). Only IP
// addresses and localhost: a name that has to be looked up could stand
// for any address.
ListenParse parseListenAddress(QStringView text);

} // namespace velkor::http
