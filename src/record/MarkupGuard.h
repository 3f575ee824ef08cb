#pragma once

#include <QtGlobal>

namespace velkor {

// Looks at the bytes of an XML document before a parser sees them and finds
// the first tag with more attributes, or more bytes, than allowed. Parsers
// spend more than linear time on a tag with very many attributes (each is
// checked against the ones before it), so such a tag has to be refused
// before it is parsed. One pass over each byte, its state carried from
// slice to slice; comments, CDATA sections, processing instructions and
// quoted values are skipped as XML defines them, so their contents never
// count as markup.
class MarkupGuard {
public:
    enum class Verdict { Ok, TooManyAttributes, TagTooLarge };

    MarkupGuard(int maxAttributes, qint64 maxTagBytes)
        : maxAttributes_(maxAttributes), maxTagBytes_(maxTagBytes) {}

    // Scans the next slice. After a verdict other than Ok, offset() is the
    // place in the whole document where the limit was passed.
    Verdict scan(const char* data, qint64 size);
    qint64 offset() const { return offset_; }

private:
    enum class State : quint8 { Text, Open, Bang, Tag, Quoted, Comment, CData, Pi };

    int maxAttributes_;
    qint64 maxTagBytes_;
    State state_ = State::Text;
    char quote_ = 0;
    bool startTag_ = false;
    int attributes_ = 0;
    qint64 tagBytes_ = 0;
    int bangMatched_ = 0; // characters after "<!" matching "--" or "[CDATA["
    bool bangComment_ = true;
    bool bangCData_ = true;
    int run_ = 0; // closing characters seen: "-" for comments, "]" for CDATA, "?" for PIs
    qint64 offset_ = 0;
};

} // namespace velkor
