#pragma once

#include <QString>

namespace velkor {

class FrameDecoder;

namespace cli {
class CsvLine;
}

// CSV of decoded readings, as velkor-cli prints them.
QString readingCsvHeader();
QString readingCsvLine(const FrameDecoder& decoder);
// The same line, built into `line` (the command's fast road).
void buildReadingCsvLine(cli::CsvLine& line, const FrameDecoder& decoder);

// Quotes a CSV field when it holds a comma, a quote or a line break.
QString csvField(const QString& text);
// The shortest text that reads back to the same double.
QString shortestDouble(double value);

} // namespace velkor
