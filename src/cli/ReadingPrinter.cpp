#include "cli/ReadingPrinter.h"

#include "decode/MeterPipeline.h"
#include "decode/ReadingCsv.h"

#include <cstdio>
#include <exception>
#include <string>

namespace velkor::cli {

namespace {
void printLine(const QString& line, bool flush) {
    std::string out = line.toStdString();
    out += '\n';
    std::fputs(out.c_str(), stdout);
    if (flush) {
        std::fflush(stdout);
    }
}
} // namespace

ReadingPrinter::ReadingPrinter(MeterPipeline& pipeline, bool flushEachLine)
    : pipeline_(pipeline), flushEachLine_(flushEachLine) {
    pipeline_.setOnDecoded([this] {
        printLine(readingCsvLine(pipeline_.decoder()), flushEachLine_);
        ++printed_;
        if (afterLine_) {
            afterLine_();
        }
    });
}

void ReadingPrinter::printHeader() { printLine(readingCsvHeader(), flushEachLine_); }

void ReadingPrinter::feed(const std::uint8_t* data, std::size_t size) {
    auto& assembler = pipeline_.assembler();
    for (std::size_t i = 0; i < size && !limitReached(); ++i) {
        try {
            assembler.receive(&data[i], 1);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "frame %lld: %s\n", pipeline_.framesOffered(), e.what());
        }
    }
}

} // namespace velkor::cli
