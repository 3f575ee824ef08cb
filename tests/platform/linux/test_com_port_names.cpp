// COM1 .. COM4 on Linux: the serial devices present, in order, and the
// VELKOR_COMn variables that pin them.
#include "platform/linux/ComPortNames.h"
#include "link/serial/ComPortTypes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velkor;

namespace {

class FakeDevices : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath(QStringLiteral("dev"));
        QDir(root.path()).mkpath(QStringLiteral("sys"));
        for (int n = pnCOM1; n <= pnCOM4; ++n) {
            qunsetenv(ComPortNames::environmentName(static_cast<TComPortNumber>(n)).toLatin1().constData());
        }
    }
    void TearDown() override { SetUp(); }

    void node(const QString& name) {
        QFile f(dev() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // A built-in port; type 0 means no UART behind the node.
    void builtIn(const QString& name, const char* type) {
        node(name);
        QDir(root.path()).mkpath(QStringLiteral("sys/") + name);
        QFile f(root.path() + QStringLiteral("/sys/") + name + QStringLiteral("/type"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(type);
    }
    QString dev() const { return root.path() + QStringLiteral("/dev"); }
    ComPortNames names() const { return ComPortNames(dev(), root.path() + QStringLiteral("/sys")); }

    QTemporaryDir root;
};

TEST_F(FakeDevices, UsbAdaptersFirstThenModemClassThenRealBuiltInPorts) {
    builtIn(QStringLiteral("ttyS0"), "4\n");
    builtIn(QStringLiteral("ttyS1"), "0\n");
    builtIn(QStringLiteral("ttyS10"), "4\n");
    node(QStringLiteral("ttyS2")); // no sysfs entry
    node(QStringLiteral("ttyACM0"));
    node(QStringLiteral("ttyUSB10"));
    node(QStringLiteral("ttyUSB2"));
    node(QStringLiteral("ttyUSBx"));
    node(QStringLiteral("tty5"));
    const QString d = dev() + QLatin1Char('/');
    EXPECT_EQ(names().serialDevicesPresent(),
              QStringList({d + "ttyUSB2", d + "ttyUSB10", d + "ttyACM0", d + "ttyS0", d + "ttyS10"}));
    const ComPortNames n = names();
    EXPECT_EQ(n.devicePath(pnCOM1), d + "ttyUSB2");
    EXPECT_EQ(n.devicePath(pnCOM2), d + "ttyUSB10");
    EXPECT_EQ(n.devicePath(pnCOM3), d + "ttyACM0");
    EXPECT_EQ(n.devicePath(pnCOM4), d + "ttyS0");
}

TEST_F(FakeDevices, AComPortBeyondTheDevicesPresentNamesNone) {
    node(QStringLiteral("ttyUSB0"));
    EXPECT_EQ(names().devicePath(pnCOM1), dev() + QStringLiteral("/ttyUSB0"));
    EXPECT_EQ(names().devicePath(pnCOM2), QString());
}

TEST_F(FakeDevices, TheVariablesPinEachPortAndAnEmptyOneDoesNot) {
    node(QStringLiteral("ttyUSB0"));
    qputenv("VELKOR_COM2", "/tmp/meter");
    qputenv("VELKOR_COM1", "");
    EXPECT_EQ(names().devicePath(pnCOM1), dev() + QStringLiteral("/ttyUSB0"));
    EXPECT_EQ(names().devicePath(pnCOM2), QStringLiteral("/tmp/meter"));
    EXPECT_EQ(names().devicePath(pnCOM3), QString());
}

TEST(ComPortNames, NamesAndNumbers) {
    EXPECT_EQ(ComPortNames::environmentName(pnCOM3), QStringLiteral("VELKOR_COM3"));
    EXPECT_EQ(ComPortNames::portNumberOf(QStringLiteral("COM1")), pnCOM1);
    EXPECT_EQ(ComPortNames::portNumberOf(QStringLiteral("com4")), pnCOM4);
    EXPECT_EQ(ComPortNames::portNumberOf(QStringLiteral("COM5")), -1);
    EXPECT_EQ(ComPortNames::portNumberOf(QStringLiteral("/dev/ttyUSB0")), -1);
}

} // namespace
