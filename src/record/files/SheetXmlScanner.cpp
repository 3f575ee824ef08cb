#include "record/files/SheetXmlScanner.h"

#include "record/XmlText.h"

#include <algorithm>
#include <cstring>

namespace velkor {

namespace {

constexpr qint64 kReadBytes = 1 << 20;
constexpr qint64 kMaxTagBytes = 1 << 20;
constexpr qint64 kTextPieceBytes = 1 << 16;
constexpr int kMaxAttributes = 256;
constexpr int kMaxDepth = 64;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

QByteArrayView localPart(QByteArrayView name) {
    const qsizetype colon = name.lastIndexOf(':');
    return colon < 0 ? name : name.sliced(colon + 1);
}

} // namespace

SheetXmlScanner::SheetXmlScanner(Source source, qint64 maxBytes)
    : source_(std::move(source)), maxBytes_(maxBytes) {}

void SheetXmlScanner::fail(const QString& reason) {
    if (error_.isEmpty()) {
        error_ = QStringLiteral("%1 (%2 バイト目)").arg(reason).arg(consumed_ + at_);
    }
}

SheetXmlScanner::Token SheetXmlScanner::malformed(const char* what) {
    fail(QStringLiteral("XML の形式が正しくありません: %1").arg(QString::fromUtf8(what)));
    return Token::Invalid;
}

bool SheetXmlScanner::more() {
    if (ended_ || !error_.isEmpty()) {
        return false;
    }
    buf_.remove(0, at_);
    consumed_ += at_;
    at_ = 0;
    const qsizetype kept = buf_.size();
    buf_.resize(kept + kReadBytes);
    const qint64 n = source_(buf_.data() + kept, kReadBytes);
    buf_.resize(kept + std::max<qint64>(n, 0));
    if (n < 0) {
        fail(QStringLiteral("読み込みに失敗しました"));
        return false;
    }
    ended_ = n == 0;
    total_ += n;
    if (total_ > maxBytes_) {
        fail(QStringLiteral("大きすぎます (上限 %1 MB)").arg(maxBytes_ >> 20));
        return false;
    }
    return n > 0;
}

// A byte-order mark and the XML declaration; false when the declaration
// names an encoding other than UTF-8 or the bytes are UTF-16.
bool SheetXmlScanner::prolog() {
    while (buf_.size() - at_ < 6 && more()) {
    }
    const QByteArrayView head(buf_.constData() + at_, buf_.size() - at_);
    if (head.startsWith("\xEF\xBB\xBF")) {
        at_ += 3;
    } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") ||
               (head.size() >= 2 && (head[0] == 0 || head[1] == 0))) {
        return false;
    }
    if (!QByteArrayView(buf_.constData() + at_, buf_.size() - at_).startsWith("<?xml")) {
        return true;
    }
    qsizetype close = -1;
    while ((close = QByteArrayView(buf_.constData() + at_, buf_.size() - at_).indexOf("?>")) < 0) {
        if (buf_.size() - at_ > 1024 || !more()) {
            return true; // left to the checks that follow
        }
    }
    const QByteArray declaration = QByteArray(buf_.constData() + at_, close).toLower();
    const qsizetype enc = declaration.indexOf("encoding");
    if (enc >= 0) {
        QByteArray value = declaration.mid(enc + 8).trimmed();
        value = value.startsWith('=') ? value.mid(1).trimmed() : QByteArray();
        if (!value.startsWith("\"utf-8\"") && !value.startsWith("'utf-8'")) {
            return false;
        }
    }
    at_ += close + 2;
    return true;
}

SheetXmlScanner::Scan SheetXmlScanner::skip(const char* p, const char* end, const char* close,
                                            const char** next) {
    const QByteArrayView rest(p, end - p);
    const qsizetype at = rest.indexOf(close);
    if (at < 0) {
        return Scan::More;
    }
    *next = p + at + std::strlen(close);
    return Scan::Done;
}

// The tag at `p` ('<', not a comment, CDATA or instruction).
SheetXmlScanner::Scan SheetXmlScanner::tag(const char* p, const char* end, const char** next) {
    ++p;
    if (p == end) {
        return Scan::More;
    }
    const bool endTag = *p == '/';
    if (endTag) {
        ++p;
    }
    const char* nameStart = p;
    while (p < end && isNameByte(*p)) {
        ++p;
    }
    if (p == end) {
        return Scan::More;
    }
    if (p == nameStart || !isNameStart(*nameStart)) {
        return Scan::Bad;
    }
    const QByteArrayView qname(nameStart, p - nameStart);
    std::vector<Raw>& raws = raws_;
    raws.clear();
    bool empty = false;
    for (;;) {
        const bool spaced = p < end && isSpace(*p);
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end) {
            return Scan::More;
        }
        if (*p == '>') {
            ++p;
            break;
        }
        if (*p == '/' && !endTag) {
            if (p + 1 == end) {
                return Scan::More;
            }
            if (p[1] != '>') {
                return Scan::Bad;
            }
            p += 2;
            empty = true;
            break;
        }
        if (endTag || !spaced || !isNameStart(*p)) {
            return Scan::Bad;
        }
        if (static_cast<int>(raws.size()) >= kMaxAttributes) {
            fail(QStringLiteral("属性が多すぎます (上限 %1)").arg(kMaxAttributes));
            return Scan::Bad;
        }
        Raw a{p, 0, nullptr, 0};
        while (p < end && isNameByte(*p)) {
            ++p;
        }
        a.nameSize = p - a.name;
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end) {
            return Scan::More;
        }
        if (*p++ != '=') {
            return Scan::Bad;
        }
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end) {
            return Scan::More;
        }
        const char quote = *p++;
        if (quote != '"' && quote != '\'') {
            return Scan::Bad;
        }
        const void* close = std::memchr(p, quote, static_cast<std::size_t>(end - p));
        if (!close) {
            return Scan::More;
        }
        a.value = p;
        a.valueSize = static_cast<const char*>(close) - p;
        p = static_cast<const char*>(close) + 1;
        for (const Raw& other : raws) {
            if (other.nameSize == a.nameSize && *other.name == *a.name &&
                std::memcmp(other.name, a.name, static_cast<std::size_t>(a.nameSize)) == 0) {
                return Scan::Bad;
            }
        }
        raws.push_back(a);
    }
    // The whole tag is here: check it against the open elements and decode.
    if (endTag) {
        if (openStarts_.empty() || QByteArrayView(openNames_).sliced(openStarts_.back()) != qname) {
            return Scan::Bad;
        }
        openNames_.truncate(openStarts_.back());
        openStarts_.pop_back();
    } else {
        if (openStarts_.empty() && rootSeen_) {
            return Scan::Bad; // a second root
        }
        if (static_cast<int>(openStarts_.size()) >= kMaxDepth) {
            fail(QStringLiteral("入れ子が深すぎます (上限 %1)").arg(kMaxDepth));
            return Scan::Bad;
        }
        rootSeen_ = true;
        if (!empty) {
            openStarts_.push_back(openNames_.size());
            openNames_.append(qname);
        }
    }
    qsizetype room = qname.size();
    for (const Raw& a : raws) {
        room += a.nameSize + a.valueSize;
    }
    if (scratch_.size() < static_cast<std::size_t>(room)) {
        scratch_.resize(static_cast<std::size_t>(room));
    }
    char16_t* out = scratch_.data();
    auto putName = [&out](QByteArrayView n) {
        qsizetype length = 0;
        char16_t* const at = out;
        if (!decodeXmlText(n.data(), n.size(), false, out, &length)) {
            return QStringView();
        }
        out += length;
        return QStringView(at, length);
    };
    name_ = putName(localPart(qname));
    attributes_.clear();
    for (const Raw& a : raws) {
        const QByteArrayView n(a.name, a.nameSize);
        const bool declaration = n == "xmlns" || n.startsWith("xmlns:");
        const QStringView localName = putName(localPart(n));
        qsizetype length = 0;
        if (!decodeXmlText(a.value, a.valueSize, true, out, &length)) {
            return Scan::Bad;
        }
        if (!declaration) {
            attributes_.push_back({localName, QStringView(out, length)});
        }
        out += length;
    }
    pendingEnd_ = empty;
    *next = p;
    return Scan::Done;
}

// Text up to the next '<', or a bounded piece of a long one.
SheetXmlScanner::Token SheetXmlScanner::readText() {
    for (;;) {
        const char* p = buf_.constData() + at_;
        const char* end = buf_.constData() + buf_.size();
        const void* lt = std::memchr(p, '<', static_cast<std::size_t>(end - p));
        if (!lt && !ended_ && end - p < kTextPieceBytes) {
            if (!more() && !error_.isEmpty()) {
                return Token::Invalid;
            }
            continue;
        }
        const char* stop = lt ? static_cast<const char*>(lt) : end;
        if (!lt && end - p >= kTextPieceBytes) {
            // Given in pieces, cut where no reference, UTF-8 sequence or
            // CR LF pair is split.
            stop = p + kTextPieceBytes;
            while (stop > p &&
                   ((static_cast<unsigned char>(*stop) & 0xC0) == 0x80 || stop[-1] == '\r')) {
                --stop;
            }
            const QByteArrayView piece(p, stop - p);
            const qsizetype amp = piece.lastIndexOf('&');
            if (amp >= 0 && piece.indexOf(';', amp) < 0) {
                stop = p + amp;
            }
            if (stop == p) {
                return malformed("bad character or reference in text");
            }
        }
        if (openStarts_.empty()) {
            for (const char* q = p; q < stop; ++q) {
                if (!isSpace(*q)) {
                    return malformed("text outside the root element");
                }
            }
            at_ = stop - buf_.constData();
            return Token::Text;
        }
        const qsizetype n = stop - p;
        if (scratch_.size() < static_cast<std::size_t>(n)) {
            scratch_.resize(static_cast<std::size_t>(n));
        }
        qsizetype length = 0;
        if (!decodeXmlText(p, n, false, scratch_.data(), &length)) {
            return malformed("bad character or reference in text");
        }
        text_ = QStringView(scratch_.data(), length);
        at_ = stop - buf_.constData();
        return Token::Text;
    }
}

SheetXmlScanner::Token SheetXmlScanner::next() {
    if (!error_.isEmpty()) {
        return Token::Invalid;
    }
    if (!started_) {
        started_ = true;
        if (!prolog()) {
            return error_.isEmpty() ? Token::OtherEncoding : Token::Invalid;
        }
    }
    if (pendingEnd_) {
        pendingEnd_ = false;
        return Token::End; // name_ still that of the empty element
    }
    for (;;) {
        const char* p = buf_.constData() + at_;
        const char* end = buf_.constData() + buf_.size();
        if (p == end) {
            if (!more()) {
                if (!error_.isEmpty()) {
                    return Token::Invalid;
                }
                if (!openStarts_.empty() || !rootSeen_) {
                    fail(QStringLiteral("ファイルが途中で終わっています"));
                    return Token::Invalid;
                }
                return Token::EndDocument;
            }
            continue;
        }
        if (*p != '<') {
            const Token t = readText();
            if (t != Token::Text || !openStarts_.empty()) {
                return t;
            }
            continue; // white space outside the root
        }
        // Markup: what kind, once enough of it is here.
        const QByteArrayView head(p, end - p);
        if (head.size() < 9 && !ended_) {
            if (!more() && !error_.isEmpty()) {
                return Token::Invalid;
            }
            continue;
        }
        const char* after = nullptr;
        Scan scan;
        if (head.startsWith("<!--")) {
            scan = skip(p + 4, end, "-->", &after);
        } else if (head.startsWith("<?")) {
            scan = skip(p + 2, end, "?>", &after);
        } else if (head.startsWith("<![CDATA[")) {
            scan = skip(p + 9, end, "]]>", &after);
            if (scan == Scan::Done) {
                if (openStarts_.empty()) {
                    return malformed("CDATA outside the root element");
                }
                const char* from = p + 9;
                const qsizetype n = after - 3 - from;
                if (scratch_.size() < static_cast<std::size_t>(n)) {
                    scratch_.resize(static_cast<std::size_t>(n));
                }
                // The section's characters as they stand, line ends made LF.
                char16_t* out = scratch_.data();
                qsizetype length = 0;
                for (const char* q = from; q < from + n;) {
                    const char* cut = q;
                    while (cut < from + n && *cut != '&' && *cut != '<') {
                        ++cut;
                    }
                    qsizetype part = 0;
                    if (!decodeXmlText(q, cut - q, false, out + length, &part)) {
                        return malformed("bad character in CDATA");
                    }
                    length += part;
                    if (cut < from + n) {
                        out[length++] = static_cast<char16_t>(*cut);
                        ++cut;
                    }
                    q = cut;
                }
                text_ = QStringView(out, length);
                at_ = after - buf_.constData();
                return Token::Text;
            }
        } else if (head.startsWith("<!")) {
            fail(QStringLiteral("文書型宣言は受け付けません"));
            return Token::Invalid;
        } else {
            const bool capped = end - p > kMaxTagBytes;
            scan = tag(p, capped ? p + kMaxTagBytes : end, &after);
            if (scan == Scan::More && capped) {
                fail(QStringLiteral("タグが大きすぎます (上限 %1 KB)").arg(kMaxTagBytes >> 10));
                return Token::Invalid;
            }
            if (scan == Scan::Done) {
                at_ = after - buf_.constData();
                return p[1] == '/' ? Token::End : Token::Start;
            }
        }
        if (scan == Scan::Bad) {
            return error_.isEmpty() ? malformed("bad markup") : Token::Invalid;
        }
        if (scan == Scan::Done) {
            at_ = after - buf_.constData();
            continue;
        }
        // More: the markup goes on in the next slice.
        if (end - p > kMaxTagBytes) {
            fail(QStringLiteral("タグが大きすぎます (上限 %1 KB)").arg(kMaxTagBytes >> 10));
            return Token::Invalid;
        }
        at_ = p - buf_.constData();
        if (!more()) {
            if (!error_.isEmpty()) {
                return Token::Invalid;
            }
            fail(QStringLiteral("ファイルが途中で終わっています"));
            return Token::Invalid;
        }
    }
}

} // namespace velkor
