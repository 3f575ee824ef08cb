// The bounded queue of rows on their way to the broker, and the texts of
// connection failures.

#include "mqtt/MqttFailure.h"
#include "mqtt/PublishQueue.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netdb.h>
#include <thread>

namespace velkor::mqtt {
namespace {

QByteArray row(int n) {
    return QByteArray::number(n);
}

std::vector<int> numbers(const std::vector<QByteArray>& rows) {
    std::vector<int> n;
    for (const QByteArray& r : rows) {
        n.push_back(r.toInt());
    }
    return n;
}

TEST(MqttQueue, RowsLeaveInOrderAndOnlyWhenAcknowledged) {
    PublishQueue q(10);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_FALSE(q.push(row(i)).dropped);
    }
    EXPECT_EQ(numbers(q.take(3)), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(q.take(3).empty()); // the window is full
    EXPECT_EQ(q.counts().inFlight, 3u);
    EXPECT_EQ(q.counts().waiting, 2u);
    q.acknowledge();
    EXPECT_EQ(numbers(q.take(3)), (std::vector<int>{4}));
    q.acknowledge(3);
    EXPECT_EQ(numbers(q.take(3)), (std::vector<int>{5}));
    EXPECT_FALSE(q.empty());
    q.acknowledge();
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.counts().acknowledged, 5u);
    q.acknowledge(); // more than in flight: ignored
    EXPECT_EQ(q.counts().acknowledged, 5u);
}

TEST(MqttQueue, AFullQueueDropsTheOldestWaitingRow) {
    PublishQueue q(4);
    for (int i = 1; i <= 4; ++i) {
        q.push(row(i));
    }
    EXPECT_EQ(numbers(q.take(1)), (std::vector<int>{1})); // 1 in flight
    const auto first = q.push(row(5));
    EXPECT_TRUE(first.dropped);
    EXPECT_TRUE(first.episodeStarted);
    const auto second = q.push(row(6));
    EXPECT_TRUE(second.dropped);
    EXPECT_FALSE(second.episodeStarted);
    // 2 and 3 went; 1 stays in flight until acknowledged.
    EXPECT_EQ(q.counts().dropped, 2u);
    EXPECT_EQ(numbers(q.take(10)), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(q.counts().inFlight, 4u);
}

TEST(MqttQueue, WhenEveryRowIsInFlightTheNewOneIsDropped) {
    PublishQueue q(2);
    q.push(row(1));
    q.push(row(2));
    q.take(2);
    EXPECT_TRUE(q.push(row(3)).dropped);
    EXPECT_EQ(q.counts().waiting, 0u);
    EXPECT_EQ(q.counts().inFlight, 2u);
}

TEST(MqttQueue, ADropEpisodeIsReportedOnceWithItsCount) {
    PublishQueue q(3);
    EXPECT_FALSE(q.takeDropReport().started);
    for (int i = 1; i <= 10; ++i) {
        q.push(row(i));
    }
    PublishQueue::DropReport r = q.takeDropReport();
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.ended, 0u); // still full
    r = q.takeDropReport();
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.ended, 0u);
    q.push(row(11));
    EXPECT_FALSE(q.takeDropReport().started); // the same episode
    // Room again: the episode ends with every row it cost.
    q.take(1);
    q.acknowledge();
    r = q.takeDropReport();
    EXPECT_EQ(r.ended, 8u);
    EXPECT_EQ(q.takeDropReport().ended, 0u);
    // A new episode.
    q.push(row(12));
    q.push(row(13));
    r = q.takeDropReport();
    EXPECT_TRUE(r.started);
    r = q.takeDropReport(true); // stopping: an open episode ends
    EXPECT_EQ(r.ended, 1u);
    EXPECT_EQ(q.counts().dropped, 9u);
}

TEST(MqttQueue, AbandonedRowsLeaveTheFlight) {
    PublishQueue q(5);
    q.push(row(1));
    q.take(5);
    q.abandon();
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.counts().abandoned, 1u);
    EXPECT_EQ(q.counts().acknowledged, 0u);
}

TEST(MqttQueue, PushingFromOneThreadWhileAnotherTakesLosesNothing) {
    PublishQueue q(1000000);
    constexpr int kRows = 200000;
    std::thread producer([&] {
        for (int i = 1; i <= kRows; ++i) {
            q.push(row(i));
        }
    });
    std::vector<int> got;
    while (got.size() < static_cast<std::size_t>(kRows)) {
        const std::vector<QByteArray> rows = q.take(64);
        for (const QByteArray& r : rows) {
            got.push_back(r.toInt());
        }
        q.acknowledge(rows.size());
        if (rows.empty()) {
            std::this_thread::yield();
        }
    }
    producer.join();
    for (int i = 0; i < kRows; ++i) {
        ASSERT_EQ(got[static_cast<std::size_t>(i)], i + 1);
    }
    EXPECT_TRUE(q.empty());
}

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
