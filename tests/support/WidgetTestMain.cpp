// The test entry of the widget tests: one application object for the whole
// run, off screen unless the environment names a platform. The window's
// tests build it with VELKOR_TEST_APPLICATION naming the program's own
// application class (and VELKOR_TEST_APPLICATION_HEADER its header), so
// they run under the program's title and error boundary.
#ifdef VELKOR_TEST_APPLICATION_HEADER
#include VELKOR_TEST_APPLICATION_HEADER
using TestApplication = VELKOR_TEST_APPLICATION;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
