#include "mqtt/MqttFailure.h"

#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <netdb.h>

namespace velkor::mqtt {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The reason of an OpenSSL error line as libmosquitto logs it
// ("OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify
// failed" gives "certificate verify failed").
QString tlsReason(const QString& libraryMessage) {
    QString reason = libraryMessage.trimmed();
    if (const qsizetype cut = reason.lastIndexOf(QLatin1Char(':')); cut >= 0) {
        reason = reason.mid(cut + 1).trimmed();
    }
    return reason;
}

QString tlsFailure(const QString& libraryMessage) {
    const QString reason = tlsReason(libraryMessage);
    return reason.isEmpty() ? QStringLiteral("TLS failure")
                            : QStringLiteral("TLS failure (%1)").arg(reason);
}

QString errnoFailure(int error) {
    switch (error) {
    case ECONNREFUSED: return QStringLiteral("connection refused (no MQTT broker listens there)");
    case ETIMEDOUT: return QStringLiteral("connection timed out");
    case ECONNRESET: return QStringLiteral("connection reset by the broker");
    case EPIPE: return QStringLiteral("the broker closed the connection");
    case 0: return QStringLiteral("the connection failed");
    default: return systemError(error);
    }
}

} // namespace

MqttFailure connectFailure(int mosquittoError, int error, const QString& host,
                           const QString& libraryMessage) {
    switch (mosquittoError) {
    case MOSQ_ERR_EAI:
        if (error == EAI_AGAIN) {
            return {QStringLiteral("cannot look up the host '%1' now (%2)")
                        .arg(host, QString::fromLocal8Bit(gai_strerror(error)))};
        }
        return {QStringLiteral("unknown host '%1' (%2)")
                    .arg(host, QString::fromLocal8Bit(gai_strerror(error)))};
    case MOSQ_ERR_ERRNO: return {errnoFailure(error)};
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE: return {tlsFailure(libraryMessage)};
    default: return {QString::fromUtf8(mosquitto_strerror(mosquittoError))};
    }
}

MqttFailure connackFailure(int returnCode, const QString& user) {
    const QString who = user.isEmpty() ? QStringLiteral("without a user name")
                                       : QStringLiteral("as user '%1'").arg(user);
    switch (returnCode) {
    case 1: return {QStringLiteral("refused the connection: MQTT 3.1.1 is not accepted")};
    case 2: return {QStringLiteral("refused the connection: client identifier rejected")};
    case 3: return {QStringLiteral("refused the connection: server unavailable")};
    case 4:
        return {QStringLiteral("refused the login: bad user name or password (%1)").arg(who), true};
    case 5: return {QStringLiteral("refused the login: not authorised (%1)").arg(who), true};
    default: return {QStringLiteral("refused the connection (return code %1)").arg(returnCode)};
    }
}

MqttFailure connectionFailure(int mosquittoError, int error, const QString& libraryMessage) {
    switch (mosquittoError) {
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE: return {tlsFailure(libraryMessage)};
    case MOSQ_ERR_CONN_LOST: return {QStringLiteral("the broker closed the connection")};
    case MOSQ_ERR_KEEPALIVE: return {QStringLiteral("the broker stopped answering")};
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET: return {QStringLiteral("the broker broke the MQTT protocol")};
    case MOSQ_ERR_ERRNO:
        // A TLS failure may surface as a failed read or write with errno
        // EPROTO; the logged OpenSSL error says more.
        if (error == EPROTO && !libraryMessage.isEmpty()) {
            return {tlsFailure(libraryMessage)};
        }
        return {errnoFailure(error)};
    default: return {QString::fromUtf8(mosquitto_strerror(mosquittoError))};
    }
}

} // namespace velkor::mqtt
