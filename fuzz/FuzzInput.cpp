#include "FuzzInput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace velkor::fuzz {

QString writeInputFile(const std::uint8_t* data, std::size_t size, const char* suffix) {
    const QString path = QDir::tempPath() + QStringLiteral("/velkor-fuzz-%1%2")
                                                .arg(QCoreApplication::applicationPid())
                                                .arg(QLatin1String(suffix));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    return path;
}

} // namespace velkor::fuzz
