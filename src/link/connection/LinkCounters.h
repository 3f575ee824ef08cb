#pragma once

namespace velkor {

// The link watchdog's counters, shared by the decoder's hand-off, the
// connection timer and the USB cable link (all on the user-interface thread).
struct LinkCounters {
    int LinkIdleTicks = 0;    // connection-timer ticks since the last decoded frame, up to 2
    int EmptyReportCount = 0; // consecutive USB reports that carried no meter byte
};

} // namespace velkor
