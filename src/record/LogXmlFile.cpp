#include "record/LogXmlFile.h"

#include "disk/AtomicFile.h"
#include "record/BoundedXmlReader.h"
#include "record/LogCellText.h"
#include "record/LogPacketRows.h"
#include "record/LogPacketScanner.h"

#include <QFile>
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

// Writes `text` at `p` as the value of a double-quoted attribute, in UTF-8,
// and returns the end of what it wrote (at most six bytes a character).
// Tab, line feed and carriage return are written as character references,
// which survive the reader's attribute normalisation; characters XML cannot
// carry at all (the other control characters, unpaired surrogates,
// U+FFFE/U+FFFF) are left out.
char* escapeAscii(char* p, char16_t u) {
    auto put = [&p](const char* entity, int size) {
        std::memcpy(p, entity, static_cast<std::size_t>(size));
        p += size;
    };
    switch (u) {
    case u'&': put("&amp;", 5); break;
    case u'<': put("&lt;", 4); break;
    case u'>': put("&gt;", 4); break;
    case u'"': put("&quot;", 6); break;
    case u'\t': put("&#9;", 4); break;
    case u'\n': put("&#10;", 5); break;
    case u'\r': put("&#13;", 5); break;
    default:
        if (u >= 0x20) {
            *p++ = static_cast<char>(u);
        }
    }
    return p;
}

char* escapeUtf16(char* p, const char16_t* s, qsizetype n) {
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = s[i];
        if (u < 0x80) {
            p = escapeAscii(p, u);
        } else if (u < 0x800) {
            *p++ = static_cast<char>(0xC0 | (u >> 6));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u)) {
            if (i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
                const char32_t cp = QChar::surrogateToUcs4(u, s[i + 1]);
                ++i;
                *p++ = static_cast<char>(0xF0 | (cp >> 18));
                *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                *p++ = static_cast<char>(0x80 | (cp & 0x3F));
            }
        } else if (QChar::isLowSurrogate(u) || u >= 0xFFFE) {
            // not a character XML can hold
        } else {
            *p++ = static_cast<char>(0xE0 | (u >> 12));
            *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return p;
}

char* escapeLatin1(char* p, const unsigned char* s, qsizetype n) {
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = s[i];
        if (c >= 0x80) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0x20 && c != '&' && c != '<' && c != '>' && c != '"') {
            *p++ = static_cast<char>(c);
        } else {
            p = escapeAscii(p, c);
        }
    }
    return p;
}

char* escapeHeld(char* p, const LogRowBuffer::HeldText& text) {
    if (!text.wide) {
        return escapeLatin1(p, text.chars, text.size);
    }
    std::u16string chars(static_cast<std::size_t>(text.size), u'\0');
    std::memcpy(chars.data(), text.chars, chars.size() * 2);
    return escapeUtf16(p, chars.data(), text.size);
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
    char* end = escapeUtf16(out.data() + before, reinterpret_cast<const char16_t*>(text.utf16()),
                            text.size());
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

bool sameName(QStringView a, const char* b) {
    const QLatin1String l(b);
    return (a.size() == l.size() && a == l) || a.compare(l, Qt::CaseInsensitive) == 0;
}

class PacketReader {
public:
    PacketReader(BoundedXmlReader& xml, LogRowBuffer& rows) : xml_(xml), packet_(rows) {}

    LogFileResult run() {
        for (;;) {
            const auto token = xml_.readNext();
            if (token == QXmlStreamReader::Invalid) {
                return LogFileResult::failure(xml_.error());
            }
            if (token == QXmlStreamReader::EndDocument) {
                break;
            }
            if (token == QXmlStreamReader::StartElement && !startElement()) {
                return LogFileResult::failure(xml_.error());
            }
            if (token == QXmlStreamReader::EndElement && xml_.depth() == 2 && inFields_) {
                inFields_ = false;
            }
        }
        if (!sawRoot_) {
            return LogFileResult::failure(QStringLiteral("XML データパケットではありません"));
        }
        QString error;
        if (!packet_.resolved() && !packet_.resolve(&error)) {
            xml_.fail(error);
            return LogFileResult::failure(xml_.error());
        }
        return LogFileResult::success();
    }

private:
    bool startElement() {
        const QXmlStreamReader& x = xml_.xml();
        const QStringView name = x.name();
        const int depth = xml_.depth();
        if (depth == 1) {
            if (!sameName(name, "DATAPACKET")) {
                xml_.fail(
                    QStringLiteral("XML データパケットではありません (ルート要素 <%1>)").arg(name));
                return false;
            }
            sawRoot_ = true;
            return true;
        }
        if (depth == 2) {
            inMetadata_ = sameName(name, "METADATA");
            inRowData_ = sameName(name, "ROWDATA");
            return true;
        }
        if (depth == 3 && inMetadata_) {
            inFields_ = sameName(name, "FIELDS");
            if (inFields_ && packet_.hasFields()) {
                xml_.fail(QStringLiteral("フィールド定義が二つあります"));
                return false;
            }
            return true;
        }
        const bool field = depth == 4 && inFields_ && sameName(name, "FIELD");
        const bool row = depth == 3 && inRowData_ && sameName(name, "ROW");
        if (!field && !row) {
            return true;
        }
        attributes_.clear();
        for (const QXmlStreamAttribute& a : x.attributes()) {
            attributes_.push_back({a.name(), a.value()});
        }
        QString error;
        if (field ? packet_.addField(attributes_, &error) : packet_.addRow(attributes_, &error)) {
            return true;
        }
        xml_.fail(error);
        return false;
    }

    BoundedXmlReader& xml_;
    LogPacketRows packet_;
    std::vector<LogPacketRows::Attribute> attributes_;
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
    const qsizetype n = table.rowCount();
    if (const auto* held = dynamic_cast<const LogRowBuffer*>(&table)) {
        // The compact form: each text escaped once.
        EscapedTexts texts(*held);
        for (qsizetype i = 0; i < n; ++i) {
            p = packet.room(PacketOut::kRowBytes);
            if (!p) {
                return LogFileResult::failure(out.errorString());
            }
            p = putBytes(p, "<ROW", 4);
            if (const std::optional<qint32> no = held->no(i)) {
                p = putNumber(p, prefixes[kNoField], *no);
            }
            for (int t = 1; t <= 5; ++t) {
                if (const std::uint32_t number = held->textNumber(i, t); number != 0) {
                    p = putBytes(p, prefixes[t]);
                    p = texts.put(p, number);
                    *p++ = '"';
                }
            }
            if (const std::optional<qint32> nval = held->nval(i)) {
                p = putNumber(p, prefixes[kNValField], *nval);
            }
            if (!packet.wrote(putBytes(p, "/>", 2))) {
                return LogFileResult::failure(out.errorString());
            }
        }
    } else {
        for (qsizetype i = 0; i < n; ++i) {
            const LogRecord r = table.row(i);
            const QString* texts[5] = {&r.Time, &r.DCAC, &r.Value, &r.Unit, &r.Auto};
            std::size_t room = PacketOut::kRowBytes;
            for (const QString* t : texts) {
                room += static_cast<std::size_t>(t->size()) * 6;
            }
            p = packet.room(room);
            if (!p) {
                return LogFileResult::failure(out.errorString());
            }
            p = putBytes(p, "<ROW", 4);
            if (r.No) {
                p = putNumber(p, prefixes[kNoField], *r.No);
            }
            for (int t = 0; t < 5; ++t) {
                if (!texts[t]->isEmpty()) {
                    p = putBytes(p, prefixes[t + 1]);
                    p = escapeUtf16(p, reinterpret_cast<const char16_t*>(texts[t]->utf16()),
                                    texts[t]->size());
                    *p++ = '"';
                }
            }
            if (r.NVal) {
                p = putNumber(p, prefixes[kNValField], *r.NVal);
            }
            if (!packet.wrote(putBytes(p, "/>", 2))) {
                return LogFileResult::failure(out.errorString());
            }
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
    // A file laid out as this program writes it is read straight from its
    // bytes; any other is read again from its start by the general reader.
    if (!in.isSequential()) {
        const qint64 start = in.pos();
        try {
            LogPacketRows packet(rows);
            if (scanLogPacket(in, packet) == PacketScan::Read) {
                return LogFileResult::success();
            }
        } catch (const std::bad_alloc&) {
            rows.clear();
            return LogFileResult::failure(QStringLiteral("メモリが足りません"));
        }
        rows.clear();
        if (!in.seek(start)) {
            return LogFileResult::failure(in.errorString());
        }
    }
    BoundedXmlReader xml([&in](char* b, qint64 max) { return in.read(b, max); }, {});
    PacketReader reader(xml, rows);
    LogFileResult r;
    try {
        r = reader.run();
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
        if (auto* buffer = dynamic_cast<LogRowBuffer*>(&table)) {
            *buffer = std::move(rows); // the same form: taken over whole
        } else {
            rows.replaceRowsOf(table);
        }
    }
    return r;
}

} // namespace velkor
