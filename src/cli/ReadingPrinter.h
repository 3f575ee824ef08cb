#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace velkor {
class MeterPipeline;
}

namespace velkor::cli {

// The CSV that the reading commands print: the header, then one line per
// decoded frame on standard output. Bytes go to the variant's assembler one
// at a time, so a frame that fails to decode costs only itself; the failure
// is printed as "frame N: MESSAGE" on standard error and reading goes on.
class ReadingPrinter {
public:
    // flushEachLine: for live sources, so that every reading shows at once.
    ReadingPrinter(MeterPipeline& pipeline, bool flushEachLine);

    void printHeader();
    // Feeds the bytes; stops at the limit's last line.
    void feed(const std::uint8_t* data, std::size_t size);
    // At most this many lines (-1: no limit).
    void setLimit(long long lines) { limit_ = lines; }
    bool limitReached() const { return limit_ >= 0 && printed_ >= limit_; }
    long long linesPrinted() const { return printed_; }
    // Called after each line.
    void setAfterLine(std::function<void()> f) { afterLine_ = std::move(f); }

private:
    MeterPipeline& pipeline_;
    bool flushEachLine_;
    long long printed_ = 0;
    long long limit_ = -1;
    std::function<void()> afterLine_;
};

} // namespace velkor::cli
