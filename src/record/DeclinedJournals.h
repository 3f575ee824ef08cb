#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

namespace velkor {

// Journals whose rows the user chose not to restore for now. Each is kept
// aside in the journal folder, under its own name with the moment it was
// declined in front,
//   declined-YYYYMMDDTHHMMSSZ-<the journal's name>
// until the user restores or deletes its rows, or until kKeepDays have
// passed since it was declined. Only names are handled here, never what a
// journal holds, so any journal form can be kept aside this way.
class DeclinedJournals {
public:
    static constexpr int kKeepDays = 30;

    // When a journal declined at `declined` is removed, unless the user
    // decided before.
    static QDateTime removal(const QDateTime& declined) { return declined.addDays(kKeepDays); }

    struct Kept {
        QString path;
        QDateTime declined; // UTC
    };

    // The kept journals in `directory` whose own names end in `suffix`.
    DeclinedJournals(QString directory, QString suffix);

    // Keeps the journal at `path` aside, declined at `when`: the new path,
    // or an empty text when it could not be renamed.
    QString keepAside(const QString& path, const QDateTime& when) const;
    // The journals kept aside, the one declined first first.
    std::vector<Kept> list() const;
    // Removes those whose time is up at `now`; returns how many went.
    int removeExpired(const QDateTime& now) const;

private:
    QString directory_;
    QString suffix_;
};

} // namespace velkor
