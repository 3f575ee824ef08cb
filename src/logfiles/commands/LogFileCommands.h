#pragma once

#include "logfiles/LogCsvFile.h"
#include "logfiles/sqlite/LogSqliteWriter.h"
#include "platform/LocaleSource.h"
#include "platform/LogFileDialogs.h"
#include "platform/MessageBoxes.h"
#include "record/LogTable.h"

#include <QString>
#include <functional>

namespace velkor {

// The save and open commands of the record panel and the log file
// operations behind them. The way is chosen by the file name's extension:
// exactly ".xml" takes the XML data packet, ".csv" in any case writes CSV
// for other programs (saving only), ".sqlite" or ".db" in any case the
// SQLite log (a save adds the log to the file as a run; an open takes every
// run of the file), every other name (".XML", ".xls", ".txt", none) a
// spreadsheet workbook. Every failure is told in a message
// box naming the file and the reason, and leaves the table as it was.
class LogFileCommands {
public:
    static const QString kSaveFilter; // SaveDialog2
    static const QString kOpenFilter; // OpenDialog1
    static const QString kCaption;    // "VELKOR"

    LogFileCommands(LogTable& cds1, LogFileDialogs& dialogs, MessageBoxes& boxes,
                    const LocaleSource& locale);

    // saveas: asks for a name (the dialog starts empty) and saves the log.
    // True when the log was saved.
    bool saveasClick();
    // OpenDataFiles: asks for a name (the dialog keeps the last one) and
    // opens it into the log.
    void SpeedButton2Click();

    // ".xml" and the SQLite log: the file's rows replace the table's; else
    // the workbook's rows are appended. True when the table took the file's
    // rows.
    bool LoadLogFile(const QString& FileName, LogTable& Table);
    // Appends the rows 2 to R of the first worksheet when its used range is
    // six columns wide; tells "インポートに成功しました" also when there
    // is no row to add. Nothing is added unless every row converts.
    bool ImportLogWorkbook(const QString& FileName, LogTable& Table);
    // Writes the table as a new workbook and tells "<file>に保存".
    bool ExportLogWorkbook(const LogTable& Table, const QString& FileName);
    // Writes the table as an XML data packet and tells "<file>に保存".
    bool SaveLogXml(const LogTable& Table, const QString& FileName);
    // Writes the table as CSV, with the dates rowDates knows, and tells
    // "<file>に保存".
    bool SaveLogCsv(const LogTable& Table, const QString& FileName);
    // Adds the table to an SQLite log as a run (described by describeRun)
    // and tells "<file>に保存".
    bool SaveLogSqlite(const LogTable& Table, const QString& FileName);

    // The day each row was logged, where it is known (for CSV).
    RowDateFn rowDates;
    // What a log saved into an SQLite file says of itself: the program,
    // the variant, the limits and the record settings.
    std::function<LogRunInfo()> describeRun;
    // Called after the log was saved whole, in any form.
    std::function<void()> onSaved;
    // Asked before an opened file's rows take the place of the table's:
    // false keeps the table and opens nothing.
    std::function<bool()> beforeReplacingRows;

    // The part of the name from its last period on ("" when none).
    static QString fileExtension(const QString& fileName);
    static bool isXmlName(const QString& fileName) {
        return fileExtension(fileName) == QLatin1String(".xml");
    }

private:
    void tellFailure(const QString& what, const QString& fileName, const QString& reason);

    LogTable& cds1_;
    LogFileDialogs& dialogs_;
    MessageBoxes& boxes_;
    const LocaleSource& locale_;
    QString lastOpenName_;
};

} // namespace velkor
