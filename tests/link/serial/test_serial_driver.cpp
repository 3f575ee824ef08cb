// The serial port driver on a real pseudo-terminal, with failures injected
// through its system-call seam.
#include "link/serial/SerialTestSupport.h"
#include "support/EventPump.h"
#include "support/RealSerialPort.h"

#include <fcntl.h>
#include <unistd.h>

using namespace velkor;
using namespace velkor::test;
using Op = FaultySerialSystem::Op;

namespace {

termios portSettings(const TCommPortDriver& port) {
    termios t{};
    EXPECT_EQ(::tcgetattr(port.ComHandle(), &t), 0);
    return t;
}

termios portSettings(FaultySerialSystem& sys, const TCommPortDriver& port) {
    termios t{};
    EXPECT_EQ(sys.tcgetattr(port.ComHandle(), &t), 0);
    return t;
}

TEST(TCommPortDriverDefaults, FreshComponent) {
    test::RealSerialPort real;
    TCommPortDriver& port = real.port;
    EXPECT_EQ(port.ComPort(), pnCOM2);
    EXPECT_EQ(port.ComPortSpeed(), br9600);
    EXPECT_EQ(port.ComPortDataBits(), db8BITS);
    EXPECT_EQ(port.ComPortStopBits(), sb1BITS);
    EXPECT_EQ(port.ComPortParity(), ptNONE);
    EXPECT_EQ(port.ComPortHwHandshaking(), hhNONE);
    EXPECT_EQ(port.ComPortSwHandshaking(), shNONE);
    EXPECT_EQ(port.ComPortInBufSize(), 2048);
    EXPECT_EQ(port.ComPortOutBufSize(), 2048);
    EXPECT_EQ(port.ComPortPollingDelay(), 50);
    EXPECT_TRUE(port.EnableDTROnOpen());
    EXPECT_EQ(port.OutputTimeout(), 4000);
    EXPECT_FALSE(port.OnReceiveData());
    EXPECT_EQ(port.ComHandle(), TCommPortDriver::kClosedHandle);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.OutFreeSpace(), 65535);
    EXPECT_EQ(port.SendData("x", 1), 0);
}

// ----- Line settings ------------------------------------------------------

struct SettingsCase {
    const char* name;
    LineSettings s;
    speed_t speed;
    tcflag_t cflagsSet;
    tcflag_t cflagsClear;
};

class LineSettingsOnPty : public SerialLine, public ::testing::WithParamInterface<SettingsCase> {};

// A pseudo-terminal keeps 8 data bits and no parity whatever it is told;
// those cases run on a substitute that takes every setting like a UART.
TEST_P(LineSettingsOnPty, AppliedAndReadBack) {
    const SettingsCase& c = GetParam();
    sys.takesEverySetting = c.s.dataBits != db8BITS || c.s.parity != ptNONE;
    port.setComPortSpeed(c.s.speed);
    port.setComPortDataBits(c.s.dataBits);
    port.setComPortStopBits(c.s.stopBits);
    port.setComPortParity(c.s.parity);
    port.setComPortHwHandshaking(c.s.hwHandshaking);
    port.setComPortSwHandshaking(c.s.swHandshaking);
    ASSERT_TRUE(port.Connect()) << port.lastError().reason.toStdString();
    const termios t = portSettings(sys, port);
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    EXPECT_EQ(t.c_cflag & c.cflagsSet, c.cflagsSet);
    EXPECT_EQ(t.c_cflag & c.cflagsClear, 0u);
    // Raw bytes, reads that return at once.
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ((t.c_iflag & (IXON | IXOFF)) != 0, c.s.swHandshaking == shXONXOFF);
    EXPECT_EQ(lineSettingsMismatch(t, c.s), QString());
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineSettingsOnPty,
    ::testing::Values(
        SettingsCase{"meter2400", {br2400, db8BITS, sb1BITS, ptNONE, hhNONE, shNONE}, B2400,
                     CS8 | CREAD | CLOCAL, PARENB | CSTOPB | CRTSCTS},
        SettingsCase{"meter19200", {br19200, db8BITS, sb1BITS, ptNONE, hhNONE, shNONE}, B19200,
                     CS8, PARENB | CSTOPB},
        SettingsCase{"odd7two", {br9600, db7BITS, sb2BITS, ptODD, hhNONE, shNONE}, B9600,
                     CS7 | PARENB | PARODD | CSTOPB, CMSPAR},
        SettingsCase{"even6", {br110, db6BITS, sb1BITS, ptEVEN, hhNONE, shNONE}, B110,
                     CS6 | PARENB, PARODD | CMSPAR},
        SettingsCase{"mark5", {br300, db5BITS, sb1BITS, ptMARK, hhNONE, shNONE}, B300,
                     CS5 | PARENB | CMSPAR | PARODD, 0},
        SettingsCase{"space", {br115200, db8BITS, sb1BITS, ptSPACE, hhNONE, shNONE}, B115200,
                     CS8 | PARENB | CMSPAR, PARODD},
        SettingsCase{"rtscts", {br57600, db8BITS, sb1BITS, ptNONE, hhRTSCTS, shNONE}, B57600,
                     CS8 | CRTSCTS, 0},
        SettingsCase{"xonxoff", {br38400, db8BITS, sb1BITS, ptNONE, hhNONE, shXONXOFF}, B38400,
                     CS8, CRTSCTS}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnsupportedCase {
    const char* name;
    TComPortBaudRate speed;
    TComPortStopBits stopBits;
    const char* reason;
};

class UnsupportedSettings : public SerialLine, public ::testing::WithParamInterface<UnsupportedCase> {};

TEST_P(UnsupportedSettings, ConnectFailsWithTheReasonAndLeavesThePortFree) {
    const auto& c = GetParam();
    port.setComPortSpeed(c.speed);
    port.setComPortStopBits(c.stopBits);
    EXPECT_FALSE(port.Connect());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.ComHandle(), TCommPortDriver::kInvalidHandle);
    EXPECT_EQ(port.lastError().devicePath, line.slavePath());
    EXPECT_EQ(port.lastError().reason, QString::fromUtf8(c.reason));

    // Closed again, so a supported setting opens the same port.
    port.setComPortSpeed(br2400);
    port.setComPortStopBits(sb1BITS);
    EXPECT_TRUE(port.Connect());
}

TEST_P(UnsupportedSettings, WhileConnectedTheChangeIsRefusedAndTheOldSettingStays) {
    const auto& c = GetParam();
    port.setComPortSpeed(br2400);
    ASSERT_TRUE(port.Connect());
    EXPECT_THROW(
        {
            port.setComPortSpeed(c.speed);
            port.setComPortStopBits(c.stopBits);
        },
        SerialSettingsError);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.ComPortSpeed(), br2400);
    EXPECT_EQ(port.ComPortStopBits(), sb1BITS);
    const termios t = portSettings(port);
    EXPECT_EQ(cfgetospeed(&t), B2400);
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialLine, ASettingTheDeviceDoesNotTakeFailsVisibly) {
    port.setComPortParity(ptEVEN); // a pseudo-terminal has no parity
    EXPECT_FALSE(port.Connect());
    EXPECT_EQ(port.lastError().reason, QStringLiteral("the port did not take the parity setting"));
    port.setComPortParity(ptNONE);
    port.setComPortDataBits(db7BITS);
    EXPECT_FALSE(port.Connect());
    EXPECT_EQ(port.lastError().reason, QStringLiteral("the port did not take 7 data bits"));
}

INSTANTIATE_TEST_SUITE_P(Table, UnsupportedSettings,
                         ::testing::Values(UnsupportedCase{"baud14400", br14400, sb1BITS,
                                                           "Linux has no line speed of 14400 baud"},
                                           UnsupportedCase{"baud56000", br56000, sb1BITS,
                                                           "Linux has no line speed of 56000 baud"},
                                           UnsupportedCase{"stop1half", br2400, sb1HALFBITS,
                                                           "Linux cannot send 1.5 stop bits"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLine, ChangingTheSpeedWhileConnectedRewritesAtOnceAndDiscardsQueuedInput) {
    port.setComPortSpeed(br2400);
    ASSERT_TRUE(port.Connect());
    meterSends(countingBytes(20));
    port.setComPortSpeed(br19200);
    const termios t = portSettings(port);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(queuedAt(port.ComHandle()), 0);
    port.PollTimerProc();
    EXPECT_TRUE(chunks.empty());
}

TEST_F(SerialLine, ConnectDiscardsWhatWaitedOnTheLineBefore) {
    const Bytes b = countingBytes(40);
    ASSERT_TRUE(line.send(b.data(), b.size()));
    ASSERT_TRUE(pumpUntil([&] { return line.unread() >= 40; }));
    ASSERT_TRUE(port.Connect());
    port.PollTimerProc();
    EXPECT_TRUE(chunks.empty());
}

struct ModemCase {
    const char* name;
    bool dtrOnOpen;
    TComPortHwHandshaking hw;
    std::vector<std::pair<unsigned long, int>> atConnect;
};

class ModemLines : public SerialLine, public ::testing::WithParamInterface<ModemCase> {};

TEST_P(ModemLines, DtrAndRtsAtConnect) {
    port.setEnableDTROnOpen(GetParam().dtrOnOpen);
    port.setComPortHwHandshaking(GetParam().hw);
    ASSERT_TRUE(port.Connect());
    EXPECT_EQ(sys.modemRequests, GetParam().atConnect);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModemLines,
    ::testing::Values(
        ModemCase{"meter", true, hhNONE, {{TIOCMBIS, TIOCM_DTR}, {TIOCMBIC, TIOCM_RTS}}},
        ModemCase{"noDtr", false, hhNONE, {{TIOCMBIC, TIOCM_DTR}, {TIOCMBIC, TIOCM_RTS}}},
        ModemCase{"rtscts", true, hhRTSCTS, {{TIOCMBIS, TIOCM_DTR}, {TIOCMBIS, TIOCM_RTS}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLine, ToggleRaisesAndDropsTheLinesOnlyWhileConnected) {
    port.ToggleDTR(true);
    EXPECT_TRUE(sys.modemRequests.empty());
    ASSERT_TRUE(port.Connect());
    sys.modemRequests.clear();
    port.ToggleDTR(false);
    port.ToggleRTS(true);
    EXPECT_EQ(sys.modemRequests,
              (std::vector<std::pair<unsigned long, int>>{{TIOCMBIC, TIOCM_DTR}, {TIOCMBIS, TIOCM_RTS}}));
}

// ----- Opening ------------------------------------------------------------

TEST_F(SerialLine, ConnectOnAnOpenComponentChangesNothing) {
    ASSERT_TRUE(port.Connect());
    const int handle = port.ComHandle();
    const int opens = sys.calls[Op::Open];
    EXPECT_TRUE(port.Connect());
    EXPECT_EQ(port.ComHandle(), handle);
    EXPECT_EQ(sys.calls[Op::Open], opens);
}

TEST_F(SerialLine, ASecondOpenerIsRefusedUntilTheFirstLetsGo) {
    ASSERT_TRUE(port.Connect());
    TCommPortDriver second(sys, clock, names);
    second.setDevicePath(line.slavePath());
    EXPECT_FALSE(second.Connect());
    EXPECT_EQ(sys.exclusiveRequests, std::vector<unsigned long>{TIOCEXCL})
        << "the refused opener leaves the holder's exclusive mode alone";
    EXPECT_EQ(second.lastError().code, EBUSY);
    EXPECT_EQ(second.lastError().reason, QStringLiteral("the port is in use by another program"));
    EXPECT_EQ(second.lastError().devicePath, line.slavePath());
    port.Disconnect();
    EXPECT_TRUE(second.Connect());
}

TEST_F(SerialLine, ExclusiveModeLastsWhileThePortIsOpen) {
    ASSERT_TRUE(port.Connect());
    EXPECT_EQ(sys.exclusiveRequests, std::vector<unsigned long>{TIOCEXCL});
    port.Disconnect();
    EXPECT_EQ(sys.exclusiveRequests, (std::vector<unsigned long>{TIOCEXCL, TIOCNXCL}));
    port.setComPortSpeed(br14400); // opened, then refused
    EXPECT_FALSE(port.Connect());
    EXPECT_EQ(sys.exclusiveRequests, (std::vector<unsigned long>{TIOCEXCL, TIOCNXCL, TIOCEXCL, TIOCNXCL}));
}

TEST_F(SerialLine, ClosingAbandonsOutputStillQueuedOnly) {
    ASSERT_TRUE(port.Connect());
    EXPECT_EQ(sys.flushes, std::vector<int>{TCIOFLUSH}) << "connect discards both queues";
    port.Disconnect();
    EXPECT_EQ(sys.flushes, std::vector<int>{TCIOFLUSH}) << "nothing queued: nothing to abandon";
    ASSERT_TRUE(port.Connect());
    sys.outQueued = [] { return 10; }; // held back by flow control
    port.Disconnect();
    EXPECT_EQ(sys.flushes, (std::vector<int>{TCIOFLUSH, TCIOFLUSH, TCOFLUSH}));
}

TEST(TCommPortDriverOpen, AMissingDeviceGivesTheSystemsReason) {
    test::RealSerialPort real;
    TCommPortDriver& port = real.port;
    port.setDevicePath(QStringLiteral("/dev/velkor-no-such-port"));
    EXPECT_FALSE(port.Connect());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.ComHandle(), TCommPortDriver::kInvalidHandle);
    EXPECT_EQ(port.lastError().code, ENOENT);
    EXPECT_EQ(port.lastError().devicePath, QStringLiteral("/dev/velkor-no-such-port"));
    EXPECT_EQ(port.lastError().reason, QString::fromLocal8Bit(std::strerror(ENOENT)));
    port.PollTimerProc(); // no port, nothing happens
}

TEST(TCommPortDriverOpen, AFileThatIsNoTerminalIsRefused) {
    test::RealSerialPort real;
    TCommPortDriver& port = real.port;
    port.setDevicePath(QStringLiteral("/dev/null"));
    EXPECT_FALSE(port.Connect());
    EXPECT_EQ(port.lastError().code, ENOTTY);
    EXPECT_TRUE(port.lastError().reason.startsWith(QStringLiteral("not a serial port")));
}

TEST_F(SerialLine, InjectedOpenFailuresReportTheirErrno) {
    for (const int code : {EACCES, EBUSY, ENXIO}) {
        sys.fail(Op::Open, code);
        EXPECT_FALSE(port.Connect());
        EXPECT_EQ(port.lastError().code, code);
        EXPECT_EQ(port.lastError().reason, QString::fromLocal8Bit(std::strerror(code)));
    }
    sys.fail(Op::Open, EINTR); // an interrupted open is tried again
    EXPECT_TRUE(port.Connect());
}

TEST_F(SerialLine, ThePortChangesOnlyWhileClosed) {
    port.setComPort(pnCOM1);
    ASSERT_TRUE(port.Connect());
    port.setComPort(pnCOM3);
    EXPECT_EQ(port.ComPort(), pnCOM1);
    port.setComPortInBufSize(16);
    EXPECT_EQ(port.ComPortInBufSize(), 2048);
    port.Disconnect();
    port.setComPort(pnCOM3);
    EXPECT_EQ(port.ComPort(), pnCOM3);
}

// ----- Receiving ----------------------------------------------------------

TEST_F(SerialLine, ThirtyBytesBetweenTwoTicksGiveOneCallOfThirty) {
    ASSERT_TRUE(port.Connect());
    const Bytes b = countingBytes(30);
    meterSends(b);
    port.PollTimerProc();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], b);
    port.PollTimerProc(); // nothing more queued: no call
    EXPECT_EQ(chunks.size(), 1u);
}

TEST_F(SerialLine, MoreThanTheBufferArrivesOverSeveralTicksAtMostABufferEach) {
    ASSERT_TRUE(port.Connect());
    const Bytes b = countingBytes(5000);
    meterSends(b);
    int ticks = 0;
    while (received().size() < b.size() && ticks < 100) {
        waitQueued(port.ComHandle(), 1, 500);
        port.PollTimerProc();
        ++ticks;
    }
    EXPECT_EQ(received(), b);
    EXPECT_GE(chunks.size(), 3u);
    for (const auto& c : chunks) {
        EXPECT_LE(c.size(), 2048u);
    }
}

TEST_F(SerialLine, TheReceiveBufferSizeBoundsEachCall) {
    port.setComPortInBufSize(8);
    ASSERT_TRUE(port.Connect());
    const Bytes b = countingBytes(30);
    meterSends(b);
    for (int i = 0; i < 4; ++i) {
        port.PollTimerProc();
    }
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].size(), 8u);
    EXPECT_EQ(chunks[3].size(), 6u);
    EXPECT_EQ(received(), b);
}

TEST_F(SerialLine, WithoutAHandlerBytesAreReadAndDropped) {
    port.setOnReceiveData(nullptr);
    ASSERT_TRUE(port.Connect());
    meterSends(countingBytes(30));
    port.PollTimerProc();
    EXPECT_EQ(queuedAt(port.ComHandle()), 0);
}

TEST_F(SerialLine, ThePollTimerDeliversOnTheEventLoop) {
    port.setComPortPollingDelay(10);
    ASSERT_TRUE(port.Connect());
    const Bytes b = countingBytes(100);
    ASSERT_TRUE(line.send(b.data(), b.size()));
    EXPECT_TRUE(pumpUntil([&] { return received().size() >= b.size(); }));
    EXPECT_EQ(received(), b);
    port.Disconnect();
    ASSERT_TRUE(line.send(b.data(), b.size()));
    pumpFor(60);
    EXPECT_EQ(received().size(), b.size()) << "no polling after Disconnect";
}

TEST_F(SerialLine, ATickDuringTheReceiveHandlerIsNotHandled) {
    ASSERT_TRUE(port.Connect());
    int depth = 0;
    int maxDepth = 0;
    port.setOnReceiveData([&](TCommPortDriver*, const std::uint8_t*, std::int32_t) {
        maxDepth = std::max(maxDepth, ++depth);
        port.PollTimerProc(); // a nested event loop running the timer
        --depth;
    });
    meterSends(countingBytes(10));
    port.PollTimerProc();
    meterSends(countingBytes(10));
    port.PollTimerProc();
    EXPECT_EQ(maxDepth, 1);
}

struct TransientCase {
    const char* name;
    int code;
};

class TransientReadFailure : public SerialLine, public ::testing::WithParamInterface<TransientCase> {};

TEST_P(TransientReadFailure, GivesNoEventAndTheNextTickReads) {
    ASSERT_TRUE(port.Connect());
    const Bytes b = countingBytes(30);
    meterSends(b);
    sys.fail(Op::Read, GetParam().code);
    port.PollTimerProc();
    EXPECT_TRUE(chunks.empty());
    EXPECT_TRUE(port.Connected());
    port.PollTimerProc();
    EXPECT_EQ(received(), b);
}

INSTANTIATE_TEST_SUITE_P(Table, TransientReadFailure,
                         ::testing::Values(TransientCase{"EINTR", EINTR},
                                           TransientCase{"EAGAIN", EAGAIN},
                                           TransientCase{"ENOMEM", ENOMEM}),
                         [](const auto& info) { return std::string(info.param.name); });

// ----- A device that goes away --------------------------------------------

class LinkLostCount : public SerialLine {
protected:
    void SetUp() override {
        SerialLine::SetUp();
        port.setOnLinkLost([this](TCommPortDriver* sender, const SerialPortError& e) {
            EXPECT_EQ(sender, &port);
            EXPECT_FALSE(port.Connected()) << "closed before it tells";
            lost.push_back(e);
        });
    }
    std::vector<SerialPortError> lost;
};

TEST_F(LinkLostCount, TheLineHangingUpClosesThePortAndTellsOnce) {
    ASSERT_TRUE(port.Connect());
    const int fd = port.ComHandle();
    line.closeMaster();
    for (int i = 0; i < 5; ++i) {
        port.PollTimerProc();
    }
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].code, EIO);
    EXPECT_EQ(lost[0].devicePath, line.slavePath());
    EXPECT_EQ(port.ComHandle(), TCommPortDriver::kClosedHandle);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the handle was closed";
}

TEST_F(LinkLostCount, AHungUpTerminalThatReadsEmptyIsLostToo) {
    ASSERT_TRUE(port.Connect());
    sys.fail(Op::Read, EAGAIN, -1); // a hung-up serial device reads as empty
    line.closeMaster();
    port.PollTimerProc();
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].code, EIO);
}

class GoneReadFailure : public LinkLostCount, public ::testing::WithParamInterface<TransientCase> {};

TEST_P(GoneReadFailure, EndsTheLink) {
    ASSERT_TRUE(port.Connect());
    const QString path = line.slavePath();
    sys.fail(Op::Read, GetParam().code, -1);
    port.PollTimerProc();
    port.PollTimerProc();
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].code, GetParam().code);
    EXPECT_EQ(lost[0].devicePath, path);
    EXPECT_EQ(lost[0].reason, QString::fromLocal8Bit(std::strerror(GetParam().code)));
    EXPECT_EQ(port.lastError().code, GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Table, GoneReadFailure,
                         ::testing::Values(TransientCase{"EIO", EIO}, TransientCase{"ENXIO", ENXIO},
                                           TransientCase{"ENODEV", ENODEV}),
                         [](const auto& info) { return std::string(info.param.name); });

// ----- The line's own settings ---------------------------------------------

// The settings of the device at `path`, as another program sees them.
termios deviceSettings(const QString& path) {
    termios t{};
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return t;
}

// Gives the device settings of a line another program left behind: a
// cooked terminal at 9600 baud with echo, nothing like the meter's.
termios setDeviceSettings(const QString& path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    termios t{};
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_iflag |= ICRNL | IXON;
    t.c_oflag |= OPOST | ONLCR;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    EXPECT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
    return deviceSettings(path);
}

void expectSameSettings(const termios& got, const termios& want) {
    EXPECT_EQ(got.c_iflag, want.c_iflag);
    EXPECT_EQ(got.c_oflag, want.c_oflag);
    EXPECT_EQ(got.c_cflag, want.c_cflag);
    EXPECT_EQ(got.c_lflag, want.c_lflag);
    EXPECT_EQ(cfgetispeed(&got), cfgetispeed(&want));
    EXPECT_EQ(cfgetospeed(&got), cfgetospeed(&want));
    for (int i = 0; i < NCCS; ++i) {
        EXPECT_EQ(got.c_cc[i], want.c_cc[i]) << "c_cc[" << i << "]";
    }
}

TEST_F(SerialLine, DisconnectPutsTheLinesOwnSettingsBack) {
    const termios before = setDeviceSettings(line.slavePath());
    port.setComPortSpeed(br2400);
    ASSERT_TRUE(port.Connect()) << port.lastError().reason.toStdString();
    const termios open = portSettings(port);
    EXPECT_EQ(cfgetospeed(&open), B2400);
    EXPECT_EQ(open.c_lflag & ICANON, 0u) << "raw while the driver has the port";
    port.Disconnect();
    expectSameSettings(deviceSettings(line.slavePath()), before);

    // A second run, and the destructor, do the same.
    {
        RealSerialPort real;
        real.port.setDevicePath(line.slavePath());
        real.port.setComPortSpeed(br19200);
        ASSERT_TRUE(real.port.Connect());
    }
    expectSameSettings(deviceSettings(line.slavePath()), before);
}

TEST_F(SerialLine, AConnectThatFailsLeavesTheLinesSettingsAsFound) {
    const termios before = setDeviceSettings(line.slavePath());
    port.setComPortParity(ptEVEN); // a pseudo-terminal has no parity
    EXPECT_FALSE(port.Connect());
    expectSameSettings(deviceSettings(line.slavePath()), before);
}

TEST_F(SerialLine, ALostLineIsClosedWithoutTryingTooHard) {
    setDeviceSettings(line.slavePath());
    ASSERT_TRUE(port.Connect());
    int lost = 0;
    port.setOnLinkLost([&](TCommPortDriver*, const SerialPortError&) { ++lost; });
    line.closeMaster();
    port.PollTimerProc();
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(port.Connected());
}

TEST_F(SerialLine, AnAdoptedHandleKeepsTheSettingsItsOwnerGaveIt) {
    const int fd = ::open(line.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::cfsetospeed(&raw, B4800);
    ::tcsetattr(fd, TCSANOW, &raw);
    const termios given = deviceSettings(line.slavePath());
    port.setComHandle(fd);
    port.Disconnect();
    expectSameSettings(deviceSettings(line.slavePath()), given);
}

// ----- The handle setter --------------------------------------------------

TEST_F(SerialLine, AnAdoptedHandleIsPolledAndADetachedOneStaysOpen) {
    const int fd = ::open(line.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    port.setComPortPollingDelay(10);
    port.setComHandle(fd);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.ComHandle(), fd);
    const Bytes b = countingBytes(12);
    ASSERT_TRUE(line.send(b.data(), b.size()));
    EXPECT_TRUE(pumpUntil([&] { return received() == b; }));

    port.setComHandle(TCommPortDriver::kInvalidHandle);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.ComHandle(), TCommPortDriver::kClosedHandle);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1) << "detaching does not close";

    port.setComHandle(fd);
    port.setComHandle(TCommPortDriver::kClosedHandle);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the closed value disconnects";
}

// ----- Sending ------------------------------------------------------------

TEST_F(SerialLine, SentBytesReachTheOtherEnd) {
    ASSERT_TRUE(port.Connect());
    EXPECT_TRUE(port.SendString(QStringLiteral("READ?\r\n")));
    EXPECT_TRUE(port.SendZString("Z"));
    EXPECT_EQ(port.OutFreeSpace(), 2048);
    char buf[32] = {};
    pollfd p{line.masterFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    QThread::msleep(20);
    const ssize_t n = ::read(line.masterFd(), buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0), "READ?\r\nZ");
}

TEST_F(SerialLine, SendingGivesUpAfterTheTimeOutWithoutRoom) {
    ASSERT_TRUE(port.Connect());
    int queued = 2040; // room for 8 bytes, then none
    sys.outQueued = [&] {
        const int q = queued;
        queued = 2048;
        return q;
    };
    sys.onPoll = [&](int ms) { clock.advanceMs(ms); };
    const qint64 start = clock.monotonicMs();
    const Bytes b = countingBytes(100);
    EXPECT_EQ(port.SendData(b.data(), 100), -8);
    const qint64 waited = clock.monotonicMs() - start;
    EXPECT_GT(waited, 4000);
    EXPECT_LE(waited, 4020);
    EXPECT_EQ(port.lastError().code, ETIMEDOUT);
    EXPECT_FALSE(port.SendZString("abc"));
}

TEST_F(SerialLine, APersistentWriteFailureEndsTheSend) {
    ASSERT_TRUE(port.Connect());
    sys.outQueued = [] { return 2043; }; // 5 bytes of room per write
    const Bytes b = countingBytes(100);
    sys.fail(Op::Write, EINTR, 1); // interrupted: tried again
    EXPECT_EQ(port.SendData(b.data(), 5), 5);
    sys.calls.clear();
    sys.fail(Op::Write, EIO, -1, 1); // one write goes, then every write fails
    EXPECT_EQ(port.SendData(b.data(), 100), -5);
    EXPECT_EQ(sys.calls[Op::Write], 2);
    EXPECT_EQ(port.lastError().code, EIO);
}

} // namespace
