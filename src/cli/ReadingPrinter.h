#pragma once

#include "logfiles/CsvLine.h"

#include <functional>

namespace velkor {
class MeterPipeline;
}

namespace velkor::cli {

// The CSV that the reading commands print on standard output: the header,
// then one line per decoded frame (feed the pipeline with pipelineFeed).
class ReadingPrinter {
public:
    explicit ReadingPrinter(MeterPipeline& pipeline);

    void printHeader();
    long long linesPrinted() const { return printed_; }
    // At most this many lines (-1: no limit); frames beyond are not printed.
    void setLimit(long long lines) { limit_ = lines; }
    bool limitReached() const { return limit_ >= 0 && printed_ >= limit_; }
    // Called after each line.
    void setAfterLine(std::function<void()> f) { afterLine_ = std::move(f); }

private:
    MeterPipeline& pipeline_;
    long long printed_ = 0;
    long long limit_ = -1;
    std::function<void()> afterLine_;
    CsvLine line_;
};

} // namespace velkor::cli
