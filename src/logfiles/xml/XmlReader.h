#pragma once

#include "disk/LogFileResult.h"

#include <QString>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

namespace velkor {

// What a document from outside may cost, one set for every XML part of
// every log file form. A document that passes one is refused with the
// limit named.
struct XmlLimits {
    qint64 maxBytes = qint64(4) << 30;        // the whole document
    qint64 maxTagBytes = qint64(1) << 20;     // one start tag
    qint64 maxTokenBytes = qint64(16) << 20;  // markup or text not yet taken whole
    int maxDepth = 64;                        // elements open at once
    int maxAttributes = 256;                  // attributes of one element
    qint64 maxParserBytes = qint64(64) << 20; // the parser's own memory
};

// An element's or attribute's name as a namespace-aware reader gives it:
// the local part, and the namespace's URI (empty when it has none).
struct XmlName {
    std::string_view local;
    std::string_view uri;
};

struct XmlAttribute {
    XmlName name;
    std::string_view value; // UTF-8, references replaced, white space normalised
};

class XmlReader;

// Receives a document's content in order. Texts are UTF-8, whatever the
// document's own encoding. A handler that returns false stops the reading:
// with the reason it gave to XmlReader::fail, or, after XmlReader::stop,
// as a success.
class XmlContentHandler {
public:
    virtual ~XmlContentHandler() = default;
    virtual bool startElement(XmlReader& reader, XmlName name,
                              std::span<const XmlAttribute> attributes) = 0;
    virtual bool endElement(XmlReader& reader, XmlName name) = 0;
    // Character data, in pieces of any size (one text may come in several).
    virtual bool characters(XmlReader& /*reader*/, std::string_view /*text*/) { return true; }
};

// The one reader of XML documents from outside, over expat. It takes the
// bytes in slices from a source, so memory stays bounded however large the
// document is, and refuses what no honest log file holds: a document type
// declaration (and so every entity but the predefined ones), a document
// that is not well formed, and anything past its limits. Every reason is
// told in Japanese with the line and column where reading stopped.
class XmlReader {
public:
    // Reads up to `max` bytes into `buffer`: the count, 0 at the end, -1 on
    // a read error.
    using Source = std::function<qint64(char* buffer, qint64 max)>;

    explicit XmlReader(XmlLimits limits = {});
    ~XmlReader();
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    // Reads the whole document from `source` (or up to a stop()).
    LogFileResult read(const Source& source, XmlContentHandler& handler);

    // From a handler: the reading ends with this reason (the first given
    // counts); the handler then returns false.
    void fail(const QString& reason);
    // From a handler: the reading ends here as a success; the handler then
    // returns false.
    void stop();

    // Bytes of the document handed to the parser so far.
    qint64 bytesFed() const;
    // Depth of the element being read: 1 for the root element.
    int depth() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

// The text as a QString (UTF-8).
inline QString qstringOf(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace velkor
