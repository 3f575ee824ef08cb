#include "logfiles/LogXmlFile.h"

#include "disk/AtomicFile.h"
#include "logfiles/LogPacketRows.h"
#include "logfiles/xml/XmlReader.h"

#include <QFile>
#include <QStringEncoder>
#include <QVarLengthArray>
#include <QFileInfo>
#include <QHash>
#include <charconv>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace velkor {

namespace {

constexpr int kFieldCount = 7;
constexpr int kNoField = 0;
constexpr int kNValField = 6;
constexpr std::size_t kFlushBytes = 1 << 20;

// Field types of the table, in the engine's words.
constexpr const char* kFieldTypes[kFieldCount] = {"i4",     "string", "string", "string",
                                                  "string", "string", "i4"};

bool isNameStart(QChar c) {
    return c.isLetter() || c == u'_' || c == u':';
}

bool isNameChar(QChar c) {
    return isNameStart(c) || c.isDigit() || c == u'-' || c == u'.' || c.isMark();
}

// Writes `text` at `p` as the value of a double-quoted attribute, in UTF-8
// through Qt's encoder, and returns the end of what it wrote (at most six
// bytes a character). Tab, line feed and carriage return are written as
// character references, which survive the reader's attribute
// normalisation; characters XML cannot carry at all (the other control
// characters, unpaired surrogates, U+FFFE/U+FFFF) are left out.
char* escapeText(char* p, QStringView text) {
    QVarLengthArray<char16_t, 64> kept;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u)) {
            if (i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                kept.append(u);
                kept.append(text[++i].unicode());
            }
        } else if ((u >= 0x20 || u == u'\t' || u == u'\n' || u == u'\r') &&
                   !QChar::isLowSurrogate(u) && u < 0xFFFE) {
            kept.append(u);
        }
    }
    QStringEncoder encoder(QStringConverter::Utf8);
    const QStringView clean(kept.constData(), kept.size());
    QVarLengthArray<char, 192> utf8(encoder.requiredSpace(clean.size()));
    const char* end = encoder.appendToBuffer(utf8.data(), clean);
    const auto put = [&p](const char* entity, int size) {
        std::memcpy(p, entity, static_cast<std::size_t>(size));
        p += size;
    };
    for (const char* c = utf8.constData(); c != end; ++c) {
        switch (*c) {
        case '&': put("&amp;", 5); break;
        case '<': put("&lt;", 4); break;
        case '>': put("&gt;", 4); break;
        case '"': put("&quot;", 6); break;
        case '\t': put("&#9;", 4); break;
        case '\n': put("&#10;", 5); break;
        case '\r': put("&#13;", 5); break;
        default: *p++ = *c;
        }
    }
    return p;
}

char* escapeHeld(char* p, const LogRowBuffer::HeldText& text) {
    if (!text.wide) {
        // Printable ASCII without markup characters is written as it is.
        bool plain = true;
        for (qsizetype i = 0; i < text.size && plain; ++i) {
            const unsigned char c = text.chars[i];
            plain = c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"';
        }
        if (plain) {
            std::memcpy(p, text.chars, static_cast<std::size_t>(text.size));
            return p + text.size;
        }
    }
    QVarLengthArray<char16_t, 64> chars(text.size);
    if (text.wide) {
        std::memcpy(chars.data(), text.chars, static_cast<std::size_t>(text.size) * 2);
    } else {
        for (qsizetype i = 0; i < text.size; ++i) {
            chars[i] = text.chars[i];
        }
    }
    return escapeText(p, QStringView(chars.constData(), text.size));
}

char* putBytes(char* p, const char* s, std::size_t n) {
    std::memcpy(p, s, n);
    return p + n;
}

char* putBytes(char* p, const std::string& s) {
    return putBytes(p, s.data(), s.size());
}

// ` name="` + the number + `"`.
char* putNumber(char* p, const std::string& prefix, qint32 value) {
    p = putBytes(p, prefix);
    p = std::to_chars(p, p + 16, value).ptr;
    *p++ = '"';
    return p;
}

// The bytes of a packet being written, handed to the device a megabyte at a
// time.
class PacketOut {
public:
    explicit PacketOut(QIODevice& out) : out_(out), buf_(kFlushBytes + kRowBytes) {}

    // Where to write next, with room for `bytes` more.
    char* room(std::size_t bytes) {
        if (used_ + bytes > buf_.size()) {
            if (!flush()) {
                return nullptr;
            }
            if (bytes > buf_.size()) {
                buf_.resize(bytes);
            }
        }
        return buf_.data() + used_;
    }
    // What was written up to `end`; false when it could not be handed on.
    bool wrote(const char* end) {
        used_ = static_cast<std::size_t>(end - buf_.data());
        return used_ < kFlushBytes || flush();
    }
    bool flush() {
        const auto n = static_cast<qint64>(used_);
        used_ = 0;
        return n == 0 || out_.write(buf_.data(), n) == n;
    }

    // More than a row of the compact buffer takes: seven attributes, five of
    // at most 20 characters of at most six bytes.
    static constexpr std::size_t kRowBytes = 4096;

private:
    QIODevice& out_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

// The escaped bytes of the first texts of a compact buffer, made when a
// text is first written: a log's texts repeat, so most rows are copied
// from here rather than escaped again.
class EscapedTexts {
public:
    explicit EscapedTexts(const LogRowBuffer& rows)
        : rows_(rows), slots_(std::min<std::uint32_t>(rows.textNumbers(), kCachedTexts), 0) {}

    char* put(char* p, std::uint32_t number) {
        if (number >= slots_.size()) {
            return escapeHeld(p, rows_.heldText(number));
        }
        std::uint64_t& slot = slots_[number];
        if (slot == 0) {
            const LogRowBuffer::HeldText text = rows_.heldText(number);
            const std::size_t at = bytes_.size();
            bytes_.resize(at + static_cast<std::size_t>(text.size) * 6);
            const char* end = escapeHeld(bytes_.data() + at, text);
            const auto size = static_cast<std::size_t>(end - (bytes_.data() + at));
            bytes_.resize(at + size);
            slot = (std::uint64_t(at) << 16) | (size + 1);
        }
        return putBytes(p, bytes_.data() + (slot >> 16), (slot & 0xFFFF) - 1);
    }

private:
    static constexpr std::uint32_t kCachedTexts = 1 << 17;
    const LogRowBuffer& rows_;
    std::vector<std::uint64_t> slots_; // offset << 16 | size + 1; 0: not yet made
    std::vector<char> bytes_;
};

void appendEscaped(QByteArray& out, QStringView text) {
    const qsizetype before = out.size();
    out.resize(before + text.size() * 6);
    char* end = escapeText(out.data() + before, text);
    out.resize(end - out.constData());
}

void appendAttribute(QByteArray& out, const QByteArray& name, QStringView value) {
    out.append(' ');
    out.append(name);
    out.append("=\"", 2);
    appendEscaped(out, value);
    out.append('"');
}

void appendAttribute(QByteArray& out, const QByteArray& name, qint32 value) {
    out.append(' ');
    out.append(name);
    out.append("=\"", 2);
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
    out.append('"');
}

// The elements of a data packet, as the table engine reads them: names
// without regard to case, other elements passed over.
class PacketReader final : public XmlContentHandler {
public:
    explicit PacketReader(LogRowBuffer& rows) : packet_(rows) {}

    LogFileResult run(XmlReader& xml, const XmlReader::Source& source) {
        LogFileResult r = xml.read(source, *this);
        if (!r) {
            return r;
        }
        if (!sawRoot_) {
            return LogFileResult::failure(QStringLiteral("XML データパケットではありません"));
        }
        QString error;
        if (!packet_.resolved() && !packet_.resolve(&error)) {
            return LogFileResult::failure(error);
        }
        return LogFileResult::success();
    }

    bool startElement(XmlReader& xml, XmlName element,
                      std::span<const XmlAttribute> attributes) override {
        const std::string_view name = element.local;
        const int depth = xml.depth();
        if (depth == 1) {
            if (!isNameIgnoringCase(name, "DATAPACKET")) {
                xml.fail(QStringLiteral("XML データパケットではありません (ルート要素 <%1>)")
                             .arg(qstringOf(name)));
                return false;
            }
            sawRoot_ = true;
            return true;
        }
        if (depth == 2) {
            inMetadata_ = isNameIgnoringCase(name, "METADATA");
            inRowData_ = isNameIgnoringCase(name, "ROWDATA");
            return true;
        }
        if (depth == 3 && inMetadata_) {
            inFields_ = isNameIgnoringCase(name, "FIELDS");
            if (inFields_ && packet_.hasFields()) {
                xml.fail(QStringLiteral("フィールド定義が二つあります"));
                return false;
            }
            return true;
        }
        const bool row = depth == 3 && inRowData_ && isNameIgnoringCase(name, "ROW");
        const bool field = !row && depth == 4 && inFields_ && isNameIgnoringCase(name, "FIELD");
        if (!field && !row) {
            return true;
        }
        QString error;
        if (row ? packet_.addRow(attributes, &error) : packet_.addField(attributes, &error)) {
            return true;
        }
        xml.fail(error);
        return false;
    }

    bool endElement(XmlReader& xml, XmlName) override {
        if (xml.depth() == 2 && inFields_) {
            inFields_ = false;
        }
        return true;
    }

private:
    LogPacketRows packet_;
    bool sawRoot_ = false;
    bool inMetadata_ = false;
    bool inFields_ = false;
    bool inRowData_ = false;
};

QString describeOpenError(const QFileDevice& f) {
    if (!QFileInfo::exists(f.fileName())) {
        return QStringLiteral("ファイルがありません");
    }
    return f.errorString();
}

} // namespace

QString xmlAttributeName(const QString& fieldName) {
    QString out;
    out.reserve(fieldName.size() + 1);
    for (const QChar c : fieldName) {
        out += isNameChar(c) ? c : QChar(u'_');
    }
    if (out.isEmpty() || !isNameStart(out[0])) {
        out.prepend(u'_');
    }
    return out;
}

LogFileResult writeLogXml(const LogTable& table, QIODevice& out) {
    std::string prefixes[kFieldCount]; // ` name="` of each field's attribute
    QByteArray head("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"
                    "<METADATA><FIELDS>");
    for (int f = 0; f < kFieldCount; ++f) {
        const QString name = QLatin1String(kLogFieldNames[f]);
        const QString attr = xmlAttributeName(name);
        prefixes[f] = ' ' + attr.toStdString() + "=\"";
        head.append("<FIELD");
        if (attr != name) {
            appendAttribute(head, "fieldname", name);
        }
        appendAttribute(head, "attrname", attr);
        appendAttribute(head, "fieldtype", QString::fromLatin1(kFieldTypes[f]));
        if (f != kNoField && f != kNValField) {
            appendAttribute(head, "WIDTH", kLogTextFieldWidth);
        }
        head.append("/>");
    }
    head.append("</FIELDS><PARAMS/></METADATA><ROWDATA>");

    PacketOut packet(out);
    char* p = packet.room(static_cast<std::size_t>(head.size()));
    if (!p || !packet.wrote(putBytes(p, head.constData(), static_cast<std::size_t>(head.size())))) {
        return LogFileResult::failure(out.errorString());
    }
    // Each text escaped once, as texts repeat from row to row.
    const LogRowBuffer& held = table.store();
    const qsizetype n = held.rowCount();
    EscapedTexts texts(held);
    for (qsizetype i = 0; i < n; ++i) {
        p = packet.room(PacketOut::kRowBytes);
        if (!p) {
            return LogFileResult::failure(out.errorString());
        }
        p = putBytes(p, "<ROW", 4);
        if (const std::optional<qint32> no = held.no(i)) {
            p = putNumber(p, prefixes[kNoField], *no);
        }
        for (int t = 1; t <= 5; ++t) {
            if (const std::uint32_t number = held.textNumber(i, t); number != 0) {
                p = putBytes(p, prefixes[t]);
                p = texts.put(p, number);
                *p++ = '"';
            }
        }
        if (const std::optional<qint32> nval = held.nval(i)) {
            p = putNumber(p, prefixes[kNValField], *nval);
        }
        if (!packet.wrote(putBytes(p, "/>", 2))) {
            return LogFileResult::failure(out.errorString());
        }
    }
    constexpr char kTail[] = "</ROWDATA></DATAPACKET>";
    p = packet.room(sizeof kTail);
    if (!p || !packet.wrote(putBytes(p, kTail, sizeof kTail - 1)) || !packet.flush()) {
        return LogFileResult::failure(out.errorString());
    }
    return LogFileResult::success();
}

LogFileResult saveLogXml(const LogTable& table, const QString& fileName) {
    return writeFileAtomically(fileName,
                               [&table](QIODevice& out) { return writeLogXml(table, out); });
}

LogFileResult readLogXml(QIODevice& in, LogRowBuffer& rows) {
    rows.clear();
    XmlReader xml;
    PacketReader reader(rows);
    LogFileResult r;
    try {
        r = reader.run(xml, [&in](char* b, qint64 max) { return in.read(b, max); });
    } catch (const std::bad_alloc&) {
        r = LogFileResult::failure(QStringLiteral("メモリが足りません"));
    }
    if (!r) {
        rows.clear();
    }
    return r;
}

LogFileResult loadLogXml(const QString& fileName, LogTable& table) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return LogFileResult::failure(describeOpenError(file));
    }
    LogRowBuffer rows;
    LogFileResult r = readLogXml(file, rows);
    if (r) {
        table.replaceRows(std::move(rows));
    }
    return r;
}

} // namespace velkor
