// velkor-metersim: a simulated meter on a pseudo-terminal or a serial device.
#include "cli/CliOptions.h"
#include "cli/QuitOnSignal.h"
#include "link/serial/TCommPortDriver.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/PseudoTerminal.h"
#include "sim/MeterSimulator.h"
#include "version/VelkorVersion.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace velkor;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitLine = 1;
constexpr int kExitUsage = 2;

// How long, after the last of --count frames, the simulator waits for the
// reader to take them before it closes the line.
constexpr int kDrainMs = 2000;

void usage(FILE* out) {
    std::fputs("Usage: velkor-metersim [--rate FRAMES_PER_SECOND] [--count N] [--variant NAME]\n"
               "                       [--link PATH | --device PATH]\n"
               "       velkor-metersim --help | --version\n"
               "\n"
               "A simulated meter. It opens a pseudo-terminal, prints the path of its device\n"
               "(the end a program opens, like /dev/pts/3) as the first line, and sends the\n"
               "meter's 14-byte frames walking through every function and range.\n"
               "\n"
               "  --rate R      frames per second (default 2.5, at most 1000)\n"
               "  --count N     stop after N frames (default: run until interrupted)\n"
               "  --variant V   the meter model (IFCASTEM IFMIRELO IFDORVAN IFFENWIK IFGORSEL\n"
               "                IFHALVIN; default: the build's own)\n"
               "  --link PATH   also make PATH a symbolic link to the device\n"
               "  --device PATH send to this serial device instead (with the variant's line\n"
               "                settings: its speed, 8 data bits, no parity, one stop bit)\n"
               "\n"
               "Ends on SIGINT, SIGTERM or SIGHUP. Exit status: 0 done, 1 the line failed,\n"
               "2 usage.\n",
               out);
}

int fail(int status, const QString& message) {
    std::fprintf(stderr, "velkor-metersim: %s\n", qPrintable(message));
    return status;
}

// A symbolic link that is removed again when the simulator ends.
class OwnLink {
public:
    bool make(const QString& link, const QString& target, QString* error) {
        const QFileInfo existing(link);
        if (existing.isSymLink()) {
            QFile::remove(link); // a link left over from an earlier run
        } else if (existing.exists()) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
            return false;
        }
        if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) !=
            0) {
            *error = QStringLiteral("cannot make the link %1: %2")
                         .arg(link, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        path_ = link;
        return true;
    }
    ~OwnLink() {
        if (!path_.isEmpty()) {
            QFile::remove(path_);
        }
    }

private:
    QString path_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A signal from here on ends the simulator cleanly: a program that starts
    // it may send one as soon as the device's path is printed. (The link is
    // made later and goes before this, see OwnLink below.)
    cli::QuitOnSignal quitOnSignal;
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args == QStringList{QStringLiteral("--version")}) {
        std::printf("velkor-metersim %s\n", VELKOR_VERSION);
        return kExitOk;
    }
    const cli::CliOptions opts(args,
                               {QStringLiteral("--rate"), QStringLiteral("--count"),
                                QStringLiteral("--variant"), QStringLiteral("--link"),
                                QStringLiteral("--device")},
                               {});
    if (opts.help()) {
        usage(stdout);
        return kExitOk;
    }
    QString error = opts.error();
    const auto variant = error.isEmpty() ? opts.variant(&error) : std::nullopt;
    const long count = error.isEmpty() ? opts.count(&error) : -1;
    double rate = 2.5;
    if (const auto r = opts.value(QStringLiteral("--rate")); r && error.isEmpty()) {
        bool ok = false;
        rate = r->toDouble(&ok);
        if (!ok || !(rate > 0.0) || rate > MeterSimulator::kMaxRate) {
            error =
                QStringLiteral("--rate needs a number of frames per second above 0, at most 1000");
        }
    }
    const auto link = opts.value(QStringLiteral("--link"));
    const auto device = opts.value(QStringLiteral("--device"));
    if (error.isEmpty() && link && device) {
        error = QStringLiteral("--link and --device exclude each other");
    }
    if (error.isEmpty() && !opts.positional().isEmpty()) {
        error = QStringLiteral("unexpected argument %1").arg(opts.positional().first());
    }
    if (!error.isEmpty() || !variant) {
        fail(kExitUsage, error);
        usage(stderr);
        return kExitUsage;
    }

    const MeterVariant v = variant.value_or(buildVariant());
    PseudoTerminal pty;
    LinuxPlatform platform;
    std::optional<TCommPortDriver> port;
    // Made after the signal handling and so removed before it goes: a signal
    // can never end the program between the two and leave the link behind.
    OwnLink ownLink;
    MeterSimulator::Sink sink;
    QString linePath;
    if (device) {
        port.emplace(platform.serial, platform.clock, platform.portNames);
        port->setDevicePath(*device);
        port->setComPortSpeed(baudRateOf(variantInfo(v).serialBaud));
        if (!port->Connect()) {
            return fail(
                kExitLine,
                QStringLiteral("cannot open %1: %2").arg(*device, port->lastError().reason));
        }
        linePath = *device;
        sink = [&port](const std::uint8_t* data, std::size_t size) {
            const auto n = static_cast<std::int32_t>(size);
            return port->SendData(data, n) == n;
        };
    } else {
        if (!pty.open()) {
            return fail(kExitLine, pty.errorText());
        }
        linePath = pty.slavePath();
        if (link && !ownLink.make(*link, linePath, &error)) {
            return fail(kExitLine, error);
        }
        sink = [&pty](const std::uint8_t* data, std::size_t size) { return pty.send(data, size); };
    }
    std::printf("%s\n", qPrintable(linePath));
    std::fflush(stdout);

    int status = kExitOk;
    MeterSimulator sim(v, rate, count, sink);
    QObject::connect(
        &sim, &MeterSimulator::finished, &app,
        [&](bool ok) {
            if (!ok) {
                status = fail(kExitLine, QStringLiteral("cannot write to %1: %2")
                                             .arg(linePath, device ? port->lastError().reason
                                                                   : pty.errorText()));
            }
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
    if (port) {
        port->setOnLinkLost([&](TCommPortDriver*, const SerialPortError& e) {
            status = fail(kExitLine, QStringLiteral("%1 was lost: %2").arg(linePath, e.reason));
            QCoreApplication::quit();
        });
    }
    sim.start();
    QCoreApplication::exec();

    if (status == kExitOk && count >= 0 && !quitOnSignal.signalled()) {
        // Let the reader take the last frames before the line goes.
        if (port) {
            QElapsedTimer t;
            t.start();
            while (port->Connected() && port->OutFreeSpace() < port->ComPortOutBufSize() &&
                   t.elapsed() < kDrainMs) {
                QThread::msleep(5);
            }
        } else {
            pty.drain(kDrainMs);
        }
    }
    return status;
}
