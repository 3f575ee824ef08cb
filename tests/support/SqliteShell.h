#pragma once

#include "support/QStringPrinting.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace velkor::test {

// SQLite's own shell, sqlite3, run on a file as a user would run it: the
// output of `sql` (columns separated by "|", rows by line feeds, the last
// line feed dropped), or "error: ..." when the shell fails.
inline QString sqliteShell(const QString& file, const QString& sql, QStringList options = {}) {
    QProcess p;
    options << QStringLiteral("-batch") << file << sql;
    p.start(QStringLiteral("sqlite3"), options);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("error: sqlite3 did not end");
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        return QStringLiteral("error: ") + QString::fromUtf8(p.readAllStandardError()).trimmed();
    }
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (out.endsWith(u'\n')) {
        out.chop(1);
    }
    return out;
}

} // namespace velkor::test
