#include "cli/ReadingPrinter.h"

#include "cli/ReadingCsv.h"
#include "pipeline/MeterPipeline.h"

#include <cstdio>
#include <string>

namespace velkor::cli {

namespace {

// Standard output is the one buffer every line goes through; the stream
// input flushes it after each chunk it has read.
void write(std::string_view text) {
    fwrite_unlocked(text.data(), 1, text.size(), stdout);
}

} // namespace

ReadingPrinter::ReadingPrinter(MeterPipeline& pipeline) : pipeline_(pipeline) {
    pipeline_.setOnDecoded([this] {
        if (limitReached()) {
            return;
        }
        buildReadingCsvLine(line_, pipeline_.decoder());
        write(line_.terminated());
        ++printed_;
        if (afterLine_) {
            afterLine_();
        }
    });
}

void ReadingPrinter::printHeader() {
    std::string header = readingCsvHeader().toStdString();
    header += '\n';
    write(header);
}

} // namespace velkor::cli
