// The texts of connection failures: why, and whether trying again helps.

#include "mqtt/MqttFailure.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netdb.h>

namespace velkor::mqtt {
namespace {

struct FailureCase {
    MqttFailure failure;
    const char* part;
    bool fatal;
};

TEST(MqttFailureText, SaysWhyAndWhetherToTryAgain) {
    const QString host = QStringLiteral("broker.invalid");
    const FailureCase cases[] = {
        {connectFailure(MOSQ_ERR_EAI, EAI_NONAME, host, {}), "unknown host 'broker.invalid'",
         false},
        {connectFailure(MOSQ_ERR_EAI, EAI_AGAIN, host, {}), "cannot look up the host", false},
        {connectFailure(MOSQ_ERR_ERRNO, ECONNREFUSED, host, {}), "connection refused", false},
        {connectFailure(MOSQ_ERR_ERRNO, ETIMEDOUT, host, {}), "timed out", false},
        {connectFailure(MOSQ_ERR_ERRNO, EHOSTUNREACH, host, {}), "No route to host", false},
        {connectFailure(MOSQ_ERR_TLS, 0, host,
                        QStringLiteral("OpenSSL Error[0]: error:0A000086:SSL routines::"
                                       "certificate verify failed")),
         "TLS failure (certificate verify failed)", false},
        {connectFailure(MOSQ_ERR_TLS, 0, host, {}), "TLS failure", false},
        {connackFailure(3, {}), "server unavailable", false},
        {connackFailure(4, QStringLiteral("alice")), "bad user name or password (as user 'alice')",
         true},
        {connackFailure(5, QStringLiteral("alice")), "not authorised (as user 'alice')", true},
        {connackFailure(5, {}), "not authorised (without a user name)", true},
        {connectionFailure(MOSQ_ERR_CONN_LOST, 0, {}), "closed the connection", false},
        {connectionFailure(MOSQ_ERR_KEEPALIVE, 0, {}), "stopped answering", false},
        {connectionFailure(MOSQ_ERR_ERRNO, ECONNRESET, {}), "reset", false},
        {connectionFailure(MOSQ_ERR_ERRNO, EPROTO,
                           QStringLiteral("OpenSSL Error[0]: error:0A00010B:SSL routines::"
                                          "wrong version number")),
         "TLS failure (wrong version number)", false},
        {connectionFailure(MOSQ_ERR_TLS, 0, QStringLiteral("x: unexpected eof while reading")),
         "TLS failure (unexpected eof while reading)", false},
    };
    for (const FailureCase& c : cases) {
        EXPECT_TRUE(c.failure.reason.contains(QString::fromUtf8(c.part)))
            << qPrintable(c.failure.reason) << " lacks " << c.part;
        EXPECT_EQ(c.failure.fatal, c.fatal) << qPrintable(c.failure.reason);
    }
}

} // namespace
} // namespace velkor::mqtt
