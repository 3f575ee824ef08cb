#pragma once

#include <QString>

namespace velkor {

class CsvLine;
class FrameDecoder;

// CSV of decoded readings, as velkor-cli prints them.
QString readingCsvHeader();
QString readingCsvLine(const FrameDecoder& decoder);
// The same line, built into `line` (the command's fast road).
void buildReadingCsvLine(CsvLine& line, const FrameDecoder& decoder);

} // namespace velkor
