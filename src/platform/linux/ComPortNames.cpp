#include "platform/linux/ComPortNames.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace velkor {

namespace {

// The nodes devDir/<prefix>N, sorted by N.
QStringList numberedNodes(const QString& devDir, const QString& prefix) {
    const QStringList names =
        QDir(devDir).entryList({prefix + QLatin1Char('*')}, QDir::System | QDir::Files);
    std::vector<std::pair<int, QString>> found;
    for (const QString& name : names) {
        bool ok = false;
        const int n = name.mid(prefix.size()).toInt(&ok);
        if (ok && n >= 0) {
            found.emplace_back(n, name);
        }
    }
    std::sort(found.begin(), found.end());
    QStringList out;
    for (const auto& [n, name] : found) {
        out.append(devDir + QLatin1Char('/') + name);
    }
    return out;
}

} // namespace

ComPortNames::ComPortNames(QString devDir, QString sysTtyDir)
    : devDir_(std::move(devDir)), sysTtyDir_(std::move(sysTtyDir)) {}

QString ComPortNames::environmentName(int port) {
    return QStringLiteral("VELKOR_COM%1").arg(port + 1);
}

int ComPortNames::portNumberOf(const QString& name) {
    for (int n = 0; n < kPorts; ++n) {
        if (name.compare(QStringLiteral("COM%1").arg(n + 1), Qt::CaseInsensitive) == 0) {
            return n;
        }
    }
    return -1;
}

QStringList ComPortNames::serialDevicesPresent() const {
    QStringList out = numberedNodes(devDir_, QStringLiteral("ttyUSB"));
    out += numberedNodes(devDir_, QStringLiteral("ttyACM"));
    for (const QString& path : numberedNodes(devDir_, QStringLiteral("ttyS"))) {
        QFile type(sysTtyDir_ + QLatin1Char('/') + path.section(QLatin1Char('/'), -1) +
                   QStringLiteral("/type"));
        if (type.open(QIODevice::ReadOnly)) {
            bool ok = false;
            const int t = type.readAll().trimmed().toInt(&ok);
            if (ok && t != 0) {
                out.append(path);
            }
        }
    }
    return out;
}

QString ComPortNames::devicePath(int port) const {
    const QString pinned = qEnvironmentVariable(environmentName(port).toLatin1().constData());
    if (!pinned.isEmpty()) {
        return pinned;
    }
    const QStringList present = serialDevicesPresent();
    return port >= 0 && port < present.size() ? present[port] : QString();
}

} // namespace velkor
