#include "record/LogPacketScanner.h"

#include "record/XmlText.h"

#include <QByteArray>
#include <cstring>
#include <vector>

namespace velkor {

namespace {

constexpr qint64 kReadBytes = 1 << 20;
constexpr qint64 kMaxTagBytes = 1 << 20;
constexpr qint64 kMaxFileBytes = qint64(4) << 30;
constexpr int kMaxAttributes = 256;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

struct RawAttribute {
    const char* name;
    qsizetype nameSize;
    const char* value;
    qsizetype valueSize;
};

// One tag as it stands in the bytes.
struct Tag {
    enum Kind { Start, End, Empty } kind = Start;
    QByteArrayView name;
    std::vector<RawAttribute> attributes;
};

enum class Parse { Done, More, NotOurs };

// Parses the tag that starts at `p` ('<'), ending before `end`.
Parse parseTag(const char* p, const char* end, Tag* tag, const char** next) {
    const char* const start = p;
    tag->attributes.clear();
    ++p;
    if (p == end) {
        return Parse::More;
    }
    const bool endTag = *p == '/';
    if (endTag) {
        ++p;
    }
    const char* name = p;
    while (p < end && isNameByte(*p)) {
        ++p;
    }
    if (p == end) {
        return Parse::More;
    }
    if (p == name || !isNameStart(*name)) {
        return Parse::NotOurs;
    }
    tag->name = QByteArrayView(name, p - name);
    for (;;) {
        const bool spaced = p < end && isSpace(*p);
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end || p - start > kMaxTagBytes) {
            return p - start > kMaxTagBytes ? Parse::NotOurs : Parse::More;
        }
        if (*p == '>') {
            tag->kind = endTag ? Tag::End : Tag::Start;
            *next = p + 1;
            return Parse::Done;
        }
        if (*p == '/' && !endTag) {
            if (p + 1 == end) {
                return Parse::More;
            }
            if (p[1] != '>') {
                return Parse::NotOurs;
            }
            tag->kind = Tag::Empty;
            *next = p + 2;
            return Parse::Done;
        }
        if (endTag || !spaced || !isNameStart(*p) ||
            static_cast<int>(tag->attributes.size()) >= kMaxAttributes) {
            return Parse::NotOurs;
        }
        RawAttribute a{p, 0, nullptr, 0};
        while (p < end && isNameByte(*p)) {
            ++p;
        }
        a.nameSize = p - a.name;
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end) {
            return Parse::More;
        }
        if (*p != '=') {
            return Parse::NotOurs;
        }
        ++p;
        while (p < end && isSpace(*p)) {
            ++p;
        }
        if (p == end) {
            return Parse::More;
        }
        const char quote = *p;
        if (quote != '"' && quote != '\'') {
            return Parse::NotOurs;
        }
        ++p;
        const qsizetype room = std::min<qsizetype>(end - p, kMaxTagBytes);
        const void* close = std::memchr(p, quote, static_cast<std::size_t>(room));
        if (!close) {
            return room == end - p ? Parse::More : Parse::NotOurs;
        }
        a.value = p;
        a.valueSize = static_cast<const char*>(close) - p;
        p = static_cast<const char*>(close) + 1;
        for (const RawAttribute& other : tag->attributes) {
            if (other.nameSize == a.nameSize && *other.name == *a.name &&
                std::memcmp(other.name, a.name, static_cast<std::size_t>(a.nameSize)) == 0) {
                return Parse::NotOurs; // the same attribute twice
            }
        }
        tag->attributes.push_back(a);
    }
}

// The bytes of the file, a slice at a time, with the tag being parsed kept
// whole across slices. One buffer serves the whole file, so its pages are
// touched once rather than once a slice.
class Input {
public:
    explicit Input(QIODevice& in) : in_(in) {}

    const char* pos() const { return buf_.data() + at_; }
    const char* end() const { return buf_.data() + size_; }
    void advance(const char* to) { at_ = static_cast<std::size_t>(to - buf_.data()); }
    bool atEnd() const { return ended_ && at_ == size_; }
    bool failed() const { return failed_; }
    bool tooLarge() const { return total_ > kMaxFileBytes; }

    // Reads more after what is left; false when nothing more came.
    bool more() {
        if (ended_ || failed_) {
            return false;
        }
        const std::size_t kept = size_ - at_;
        if (kept > 0 && at_ > 0) {
            std::memmove(buf_.data(), buf_.data() + at_, kept);
        }
        at_ = 0;
        size_ = kept;
        if (buf_.size() < kept + kReadBytes) {
            buf_.resize(kept + kReadBytes);
        }
        const qint64 n = in_.read(buf_.data() + kept, kReadBytes);
        if (n < 0) {
            failed_ = true;
            return false;
        }
        size_ = kept + static_cast<std::size_t>(n);
        total_ += n;
        ended_ = n == 0;
        return n > 0 && !tooLarge();
    }

private:
    QIODevice& in_;
    std::vector<char> buf_;
    std::size_t at_ = 0;
    std::size_t size_ = 0;
    qint64 total_ = 0;
    bool ended_ = false;
    bool failed_ = false;
};

class Scanner {
public:
    Scanner(QIODevice& in, LogPacketRows& rows) : input_(in), rows_(rows) {}

    PacketScan run() {
        if (!prolog()) {
            return PacketScan::NotOurs;
        }
        // The elements, each where the layout has it.
        enum Where { Top, Packet, Metadata, Fields, RowData, Done };
        Where where = Top;
        for (;;) {
            const Parse p = next();
            if (p == Parse::More) { // the file ended
                return where == Done && (rows_.resolved() || resolve()) ? PacketScan::Read
                                                                        : PacketScan::NotOurs;
            }
            if (p == Parse::NotOurs || where == Done) {
                return PacketScan::NotOurs;
            }
            const QByteArrayView name = tag_.name;
            const Tag::Kind kind = tag_.kind;
            bool ok = false;
            switch (where) {
            case Top:
                ok = kind == Tag::Start && name == "DATAPACKET";
                where = Packet;
                break;
            case Packet:
                if (kind == Tag::Start && name == "METADATA") {
                    ok = true, where = Metadata;
                } else if (name == "ROWDATA" && kind != Tag::End) {
                    ok = rows_.resolved() || resolve();
                    where = kind == Tag::Start ? RowData : Packet;
                } else if (kind == Tag::End && name == "DATAPACKET") {
                    ok = true, where = Done;
                }
                break;
            case Metadata:
                if (kind == Tag::Start && name == "FIELDS" && !rows_.hasFields()) {
                    ok = true, where = Fields;
                } else if (kind == Tag::Empty && name == "PARAMS") {
                    ok = true;
                } else if (kind == Tag::End && name == "METADATA") {
                    ok = true, where = Packet;
                }
                break;
            case Fields:
                if (kind != Tag::End && name == "FIELD") {
                    ok = add(false) && closed(kind, "FIELD");
                } else if (kind == Tag::End && name == "FIELDS") {
                    ok = true, where = Metadata;
                }
                break;
            case RowData:
                if (kind != Tag::End && name == "ROW") {
                    ok = add(true) && closed(kind, "ROW");
                } else if (kind == Tag::End && name == "ROWDATA") {
                    ok = true, where = Packet;
                }
                break;
            case Done: break;
            }
            if (!ok) {
                return PacketScan::NotOurs;
            }
        }
    }

private:
    // A byte-order mark and the XML declaration, when they are there; the
    // declaration may name no other encoding than UTF-8.
    bool prolog() {
        if (!fillTo(6)) {
            return false;
        }
        if (QByteArrayView(input_.pos(), 3) == "\xEF\xBB\xBF") {
            input_.advance(input_.pos() + 3);
        }
        if (!fillTo(6) || QByteArrayView(input_.pos(), 6) != "<?xml ") {
            return true;
        }
        const char* close = nullptr;
        for (;;) {
            const QByteArrayView rest(input_.pos(), input_.end() - input_.pos());
            const qsizetype at = rest.indexOf("?>");
            if (at >= 0) {
                close = input_.pos() + at;
                break;
            }
            if (rest.size() > 1024 || !input_.more()) {
                return false;
            }
        }
        const QByteArray declaration = QByteArray(input_.pos(), close - input_.pos()).toLower();
        if (declaration.indexOf('<', 1) >= 0) {
            return false;
        }
        if (!declaration.contains("version=\"1.0\"") && !declaration.contains("version='1.0'")) {
            return false;
        }
        const qsizetype enc = declaration.indexOf("encoding");
        if (enc >= 0) {
            const QByteArray value = declaration.mid(enc + 8).trimmed();
            if (!value.startsWith('=') || !(value.mid(1).trimmed().startsWith("\"utf-8\"") ||
                                            value.mid(1).trimmed().startsWith("'utf-8'"))) {
                return false;
            }
        }
        input_.advance(close + 2);
        return true;
    }

    bool fillTo(qsizetype n) {
        while (input_.end() - input_.pos() < n) {
            if (!input_.more()) {
                return false;
            }
        }
        return true;
    }

    // The next tag after white space; More when the file ends first.
    Parse next() {
        for (;;) {
            const char* p = input_.pos();
            const char* const end = input_.end();
            while (p < end && isSpace(*p)) {
                ++p;
            }
            input_.advance(p);
            if (p == end) {
                if (!input_.more()) {
                    return input_.tooLarge() ? Parse::NotOurs : Parse::More;
                }
                continue;
            }
            if (*p != '<') {
                return Parse::NotOurs; // text
            }
            // A tag is parsed over at most its limit of bytes, so that one
            // growing across slices is parsed again a bounded number of times.
            const bool capped = end - p > kMaxTagBytes;
            const char* after = nullptr;
            Parse r = parseTag(p, capped ? p + kMaxTagBytes : end, &tag_, &after);
            if (r == Parse::More && capped) {
                r = Parse::NotOurs;
            }
            if (r == Parse::Done) {
                // Every value is decoded, so that each is checked as the
                // general reader checks it, whether it is used or not; plain
                // ASCII needs no decoding and is checked as it is.
                ascii_ = plainAscii();
                const bool decoded = ascii_ || decode();
                input_.advance(after);
                return decoded ? r : Parse::NotOurs;
            }
            if (r == Parse::NotOurs || !input_.more()) {
                return Parse::NotOurs;
            }
        }
    }

    // A FIELD or ROW given as a start tag must end at once.
    bool closed(Tag::Kind kind, const char* name) {
        if (kind == Tag::Empty) {
            return true;
        }
        return next() == Parse::Done && tag_.kind == Tag::End && tag_.name == name;
    }

    bool resolve() {
        QString error;
        return rows_.resolve(&error);
    }

    bool add(bool row) {
        QString error;
        if (row && ascii_) {
            return rows_.addRow(asciiAttributes_, &error);
        }
        if (ascii_ && !decode()) {
            return false;
        }
        return row ? rows_.addRow(attributes_, &error) : rows_.addField(attributes_, &error);
    }

    // Whether every value of the tag just parsed is printable ASCII with no
    // reference in it, into asciiAttributes_ when so.
    bool plainAscii() {
        asciiAttributes_.clear();
        for (const RawAttribute& a : tag_.attributes) {
            const auto* v = reinterpret_cast<const unsigned char*>(a.value);
            for (qsizetype i = 0; i < a.valueSize; ++i) {
                if (v[i] < 0x20 || v[i] >= 0x7F || v[i] == '&' || v[i] == '<') {
                    return false;
                }
            }
            const QLatin1String name(a.name, a.nameSize);
            if (name == QLatin1String("xmlns")) {
                return false; // a namespace: decode() turns it away
            }
            asciiAttributes_.push_back({name, QLatin1String(a.value, a.valueSize)});
        }
        return true;
    }

    // The attributes of the tag just parsed, into attributes_.
    bool decode() {
        qsizetype room = 0;
        for (const RawAttribute& a : tag_.attributes) {
            room += a.nameSize + a.valueSize;
        }
        if (scratch_.size() < static_cast<std::size_t>(room)) {
            scratch_.resize(static_cast<std::size_t>(room));
        }
        attributes_.clear();
        char16_t* out = scratch_.data();
        for (const RawAttribute& a : tag_.attributes) {
            if (QByteArrayView(a.name, a.nameSize) == "xmlns") {
                return false; // a namespace: the general reader takes it
            }
            char16_t* const name = out;
            for (qsizetype i = 0; i < a.nameSize; ++i) {
                *out++ = static_cast<unsigned char>(a.name[i]);
            }
            qsizetype length = 0;
            if (!decodeXmlText(a.value, a.valueSize, true, out, &length)) {
                return false;
            }
            attributes_.push_back({QStringView(name, a.nameSize), QStringView(out, length)});
            out += length;
        }
        return true;
    }

    Input input_;
    LogPacketRows& rows_;
    Tag tag_;
    std::vector<char16_t> scratch_;
    std::vector<LogPacketRows::Attribute> attributes_;
    std::vector<LogPacketRows::AsciiAttribute> asciiAttributes_;
    bool ascii_ = false;
};

} // namespace

PacketScan scanLogPacket(QIODevice& in, LogPacketRows& rows) {
    return Scanner(in, rows).run();
}

} // namespace velkor
