#include "cli/ReadingPrinter.h"

#include "cli/ReadingCsv.h"
#include "pipeline/MeterPipeline.h"

#include <cstdio>
#include <string>

namespace velkor::cli {

namespace {
void printLine(const QString& line) {
    std::string out = line.toStdString();
    out += '\n';
    std::fputs(out.c_str(), stdout);
}
} // namespace

ReadingPrinter::ReadingPrinter(MeterPipeline& pipeline) : pipeline_(pipeline) {
    pipeline_.setOnDecoded([this] {
        if (limitReached()) {
            return;
        }
        printLine(readingCsvLine(pipeline_.decoder()));
        ++printed_;
        if (afterLine_) {
            afterLine_();
        }
    });
}

void ReadingPrinter::printHeader() {
    printLine(readingCsvHeader());
}

} // namespace velkor::cli
