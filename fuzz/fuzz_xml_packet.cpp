// A log file in the XML data packet form, as Open and convert read it.
#include "FuzzInput.h"
#include "logfiles/LogXmlFile.h"
#include "record/LogRowBuffer.h"

#include <QBuffer>

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes = fuzz::bytesOf(data, size);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    LogRowBuffer rows;
    const LogFileResult r = readLogXml(in, rows);
    // A refused file leaves no row behind.
    if (!r && rows.rowCount() != 0) {
        __builtin_trap();
    }
    return 0;
}
