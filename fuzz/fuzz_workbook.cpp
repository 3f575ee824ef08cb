// A log file in the workbook form, as import and convert read it: the zip
// archive and the XML parts of its first worksheet. (A binary .xls goes to
// a confined child process of its own and is left out here.)
#include "FuzzInput.h"
#include "logfiles/workbook/LogWorkbook.h"
#include "logfiles/workbook/WorkbookSheet.h"
#include "record/LogRowBuffer.h"

#include <QLocale>

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray head = fuzz::bytesOf(data, std::min<std::size_t>(size, 8));
    if (workbookFormatOf(head) == WorkbookFormat::BinaryXls) {
        return 0;
    }
    const QString path = fuzz::writeInputFile(data, size, ".xlsx");
    LogRowBuffer rows;
    bool sixColumns = false;
    readLogWorkbook(path, QLocale::c(), &rows, &sixColumns);
    return 0;
}
