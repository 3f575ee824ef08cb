// A window that logs a few readings into its journal and then waits to be
// killed: the journal tests end it with SIGKILL, as a crash or a power cut
// would, and start a window of their own on the journal it leaves.
//
//   journal_window_child DIRECTORY ROWS
//
// Prints "ready" once the rows are logged and in the journal's file.
#include "app/JournalTestSupport.h"
#include "app/VelkorApplication.h"
#include "logfiles/sqlite/LogSqliteJournal.h"
#include "pipeline/MeterSession.h"
#include "support/EventPump.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    velkor::VelkorApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: journal_window_child DIRECTORY ROWS\n", stderr);
        return 2;
    }
    velkor::test::WindowFixture f(velkor::MeterVariant::IFHALVIN, nullptr,
                                  QString::fromLocal8Bit(argv[1]));
    const int rows = std::atoi(argv[2]);
    for (int i = 0; i < rows; ++i) {
        f.send(velkor::test::journalReading(i));
    }
    // Committed within a second: a kill before then could lose them.
    if (rows > 0 &&
        !velkor::test::pumpUntil(
            [&] { return velkor::test::journalRows(f.window->journal->path()) == rows; }, 30000)) {
        std::fputs("the rows did not reach the journal\n", stderr);
        return 1;
    }
    std::printf("ready %lld\n", static_cast<long long>(f.window->session().cds1.rowCount()));
    std::fflush(stdout);
    return app.exec();
}
