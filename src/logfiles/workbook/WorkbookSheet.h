#pragma once

#include "disk/LogFileResult.h"
#include "logfiles/LogCellText.h"

#include <QString>

namespace velkor {

// Receives the cells of a workbook's first worksheet, row after row (rows
// and columns counted from 1, rows in ascending order). Only cells that are
// present come: empty cells that carry a format come as Empty.
class SheetCellSink {
public:
    virtual ~SheetCellSink() = default;
    // Before the first cell: whether the workbook counts dates from 1904.
    virtual void start(bool date1904) = 0;
    virtual void cell(int row, int column, const SheetCell& value) = 0;
    // False once the cells given can no longer make the sheet a log (its
    // used range is already too wide): the reader then stops early, as
    // the rest of the sheet would not change the answer.
    virtual bool wantsMoreCells() const { return true; }
};

enum class WorkbookFormat { OfficeOpenXml, BinaryXls, Unknown };

// The workbook format by the file's first bytes: a zip archive (Office Open
// XML) or an OLE2 compound file (the older binary .xls), whatever its name.
WorkbookFormat workbookFormatOf(const QByteArray& head);

// Reads the first worksheet of an Office Open XML workbook (.xlsx): the zip
// archive through libzip, the parts with a bounded streaming XML reader.
LogFileResult readOfficeOpenXmlSheet(const QString& fileName, SheetCellSink& sink);
// Reads the first worksheet of a binary .xls workbook through FreeXL.
LogFileResult readBinaryXlsSheet(const QString& fileName, SheetCellSink& sink);
// Either, chosen by the file's content.
LogFileResult readFirstSheet(const QString& fileName, SheetCellSink& sink);

// Limits on files from outside.
inline constexpr qint64 kMaxWorkbookFileBytes = qint64(1) << 30;
inline constexpr qint64 kMaxXlsFileBytes = qint64(256) << 20;
inline constexpr qint64 kMaxSheetXmlBytes = qint64(2) << 30;
inline constexpr qint64 kMaxSharedStringsXmlBytes = qint64(256) << 20;
inline constexpr qint64 kMaxSmallPartBytes = qint64(32) << 20;
// A log has six columns of short texts and at most 1,048,575 rows under its
// header: no workbook holding one needs more shared strings than cells, nor
// texts longer than a spreadsheet cell can hold, nor many more bytes of
// sheet markup per row than a writer spends on six cells.
inline constexpr qsizetype kMaxSharedStrings = qsizetype(6) * 1048576;
inline constexpr qsizetype kMaxSharedStringChars = qsizetype(64) << 20;
inline constexpr qsizetype kMaxCellTextChars = 32767;
inline constexpr qint64 kSheetBytesPerRow = 1024;
inline constexpr qint64 kSheetSlackBytes = qint64(4) << 20;
inline constexpr qsizetype kMaxCellFormats = 1 << 20;
inline constexpr int kMaxSheetRows = 1048576;
inline constexpr int kMaxSheetColumns = 16384;

} // namespace velkor
