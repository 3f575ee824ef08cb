#include "cli/OutputNames.h"

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LogOptions.h"
#include "disk/FileSaver.h"
#include "logfiles/sqlite/LogSqliteWriter.h"

#include <QFileInfo>

namespace velkor::cli {

namespace {

// The suffix after the name's last period, in lower case.
QString suffixOf(const QString& name) {
    return QFileInfo(name).suffix().toLower();
}

} // namespace

QString logFormError(const QString& what, const QString& name) {
    static const QStringList forms = {QStringLiteral("xml"), QStringLiteral("xlsx"),
                                      QStringLiteral("xls"), QStringLiteral("txt"),
                                      QStringLiteral("csv")};
    if (forms.contains(suffixOf(name)) || isSqliteName(name)) {
        return {};
    }
    return QStringLiteral("%1: '%2' names no form a log is written in: end it in .xml (XML data "
                          "packet), .xlsx, .xls or .txt (workbook), .csv (CSV) or .sqlite or .db "
                          "(SQLite log)")
        .arg(what, name);
}

QString reportFormError(const QString& name) {
    if (suffixOf(name) == QLatin1String("pdf")) {
        return {};
    }
    return QStringLiteral("report writes a PDF: '%1' does not end in .pdf").arg(name);
}

LogFileResult checkSaveTarget(const QString& name) {
    FileSaver saver(name);
    return saver.open(); // the saver drops its unnamed file as it goes
}

int checkLogSaveTarget(const LogOptions& options) {
    if (!options.save) {
        return kExitOk;
    }
    if (const LogFileResult r = checkSaveTarget(*options.save); !r) {
        reportError(QStringLiteral("cannot write %1: %2").arg(*options.save, r.reason));
        return kExitOutput;
    }
    return kExitOk;
}

} // namespace velkor::cli
