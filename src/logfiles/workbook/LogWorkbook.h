#pragma once

#include "disk/LogFileResult.h"
#include "record/LogRowBuffer.h"
#include "record/LogTable.h"

#include <QLocale>
#include <QString>

namespace velkor {

// The log as a spreadsheet workbook. First worksheet, row 1 the header
// "No.", "時間", "機能", "数値", "単位", "判定"; from row 2 one row per log
// row: No, Time, DC/AC, Value, Unit, Auto (NVal is not exported).

// Data rows a worksheet holds below the header.
inline constexpr qsizetype kMaxWorkbookLogRows = 1048575;
extern const char* const kWorkbookHeader[6];

enum class WorkbookExportStatus { Saved, Failed, LibraryUnavailable };

// Writes the table as an Office Open XML workbook, whatever the name's
// extension, with libxlsxwriter. Each field's text, trimmed of blanks and
// control characters, goes in as a spreadsheet reads typed text: numbers
// (one mark, "." or ",", as the decimal point in every locale) as numbers, times of day as times
// with a time format, the rest as text. The file is written under a temporary name in the same
// directory and renamed when complete, so a failed export leaves no partial file. A log longer than
// a worksheet is refused.
WorkbookExportStatus exportLogWorkbook(const LogTable& table, const QString& fileName,
                                       QString* reason);

// The import's reading of a workbook (Office Open XML or binary .xls, by the
// file's content): with `sixColumns` false when the first worksheet's used
// range is not exactly six columns wide (nothing is to be imported), else
// the rows 2 to R of the used range's R rows, cells converted as the table
// converts them: column 2 as a date-time to its time of day in the
// locale's long time format. `rows` is filled only on success.
LogFileResult readLogWorkbook(const QString& fileName, const QLocale& locale, LogRowBuffer* rows,
                              bool* sixColumns);

} // namespace velkor
