#include "platform/Clock.h"
#include "platform/linux/SystemClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace velkor;

namespace {

// The system clock's time of day (a cached offset from UTC) agrees with
// the local date and time, also in zones with half- and quarter-hour
// offsets and on either side of UTC.
TEST(SystemClock, TimeOfDayIsTheLocalTime) {
    for (const char* zone : {"UTC", "Asia/Kolkata", "America/St_Johns", "Pacific/Chatham",
                             "Pacific/Kiritimati", "Pacific/Pago_Pago"}) {
        qputenv("TZ", zone);
        tzset();
        const SystemClock clock;
        const QTime before = QDateTime::currentDateTime().time();
        const QTime fast = clock.timeOfDay();
        const QTime after = QDateTime::currentDateTime().time();
        // Allow for a midnight between the two readings.
        const bool between =
            before <= after ? (before <= fast && fast <= after) : (fast >= before || fast <= after);
        EXPECT_TRUE(between) << zone << ": " << qPrintable(fast.toString()) << " not within "
                             << qPrintable(before.toString()) << " .. "
                             << qPrintable(after.toString());
    }
    qunsetenv("TZ");
    tzset();
}

// The moment of a logged row: the local date and time and the offset from
// UTC, the same instant as the system's own local time.
TEST(SystemClock, NowIsTheLocalTimeWithItsOffset) {
    for (const char* zone : {"UTC", "Asia/Tokyo", "America/St_Johns", "Pacific/Chatham"}) {
        qputenv("TZ", zone);
        tzset();
        const SystemClock clock;
        const QDateTime before = QDateTime::currentDateTime();
        const QDateTime fast = clock.now();
        const QDateTime after = QDateTime::currentDateTime();
        EXPECT_LE(before.toMSecsSinceEpoch(), fast.toMSecsSinceEpoch()) << zone;
        EXPECT_LE(fast.toMSecsSinceEpoch(), after.toMSecsSinceEpoch()) << zone;
        EXPECT_EQ(fast.offsetFromUtc(), before.offsetFromUtc()) << zone;
        const qint64 localMs =
            fast.date().toJulianDay() * 86'400'000 + fast.time().msecsSinceStartOfDay();
        const qint64 wantMs =
            before.date().toJulianDay() * 86'400'000 + before.time().msecsSinceStartOfDay();
        EXPECT_LE(wantMs, localMs) << zone;
        EXPECT_LE(localMs - wantMs, after.toMSecsSinceEpoch() - before.toMSecsSinceEpoch()) << zone;
    }
    qunsetenv("TZ");
    tzset();
}

} // namespace
