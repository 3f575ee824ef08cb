#include "logfiles/workbook/WorkbookSheet.h"

#include <QFile>
#include <QFileInfo>

namespace velkor {

WorkbookFormat workbookFormatOf(const QByteArray& head) {
    if (head.startsWith(QByteArrayLiteral("PK\x03\x04"))) {
        return WorkbookFormat::OfficeOpenXml;
    }
    if (head.startsWith(QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))) {
        return WorkbookFormat::BinaryXls;
    }
    return WorkbookFormat::Unknown;
}

LogFileResult readFirstSheet(const QString& fileName, SheetCellSink& sink) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        return LogFileResult::failure(
            QFileInfo::exists(fileName) ? f.errorString() : QStringLiteral("ファイルがありません"));
    }
    const QByteArray head = f.read(8);
    f.close();
    switch (workbookFormatOf(head)) {
    case WorkbookFormat::OfficeOpenXml: return readOfficeOpenXmlSheet(fileName, sink);
    case WorkbookFormat::BinaryXls: return readBinaryXlsSheet(fileName, sink);
    case WorkbookFormat::Unknown: break;
    }
    return LogFileResult::failure(QStringLiteral(
        "ワークブックではありません (Office Open XML (.xlsx) でも Excel 97-2003 (.xls) "
        "でもありません)"));
}

} // namespace velkor
