// The first worksheet of a binary .xls workbook (BIFF in an OLE2 compound
// file), read through FreeXL. FreeXL hands dates and times as texts; they
// become date-time serials again here, so that both workbook formats give
// the same cells.
#include "record/files/WorkbookSheet.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <freexl.h>

namespace velkor {

namespace {

QString freexlErrorText(int code) {
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("ファイルがありません");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("メモリが足りません");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
    case FREEXL_INVALID_MINI_STREAM:
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
        return QStringLiteral("Excel 97-2003 形式のファイルが壊れています (複合ファイル)");
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_INVALID_SST:
    case FREEXL_BIFF_ILLEGAL_SST_INDEX:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
    case FREEXL_ILLEGAL_RK_VALUE:
        return QStringLiteral("Excel 97-2003 形式のファイルが壊れています (ワークブック)");
    case FREEXL_BIFF_ILLEGAL_SHEET_INDEX:
        return QStringLiteral("ワークシートがありません");
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET:
        return QStringLiteral("文字コードを変換できません");
    case FREEXL_CRAFTED_FILE:
        return QStringLiteral("ファイルが壊れているか、細工されています");
    default:
        return QStringLiteral("Excel 97-2003 形式として読めません (FreeXL %1)").arg(code);
    }
}

// FreeXL's "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" and "HH:MM:SS" as serials.
bool dateTextSerial(int type, const char* text, double* serial) {
    const QString s = QString::fromUtf8(text);
    static const QDate epoch(1899, 12, 30);
    if (type == FREEXL_CELL_TIME) {
        const QTime t = QTime::fromString(s, QStringLiteral("HH:mm:ss"));
        *serial = t.msecsSinceStartOfDay() / 86400000.0;
        return t.isValid();
    }
    const QDateTime dt = type == FREEXL_CELL_DATE
                             ? QDateTime(QDate::fromString(s, Qt::ISODate), QTime(0, 0))
                             : QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid()) {
        return false;
    }
    *serial = static_cast<double>(epoch.daysTo(dt.date())) +
              dt.time().msecsSinceStartOfDay() / 86400000.0;
    return true;
}

struct Handle {
    const void* h = nullptr;
    ~Handle() {
        if (h) {
            freexl_close(h);
        }
    }
};

} // namespace

LogFileResult readBinaryXlsSheet(const QString& fileName, SheetCellSink& sink) {
    if (QFileInfo(fileName).size() > kMaxXlsFileBytes) {
        return LogFileResult::failure(QStringLiteral("ファイルが大きすぎます (上限 %1 MB)")
                                          .arg(kMaxXlsFileBytes >> 20));
    }
    Handle xls;
    int rc = freexl_open(QFile::encodeName(fileName).constData(), &xls.h);
    if (rc != FREEXL_OK) {
        return LogFileResult::failure(freexlErrorText(rc));
    }
    unsigned int info = 0;
    if (freexl_get_info(xls.h, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED) {
        return LogFileResult::failure(QStringLiteral("パスワードで保護されています"));
    }
    if (freexl_get_info(xls.h, FREEXL_BIFF_SHEET_COUNT, &info) != FREEXL_OK || info == 0) {
        return LogFileResult::failure(QStringLiteral("ワークシートがありません"));
    }
    if ((rc = freexl_select_active_worksheet(xls.h, 0)) != FREEXL_OK) {
        return LogFileResult::failure(freexlErrorText(rc));
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if ((rc = freexl_worksheet_dimensions(xls.h, &rows, &columns)) != FREEXL_OK) {
        return LogFileResult::failure(freexlErrorText(rc));
    }
    sink.start(false); // FreeXL has applied the workbook's date system
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue v;
            if ((rc = freexl_get_cell_value(xls.h, r, c, &v)) != FREEXL_OK) {
                return LogFileResult::failure(freexlErrorText(rc));
            }
            SheetCell cell;
            switch (v.type) {
            case FREEXL_CELL_NULL:
                continue;
            case FREEXL_CELL_INT:
                cell = SheetCell::ofNumber(v.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                cell = SheetCell::ofNumber(v.value.double_value);
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
                cell = SheetCell::ofText(QString::fromUtf8(v.value.text_value));
                break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME: {
                double serial = 0;
                if (!dateTextSerial(v.type, v.value.text_value, &serial)) {
                    return LogFileResult::failure(QStringLiteral("日付 %1 が読めません")
                                                      .arg(QString::fromUtf8(v.value.text_value)));
                }
                cell = SheetCell::ofNumber(serial, true);
                break;
            }
            default:
                return LogFileResult::failure(
                    QStringLiteral("セルの型 %1 が分かりません").arg(v.type));
            }
            sink.cell(static_cast<int>(r) + 1, c + 1, cell);
        }
    }
    return LogFileResult::success();
}

} // namespace velkor
