#include "cli/ReadingCsv.h"

#include "decode/FrameDecoder.h"

#include <charconv>
#include <cmath>

namespace velkor {

QString readingCsvHeader() {
    return QStringLiteral("ValueText,FunctionText,UnitText,RangeModeText,CountValue,ScaledValue,"
                          "DecimalPointPos,Marks");
}

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString shortestDouble(double value) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, static_cast<qsizetype>(res.ptr - buf));
}

QString readingCsvLine(const FrameDecoder& d) {
    const Reading& r = d.reading;
    QString marks;
    for (int i = 0; i < kMarkCount; ++i) {
        const auto m = static_cast<Mark>(i);
        if (d.display.marks.has(m)) {
            if (!marks.isEmpty()) {
                marks += QLatin1Char(' ');
            }
            const auto name = markName(m);
            marks += QLatin1String(name.data(), static_cast<qsizetype>(name.size()));
        }
    }
    return csvField(r.ValueText) + QLatin1Char(',') + csvField(r.FunctionText) + QLatin1Char(',') +
           csvField(r.UnitText) + QLatin1Char(',') + csvField(r.RangeModeText) + QLatin1Char(',') +
           QString::number(static_cast<long long>(std::llround(r.CountValue))) + QLatin1Char(',') +
           shortestDouble(r.ScaledValue) + QLatin1Char(',') + QString::number(r.DecimalPointPos) +
           QLatin1Char(',') + csvField(marks);
}

} // namespace velkor
