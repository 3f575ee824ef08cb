#pragma once

#include "record/MarkupGuard.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <cstring>
#include <functional>

namespace velkor {

// A streaming XML reader for files from outside. It pulls the bytes in
// slices from a source, so memory stays bounded however large the file is,
// and it refuses what no honest file holds: a document type declaration
// (entity tricks), nesting deeper than the limit, a tag with too many
// attributes or too many bytes (found in the raw bytes before the parser
// sees them, so no tag costs more than linear time), a single piece of
// markup or text larger than the limit, more bytes in all than the limit, a
// document that ends early.
class BoundedXmlReader {
public:
    // Reads up to `max` bytes into `buffer`: the count, 0 at the end, -1 on
    // a read error.
    using Source = std::function<qint64(char* buffer, qint64 max)>;

    struct Limits {
        qint64 maxBytes = qint64(4) << 30;
        qint64 maxTokenBytes = qint64(16) << 20;
        qint64 maxTagBytes = qint64(1) << 20;
        int maxDepth = 64;
        int maxAttributes = 256;
    };

    BoundedXmlReader(Source source, Limits limits);

    // The next token, as QXmlStreamReader::readNext gives it; Invalid when
    // the document is refused or broken (error() says why). EndDocument
    // after the root element has closed and the source has ended.
    QXmlStreamReader::TokenType readNext();

    // The token just read: name(), attributes(), text().
    const QXmlStreamReader& xml() const { return xml_; }
    // Depth of the current element: 1 inside the root element.
    int depth() const { return depth_; }
    // Why reading stopped, with the line and column; empty when it did not.
    const QString& error() const { return error_; }
    // Replaces the error with this reader's own, at the current place.
    void fail(const QString& reason);
    // Bytes handed to the parser so far.
    qint64 bytesFed() const { return fedTotal_; }

private:
    bool feed();

    Source source_;
    Limits limits_;
    QXmlStreamReader xml_;
    MarkupGuard guard_;
    QByteArray chunk_;
    qint64 fedTotal_ = 0;
    qint64 fedSinceToken_ = 0;
    int depth_ = 0;
    bool rootClosed_ = false;
    bool sourceEnded_ = false;
    QString error_;
};

// Whether an element or attribute name is `literal`: compared inline, as
// the readers ask it for every token.
template <std::size_t N> inline bool isName(QStringView name, const char16_t (&literal)[N]) {
    return name.size() == qsizetype(N - 1) &&
           std::memcmp(name.utf16(), literal, (N - 1) * sizeof(char16_t)) == 0;
}

} // namespace velkor
