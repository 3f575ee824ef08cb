// The bounded queue of rows on their way to a server: order, the flight
// window, drops when full and their episodes, two threads at once.

#include "outbox/PublishQueue.h"

#include <gtest/gtest.h>
#include <thread>

namespace velkor::outbox {
namespace {

QByteArray row(int n) {
    return QByteArray::number(n);
}

std::vector<int> numbers(const std::vector<PublishQueue::Message>& rows) {
    std::vector<int> n;
    for (const PublishQueue::Message& r : rows) {
        n.push_back(r.payload.toInt());
    }
    return n;
}

TEST(PublishQueue, RowsLeaveInOrderAndOnlyWhenAcknowledged) {
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

TEST(PublishQueue, ARowKeepsItsTopicAndItsPlace) {
    PublishQueue q(10);
    q.push(row(1));
    q.push(row(2), "bench/alarm");
    q.push(row(3));
    const std::vector<PublishQueue::Message> rows = q.take(3);
    ASSERT_EQ(numbers(rows), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(rows[0].topic.isEmpty());
    EXPECT_EQ(rows[1].topic, QByteArray("bench/alarm"));
    EXPECT_TRUE(rows[2].topic.isEmpty());
}

TEST(PublishQueue, AFullQueueDropsTheOldestWaitingRow) {
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

TEST(PublishQueue, WhenEveryRowIsInFlightTheNewOneIsDropped) {
    PublishQueue q(2);
    q.push(row(1));
    q.push(row(2));
    q.take(2);
    EXPECT_TRUE(q.push(row(3)).dropped);
    EXPECT_EQ(q.counts().waiting, 0u);
    EXPECT_EQ(q.counts().inFlight, 2u);
}

TEST(PublishQueue, ADropEpisodeIsReportedOnceWithItsCount) {
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

TEST(PublishQueue, AbandonedRowsLeaveTheFlight) {
    PublishQueue q(5);
    q.push(row(1));
    q.take(5);
    q.abandon();
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.counts().abandoned, 1u);
    EXPECT_EQ(q.counts().acknowledged, 0u);
}

TEST(PublishQueue, PushingFromOneThreadWhileAnotherTakesLosesNothing) {
    PublishQueue q(1000000);
    constexpr int kRows = 200000;
    std::thread producer([&] {
        for (int i = 1; i <= kRows; ++i) {
            q.push(row(i));
        }
    });
    std::vector<int> got;
    while (got.size() < static_cast<std::size_t>(kRows)) {
        const std::vector<PublishQueue::Message> rows = q.take(64);
        for (const PublishQueue::Message& r : rows) {
            got.push_back(r.payload.toInt());
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

} // namespace
} // namespace velkor::outbox
