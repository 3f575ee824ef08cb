#pragma once

#include "platform/linux/PseudoTerminal.h"
#include "meter/UnitTable.h"
#include "record/LogRecord.h"
#include "sim/DemoScenario.h"
#include "support/EventPump.h"

#include <QByteArray>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace velkor::test {

// velkor-cli as a child process, its standard output read line by line as
// it comes.
struct CliProcess {
    QProcess p;
    QStringList lines; // standard output, line ends removed
    QByteArray err;
    // Set in the program's environment besides LC_ALL.
    std::vector<std::pair<QString, QString>> environment;

    void start(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        for (const auto& [name, value] : environment) {
            env.insert(name, value);
        }
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VELKOR_CLI), args);
    }
    void take() {
        while (p.canReadLine()) {
            QByteArray l = p.readLine();
            l.chop(1);
            lines.append(QString::fromUtf8(l));
        }
        err += p.readAllStandardError();
    }
    // The header is printed once the input is open and the signals are
    // handled: the run is ready.
    bool waitReady(int timeoutMs = 20000) { return waitLines(1, timeoutMs); }
    bool waitLines(qsizetype n, int timeoutMs = 20000) {
        return pumpUntil(
                   [&] {
                       take();
                       return lines.size() >= n || p.state() == QProcess::NotRunning;
                   },
                   timeoutMs) &&
               lines.size() >= n;
    }
    bool waitErr(const QByteArray& text, int timeoutMs = 20000) {
        return pumpUntil(
                   [&] {
                       take();
                       return err.contains(text) || p.state() == QProcess::NotRunning;
                   },
                   timeoutMs) &&
               err.contains(text);
    }
    bool waitEnd(int timeoutMs = 30000) {
        const bool ended = p.state() == QProcess::NotRunning ||
                           pumpUntil([&] { return p.state() == QProcess::NotRunning; }, timeoutMs);
        take();
        return ended;
    }
    void signal(int sig) { ::kill(static_cast<pid_t>(p.processId()), sig); }
    ~CliProcess() {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }

    // The printed rows (No to Auto), and the printed lines with Time and
    // Timestamp left out (they differ between two runs on the same bytes).
    std::vector<LogRecord> rows() const {
        std::vector<LogRecord> out;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QStringList f = lines[i].split(u',');
            if (f.size() == 8) {
                out.push_back({f[0].isEmpty() ? std::nullopt : std::optional(f[0].toInt()), f[1],
                               f[2], f[3], f[4], f[5], std::nullopt});
            }
        }
        return out;
    }
    QStringList timeless() const {
        QStringList out;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QStringList f = lines[i].split(u',');
            if (f.size() == 8) {
                f[1].clear();
                f[7].clear();
                out.append(f.join(u','));
            }
        }
        return out;
    }
};

// The bytes of the simulated meter's next n frames.
inline std::vector<std::uint8_t> demoBytes(DemoWalk& walk, int n) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < n; ++i) {
        const auto b = walk.next().frame.bytes();
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// The first frames on a line: after the line end that the one before
// would have left, so that the first frame counts too.
inline std::vector<std::uint8_t> firstFrames(DemoWalk& walk, int n) {
    std::vector<std::uint8_t> bytes{0x0A};
    const auto frames = demoBytes(walk, n);
    bytes.insert(bytes.end(), frames.begin(), frames.end());
    return bytes;
}

inline bool sendAll(PseudoTerminal& line, const std::vector<std::uint8_t>& bytes) {
    return line.send(bytes.data(), bytes.size());
}

// The JSON of a row (published, or served) holds the fields of its printed
// line (No,Time,DC/AC,Value,Unit,Auto,ScaledValue,Timestamp).
inline void expectJsonOfPrintedRow(const QJsonObject& o, const QString& line) {
    const QStringList f = line.split(u',');
    ASSERT_EQ(f.size(), 8) << line.toStdString();
    EXPECT_EQ(o.value(QLatin1String("no")).toInteger(), f[0].toLongLong()) << line.toStdString();
    EXPECT_EQ(o.value(QLatin1String("timestamp")).toString(), f[7]);
    EXPECT_EQ(o.value(QLatin1String("function")).toString(), f[2]);
    EXPECT_EQ(o.value(QLatin1String("value")).toString(), f[3]);
    EXPECT_EQ(o.value(QLatin1String("unit")).toString(), readableUnit(f[4]));
    EXPECT_EQ(o.value(QLatin1String("judge")).toString(), f[5]);
    const auto si = baseUnitValue(f[3], f[4]);
    if (si) {
        EXPECT_DOUBLE_EQ(o.value(QLatin1String("si")).toDouble(), *si) << line.toStdString();
    } else {
        EXPECT_TRUE(o.value(QLatin1String("si")).isNull()) << line.toStdString();
    }
    EXPECT_TRUE(o.value(QLatin1String("marks")).isArray());
}

// Points a symbolic link at `target` in one step, as udev moves a
// /dev/serial/by-id link to an adapter plugged in again.
inline bool repointLink(const QString& link, const QString& target) {
    const QString fresh = link + QStringLiteral(".new");
    return QFile::link(target, fresh) &&
           std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) ==
               0;
}

} // namespace velkor::test
