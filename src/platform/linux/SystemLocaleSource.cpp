#include "platform/linux/SystemLocaleSource.h"
#include "platform/LocaleSource.h"

#include <QFile>
#include <QRegularExpression>

namespace velkor {

namespace {

// Reads LANG (or LC_NUMERIC, which wins) from a shell-style locale file.
QString localeNameFromFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QString lang;
    QString numeric;
    static const QRegularExpression kLine(
        QString::fromLatin1(R"re(^\s*(LANG|LC_NUMERIC)\s*=\s*"?([^"\s]*)"?)re"));
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine());
        const auto m = kLine.match(line);
        if (m.hasMatch()) {
            (m.captured(1) == QLatin1String("LANG") ? lang : numeric) = m.captured(2);
        }
    }
    return numeric.isEmpty() ? lang : numeric;
}

} // namespace

// Qt reads the user's locale from the environment once per process, so its
// decimal separator is read once here too: a decoding pass asks for it with
// every frame.
SystemLocaleSource::SystemLocaleSource() : userSeparator_(QLocale::system().decimalPoint()) {
    QString name = localeNameFromFile(QStringLiteral("/etc/default/locale"));
    if (name.isEmpty()) {
        name = localeNameFromFile(QStringLiteral("/etc/locale.conf"));
    }
    if (name.isEmpty()) {
        systemSeparator_ = QLocale::system().decimalPoint();
    } else {
        const QString base = name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
        systemSeparator_ = (base == QLatin1String("C") || base == QLatin1String("POSIX"))
                               ? QStringLiteral(".")
                               : QLocale(base).decimalPoint();
    }
}

QString SystemLocaleSource::userDecimalSeparator() const {
    return userSeparator_;
}

QString SystemLocaleSource::systemDecimalSeparator() const {
    return systemSeparator_;
}

QLocale SystemLocaleSource::userLocale() const {
    return QLocale::system();
}

} // namespace velkor
