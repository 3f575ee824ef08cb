// velkor-cli log --hid: the log run on a substitute HID system that plugs
// and unplugs the USB cable at will, the same code the command runs.
#include "cli/LogRun.h"
#include "meter/Reading.h"
#include "platform/linux/ComPortNames.h"
#include "platform/linux/PosixSerialSystem.h"
#include "record/LogTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "sim/DemoScenario.h"
#include "support/EventPump.h"
#include "support/FakeHidPlatform.h"
#include "support/FixedClock.h"
#include "support/FixedLocaleSource.h"
#include "support/HidTestDevices.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::cli;
using namespace velkor::test;

namespace {

const QString kCable = QStringLiteral("/dev/hidraw1");

struct HidLog : ::testing::Test {
    FakeHidPlatform fake;
    FixedLocaleSource locale{QStringLiteral(".")};
    FixedClock clock;
    ComPortNames names;
    QTemporaryDir dir;
    std::FILE* out = std::tmpfile();
    QStringList said;
    std::unique_ptr<LogRun> run;
    int finishedWith = -1;
    DemoWalk walk;

    ~HidLog() override {
        run.reset();
        std::fclose(out);
    }
    QString file() const { return dir.filePath(QStringLiteral("log.xml")); }

    void start(bool reconnect, const QString& node = {}) {
        LogOptions o;
        o.variant = MeterVariant::IFHALVIN;
        o.source = LogOptions::Source::Hid;
        o.path = node;
        o.reconnect = reconnect;
        o.save = file();
        run = std::make_unique<LogRun>(
            o, LogPlatform{clock, locale, PosixSerialSystem::instance(), names, fake}, out);
        run->say = [this](const QString& m) { said.append(m); };
        run->finished = [this](int status) { finishedWith = status; };
        ASSERT_TRUE(run->start()) << said.join('\n').toStdString();
    }
    // The meter's next n frames through the cable at `node`.
    void send(const QString& node, int n) {
        for (int i = 0; i < n; ++i) {
            const auto b = walk.next().frame.bytes();
            for (const auto& report : cableReports({b.begin(), b.end()})) {
                fake.pushReport(node, report);
            }
        }
    }
    QStringList printed() const {
        std::fflush(out);
        std::rewind(out);
        QByteArray all;
        char buf[4096];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, out)) {
            all.append(buf, static_cast<qsizetype>(n));
        }
        std::fseek(out, 0, SEEK_END);
        QStringList lines = QString::fromUtf8(all).split(u'\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty()) {
            lines.removeFirst(); // the header
        }
        return lines;
    }
    bool waitRows(qsizetype n) {
        return pumpUntil([&] { return printed().size() >= n; }, 20000);
    }
    std::vector<qint32> numbers() const {
        std::vector<qint32> out;
        for (const QString& l : printed()) {
            out.push_back(l.section(u',', 0, 0).toInt());
        }
        return out;
    }
    std::vector<LogRecord> saved() const {
        LogRowBuffer rows;
        EXPECT_TRUE(loadLogXml(file(), rows));
        return rowsOf(rows);
    }
};

TEST_F(HidLog, LogsTheCablesFramesAndSavesWhenStopped) {
    fake.plug(hidDevice(1, u"USB to Serial"));
    start(false);
    std::vector<qint32> heard;
    run->onRow = [&](const LogRecord& row, const Reading&, const QDateTime& moment) {
        heard.push_back(row.No.value_or(-1));
        EXPECT_EQ(moment, clock.now());
    };
    ASSERT_EQ(fake.featureReports(kCable).size(), 1u) << "the cable's line speed";
    EXPECT_EQ(fake.featureReports(kCable)[0][1], 0x60);
    send(kCable, 6);
    ASSERT_TRUE(waitRows(6)) << said.join('\n').toStdString();
    run->stop();
    EXPECT_EQ(finishedWith, 0);
    EXPECT_EQ(saved().size(), 6u);
    EXPECT_EQ(numbers(), (std::vector<qint32>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(heard, numbers()) << "every row is handed on too";
}

TEST_F(HidLog, AnUnpluggedCableEndsTheRunWithTheLogSaved) {
    fake.plug(hidDevice(1, u"USB to Serial"));
    start(false);
    send(kCable, 3);
    ASSERT_TRUE(waitRows(3));
    fake.unplug(kCable);
    fake.notifyChange();
    ASSERT_TRUE(pumpUntil([&] { return finishedWith >= 0; }));
    EXPECT_EQ(finishedWith, 1);
    ASSERT_FALSE(said.isEmpty());
    EXPECT_TRUE(said.last().contains(QStringLiteral("was lost"))) << said.last().toStdString();
    EXPECT_EQ(saved().size(), 3u);
}

TEST_F(HidLog, ReconnectTakesTheNextCableAndLogsOn) {
    fake.plug(hidDevice(1, u"USB to Serial"));
    start(true);
    send(kCable, 3);
    ASSERT_TRUE(waitRows(3));
    fake.unplug(kCable);
    fake.notifyChange();
    ASSERT_TRUE(pumpUntil([&] { return said.size() >= 1; }));
    EXPECT_TRUE(said.last().contains(QStringLiteral("waiting for it to come back")));
    EXPECT_LT(finishedWith, 0);

    // Another device is no cable; the cable comes back under another node.
    fake.plug(hidDevice(2, u"Keyboard"));
    fake.notifyChange();
    pumpFor(50);
    EXPECT_EQ(said.size(), 1);
    const QString again = QStringLiteral("/dev/hidraw3");
    fake.plug(hidDevice(3, u"USB to Serial"));
    fake.notifyChange();
    ASSERT_TRUE(pumpUntil([&] { return said.size() >= 2; }));
    EXPECT_TRUE(said.last().contains(QStringLiteral("is back after"))) << said.last().toStdString();
    EXPECT_EQ(fake.featureReports(again).size(), 1u);
    send(again, 3);
    ASSERT_TRUE(waitRows(6));
    run->stop();
    EXPECT_EQ(finishedWith, 0);
    EXPECT_EQ(numbers(), (std::vector<qint32>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(saved().size(), 6u);
}

TEST_F(HidLog, ANamedNodeWaitsForThatNode) {
    fake.plug(hidDevice(1, u"USB to Serial"));
    start(true, kCable);
    fake.unplug(kCable);
    fake.notifyChange();
    ASSERT_TRUE(pumpUntil([&] { return said.size() >= 1; }));
    fake.plug(hidDevice(4, u"USB to Serial")); // another cable, another node
    fake.notifyChange();
    pumpFor(50);
    EXPECT_EQ(said.size(), 1) << "not the node asked for";
    FakeHidDevice back = hidDevice(5, u"USB to Serial");
    back.path = kCable;
    fake.plug(back);
    fake.notifyChange();
    ASSERT_TRUE(pumpUntil([&] { return said.size() >= 2; }));
    EXPECT_TRUE(said.last().contains(QStringLiteral("is back after")));
    send(kCable, 2);
    ASSERT_TRUE(waitRows(2));
    run->stop();
}

TEST_F(HidLog, NoCableIsAnInputError) {
    LogOptions o;
    o.source = LogOptions::Source::Hid;
    LogRun r(o, LogPlatform{clock, locale, PosixSerialSystem::instance(), names, fake}, out);
    r.say = [this](const QString& m) { said.append(m); };
    EXPECT_FALSE(r.start());
    EXPECT_EQ(r.exitStatus(), 1);
    EXPECT_EQ(said, QStringList{QStringLiteral("no \"USB to Serial\" cable found")});
    EXPECT_FALSE(QFile::exists(file())) << "nothing is saved over an earlier file";
}

} // namespace
