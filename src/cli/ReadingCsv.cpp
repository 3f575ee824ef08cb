#include "cli/ReadingCsv.h"

#include "decode/FrameDecoder.h"
#include "logfiles/CsvLine.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace velkor {

QString readingCsvHeader() {
    return QStringLiteral("ValueText,FunctionText,UnitText,RangeModeText,CountValue,ScaledValue,"
                          "DecimalPointPos,Marks");
}

void buildReadingCsvLine(CsvLine& line, const FrameDecoder& d) {
    const Reading& r = d.reading;
    MarkNamesBuffer marks;
    line.clear();
    line.text(r.ValueText)
        .text(r.FunctionText)
        .text(r.UnitText)
        .text(r.RangeModeText)
        .integer(std::llround(r.CountValue))
        .shortestDouble(r.ScaledValue)
        .integer(r.DecimalPointPos)
        .bytes(markNames(d.display.marks, marks));
}

QString readingCsvLine(const FrameDecoder& d) {
    CsvLine line;
    buildReadingCsvLine(line, d);
    const std::string_view v = line.line();
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

} // namespace velkor
