#include "record/DeclinedJournals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

namespace velkor {

namespace {

const QString kPrefix = QStringLiteral("declined-");
const QString kStampFormat = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");
constexpr qsizetype kStampSize = 16; // 20261211T101500Z

// The moment in a kept journal's name, or an invalid one when the name is
// not of a kept journal.
QDateTime declinedAt(const QString& name) {
    if (!name.startsWith(kPrefix) || name.size() < kPrefix.size() + kStampSize + 2 ||
        name[kPrefix.size() + kStampSize] != u'-') {
        return {};
    }
    // Day and time apart: read as one, the stamp would be taken for a local
    // time, which may not exist (the hour a clock skips).
    const QString stamp = name.mid(kPrefix.size(), kStampSize);
    const QDate day = QDate::fromString(stamp.left(8), QStringLiteral("yyyyMMdd"));
    const QTime time = QTime::fromString(stamp.mid(9, 6), QStringLiteral("HHmmss"));
    if (!day.isValid() || !time.isValid() || !stamp.endsWith(u'Z') || stamp[8] != u'T') {
        return {};
    }
    return QDateTime(day, time, Qt::UTC);
}

} // namespace

DeclinedJournals::DeclinedJournals(QString directory, QString suffix)
    : directory_(std::move(directory)), suffix_(std::move(suffix)) {}

QString DeclinedJournals::keepAside(const QString& path, const QDateTime& when) const {
    const QString name = kPrefix + when.toUTC().toString(kStampFormat) + QLatin1Char('-') +
                         QFileInfo(path).fileName();
    const QString kept = QDir(directory_).filePath(name);
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(kept).constData()) !=
        0) {
        return {};
    }
    return kept;
}

std::vector<DeclinedJournals::Kept> DeclinedJournals::list() const {
    const QDir dir(directory_);
    std::vector<Kept> found;
    for (const QString& name :
         dir.entryList({kPrefix + QLatin1Char('*') + suffix_}, QDir::Files | QDir::Hidden)) {
        if (const QDateTime t = declinedAt(name); t.isValid()) {
            found.push_back({dir.filePath(name), t});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Kept& a, const Kept& b) { return a.declined < b.declined; });
    return found;
}

int DeclinedJournals::removeExpired(const QDateTime& now) const {
    int removed = 0;
    for (const Kept& k : list()) {
        if (removal(k.declined) <= now && QFile::remove(k.path)) {
            ++removed;
        }
    }
    return removed;
}

} // namespace velkor
