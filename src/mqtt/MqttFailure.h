#pragma once

#include <QString>

namespace velkor::mqtt {

// Why a connection to the broker could not be made or did not last, in
// words for a message, and whether trying again is pointless.
struct MqttFailure {
    QString reason;
    bool fatal = false; // trying again cannot help (refused credentials)
};

// mosquitto_connect() failed: the name did not resolve, nothing listens,
// the TLS setup failed. `error` is errno right after the call (for a failed
// name lookup, the getaddrinfo code libmosquitto leaves there);
// `libraryMessage` the last error libmosquitto logged, or empty.
MqttFailure connectFailure(int mosquittoError, int error, const QString& host,
                           const QString& libraryMessage);

// The broker answered CONNECT with a refusal (MQTT 3.1.1 return codes).
// `user` names the user the logger tried, empty for none.
MqttFailure connackFailure(int returnCode, const QString& user);

// A connection that was up, or on its way up (TLS handshake, waiting for
// CONNACK), ended with this libmosquitto error.
MqttFailure connectionFailure(int mosquittoError, int error, const QString& libraryMessage);

} // namespace velkor::mqtt
