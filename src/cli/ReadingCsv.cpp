#include "cli/ReadingCsv.h"

#include "logfiles/CsvLine.h"
#include "decode/FrameDecoder.h"

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
    // The names of the marks shown, separated by blanks (at most 30 names
    // of at most 7 characters).
    char marks[kMarkCount * 8];
    std::size_t n = 0;
    const MarkSet shown = d.display.marks;
    for (int i = 0; i < kMarkCount; ++i) {
        const auto m = static_cast<Mark>(i);
        if (shown.has(m)) {
            if (n > 0) {
                marks[n++] = ' ';
            }
            const std::string_view name = markName(m);
            name.copy(marks + n, name.size());
            n += name.size();
        }
    }
    line.clear();
    line.text(r.ValueText)
        .text(r.FunctionText)
        .text(r.UnitText)
        .text(r.RangeModeText)
        .integer(std::llround(r.CountValue))
        .shortestDouble(r.ScaledValue)
        .integer(r.DecimalPointPos)
        .bytes(std::string_view(marks, n));
}

QString readingCsvLine(const FrameDecoder& d) {
    CsvLine line;
    buildReadingCsvLine(line, d);
    const std::string_view v = line.line();
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

} // namespace velkor
