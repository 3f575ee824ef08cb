// The test entry of the core tests: a Qt core application for the whole
// run, so that timers, queued calls and threads' signals have an event loop
// on the main thread.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
