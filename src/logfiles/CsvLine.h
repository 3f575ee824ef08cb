#pragma once

#include <QStringView>
#include <string>
#include <string_view>

namespace velkor {

// The one writer of CSV (RFC 4180) in the program: one line built field by
// field into a byte buffer that is kept from line to line. UTF-8 (through
// Qt's encoder; an unpaired surrogate becomes U+FFFD), fields separated by
// commas, a field quoted when it holds a comma, a quote or a line break
// (with its quotes doubled), numbers formatted in place. Once the buffer has
// grown to the longest line, building a line of short ASCII texts allocates
// nothing.
class CsvLine {
public:
    // Starts a new line.
    void clear() {
        buf_.clear();
        fields_ = 0;
    }
    CsvLine& text(QStringView field);
    // A text of single bytes, copied as they are (ASCII, or UTF-8 already).
    CsvLine& bytes(std::string_view field);
    CsvLine& empty();
    CsvLine& integer(long long value);
    // The shortest text that reads back to the same double.
    CsvLine& shortestDouble(double value);

    // The line so far, without a line end.
    std::string_view line() const { return buf_; }
    // The line with its line end.
    std::string_view terminated(std::string_view lineEnd = "\n") {
        buf_ += lineEnd;
        return buf_;
    }

private:
    void separate() {
        if (fields_++ > 0) {
            buf_ += ',';
        }
    }
    void quoted(std::string_view utf8);

    std::string buf_;
    std::string utf8_; // a field beyond ASCII, encoded
    int fields_ = 0;
};

} // namespace velkor
