#include "logfiles/commands/LogFileCommands.h"

#include "disk/InputFile.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/sqlite/LogSqliteFile.h"
#include "logfiles/workbook/LogWorkbook.h"

#include <QFileInfo>

namespace velkor {

const QString LogFileCommands::kSaveFilter =
    QStringLiteral("Excel File(*.xls)|*.xls|XML(*.xml)|*.xml|Txt File(*.txt)|*.txt|CSV "
                   "File(*.csv)|*.csv|SQLite(*.sqlite;*.db)|*.sqlite;*.db");
const QString LogFileCommands::kOpenFilter =
    QStringLiteral("Excel File(*.xls)|*.xls|XML (*.xml)|*.xml|Txt File(*.txt)|*.txt|"
                   "SQLite(*.sqlite;*.db)|*.sqlite;*.db");
const QString LogFileCommands::kCaption = QStringLiteral("VELKOR");

LogFileCommands::LogFileCommands(LogTable& cds1, LogFileDialogs& dialogs, MessageBoxes& boxes,
                                 const LocaleSource& locale)
    : cds1_(cds1), dialogs_(dialogs), boxes_(boxes), locale_(locale) {}

QString LogFileCommands::fileExtension(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

void LogFileCommands::tellFailure(const QString& what, const QString& fileName,
                                  const QString& reason) {
    boxes_.show(what.arg(fileName) + QLatin1Char('\n') + reason, kCaption,
                MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
}

bool LogFileCommands::saveasClick() {
    LogFileDialogs::Options o;
    o.filter = kSaveFilter;
    o.defaultExtension = QStringLiteral("xls");
    o.confirmOverwrite = true;
    const auto name = dialogs_.saveFileName(o);
    if (!name) {
        return false;
    }
    const bool saved = isXmlName(*name)      ? SaveLogXml(cds1_, *name)
                       : isCsvName(*name)    ? SaveLogCsv(cds1_, *name)
                       : isSqliteName(*name) ? SaveLogSqlite(cds1_, *name)
                                             : ExportLogWorkbook(cds1_, *name);
    if (saved && onSaved) {
        onSaved();
    }
    return saved;
}

void LogFileCommands::SpeedButton2Click() {
    LogFileDialogs::Options o;
    o.filter = kOpenFilter;
    o.fileName = lastOpenName_;
    const auto name = dialogs_.openFileName(o);
    if (!name) {
        return;
    }
    lastOpenName_ = *name;
    if (isXmlName(*name) && beforeReplacingRows && !beforeReplacingRows()) {
        return;
    }
    LoadLogFile(*name, cds1_);
}

bool LogFileCommands::SaveLogXml(const LogTable& Table, const QString& FileName) {
    const LogFileResult r = saveLogXml(Table, FileName);
    if (!r) {
        tellFailure(QStringLiteral("%1に保存できませんでした。"), FileName, r.reason);
        return false;
    }
    boxes_.information(FileName + QStringLiteral("に保存"), kCaption);
    return true;
}

bool LogFileCommands::SaveLogCsv(const LogTable& Table, const QString& FileName) {
    const LogFileResult r = saveLogCsv(Table, FileName, rowDates);
    if (!r) {
        tellFailure(QStringLiteral("%1に保存できませんでした。"), FileName, r.reason);
        return false;
    }
    boxes_.information(FileName + QStringLiteral("に保存"), kCaption);
    return true;
}

bool LogFileCommands::SaveLogSqlite(const LogTable& Table, const QString& FileName) {
    const LogFileResult r =
        saveLogSqlite(Table.store(), FileName, describeRun ? describeRun() : LogRunInfo{});
    if (!r) {
        tellFailure(QStringLiteral("%1に保存できませんでした。"), FileName, r.reason);
        return false;
    }
    boxes_.information(FileName + QStringLiteral("に保存"), kCaption);
    return true;
}

bool LogFileCommands::ExportLogWorkbook(const LogTable& Table, const QString& FileName) {
    QString reason;
    switch (exportLogWorkbook(Table, FileName, &reason)) {
    case WorkbookExportStatus::LibraryUnavailable:
        boxes_.show(QStringLiteral("Excelを開くことができません！"), kCaption,
                    MessageBoxes::Icon::Warning, MessageBoxes::Buttons::Ok);
        return false;
    case WorkbookExportStatus::Failed:
        tellFailure(QStringLiteral("%1に保存できませんでした。"), FileName, reason);
        return false;
    case WorkbookExportStatus::Saved: break;
    }
    boxes_.information(FileName + QStringLiteral("に保存"), kCaption);
    return true;
}

bool LogFileCommands::LoadLogFile(const QString& FileName, LogTable& Table) {
    const bool xml = isXmlName(FileName);
    if (!xml && !isSqliteName(FileName)) {
        return ImportLogWorkbook(FileName, Table);
    }
    // The SQLite reader checks the file itself, without opening it beside
    // a writer.
    LogFileResult r = xml ? checkInputFile(FileName) : LogFileResult::success();
    if (r && xml) {
        r = loadLogXml(FileName, Table);
    } else if (r) {
        LogRowBuffer rows;
        r = readLogSqlite(FileName, rows);
        if (r) {
            Table.replaceRows(std::move(rows));
        }
    }
    if (!r) {
        tellFailure(QStringLiteral("%1を開くことができませんでした。"), FileName, r.reason);
        return false;
    }
    return true;
}

bool LogFileCommands::ImportLogWorkbook(const QString& FileName, LogTable& Table) {
    LogRowBuffer rows;
    bool sixColumns = false;
    LogFileResult r = checkInputFile(FileName);
    if (r) {
        r = readLogWorkbook(FileName, locale_.userLocale(), &rows, &sixColumns);
    }
    if (!r) {
        tellFailure(QStringLiteral("%1をインポートできませんでした。"), FileName, r.reason);
        return false;
    }
    if (!sixColumns) {
        return false;
    }
    if (rows.rowCount() > 0) {
        Table.appendRows(rows);
    }
    boxes_.information(QStringLiteral("インポートに成功しました"), kCaption);
    return true;
}

} // namespace velkor
