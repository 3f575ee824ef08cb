#include "platform/widgets/QtLogFileDialogs.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace velkor {

namespace {

// The extension of a name filter's first pattern: "XML(*.xml)" -> "xml".
QString filterExtension(const QString& filter) {
    static const QRegularExpression re(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    const auto m = re.match(filter);
    return m.hasMatch() ? m.captured(1) : QString();
}

} // namespace

QString qtFileDialogFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Several patterns are separated by ";" there and by blanks in Qt.
        const QString& pattern = parts[i + 1];
        const QString suffix = QLatin1Char('(') + pattern + QLatin1Char(')');
        const QString qtSuffix = QString(suffix).replace(u';', u' ');
        QString description = parts[i];
        if (description.endsWith(suffix)) {
            description.chop(suffix.size());
        } else {
            description += QLatin1Char(' ');
        }
        entries << description + qtSuffix;
    }
    return entries.join(QLatin1String(";;"));
}

std::optional<QString> QtLogFileDialogs::saveFileName(const Options& options) {
    return run(options, true);
}

std::optional<QString> QtLogFileDialogs::openFileName(const Options& options) {
    return run(options, false);
}

std::optional<QString> QtLogFileDialogs::run(const Options& options, bool save) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(qtFileDialogFilter(options.filter).split(QStringLiteral(";;")));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.confirmOverwrite);
    if (!options.defaultExtension.isEmpty()) {
        dialog.setDefaultSuffix(options.defaultExtension);
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, &options](const QString& filter) {
                             const QString ext = filterExtension(filter);
                             dialog.setDefaultSuffix(ext.isEmpty() ? options.defaultExtension
                                                                   : ext);
                         });
    }
    if (!options.fileName.isEmpty()) {
        dialog.selectFile(options.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace velkor
