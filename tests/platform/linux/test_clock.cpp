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

} // namespace
