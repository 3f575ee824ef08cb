#include "record/LogXmlFile.h"

#include "record/AtomicFile.h"
#include "record/BoundedXmlReader.h"
#include "record/LogCellText.h"
#include "record/LogPacketRows.h"
#include "record/LogPacketScanner.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <charconv>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace velkor {

namespace {

constexpr int kFieldCount = 7;
constexpr int kNoField = 0;
constexpr int kNValField = 6;
constexpr qint64 kFlushBytes = 1 << 20;

// Field types of the table, in the engine's words.
constexpr const char* kFieldTypes[kFieldCount] = {"i4",     "string", "string", "string",
                                                  "string", "string", "i4"};

bool isNameStart(QChar c) {
    return c.isLetter() || c == u'_' || c == u':';
}

bool isNameChar(QChar c) {
    return isNameStart(c) || c.isDigit() || c == u'-' || c == u'.' || c.isMark();
}

// Appends `text` as the value of a double-quoted attribute, in UTF-8. Tab,
// line feed and carriage return are written as character references, which
// survive the reader's attribute normalisation; characters XML cannot carry
// at all (the other control characters, unpaired surrogates, U+FFFE/U+FFFF)
// are left out.
void appendEscaped(QByteArray& out, QStringView text) {
    // Room for the worst case (every character an entity of at most six
    // bytes) is made once; the bytes are then written through a pointer and
    // the array cut to what was written.
    const qsizetype n = text.size();
    const qsizetype before = out.size();
    out.resize(before + n * 6);
    char* p = out.data() + before;
    const char16_t* s = reinterpret_cast<const char16_t*>(text.data());
    auto put = [&p](const char* entity, int size) {
        std::memcpy(p, entity, static_cast<std::size_t>(size));
        p += size;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = s[i];
        if (u < 0x80) {
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
    out.resize(p - out.constData());
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
    QByteArray attrNames[kFieldCount];
    QByteArray buf;
    buf.reserve(kFlushBytes + 4096);
    buf.append("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"
               "<METADATA><FIELDS>");
    for (int f = 0; f < kFieldCount; ++f) {
        const QString name = QLatin1String(kLogFieldNames[f]);
        const QString attr = xmlAttributeName(name);
        attrNames[f] = attr.toUtf8();
        buf.append("<FIELD");
        if (attr != name) {
            appendAttribute(buf, "fieldname", name);
        }
        appendAttribute(buf, "attrname", attr);
        appendAttribute(buf, "fieldtype", QString::fromLatin1(kFieldTypes[f]));
        if (f != kNoField && f != kNValField) {
            appendAttribute(buf, "WIDTH", kLogTextFieldWidth);
        }
        buf.append("/>");
    }
    buf.append("</FIELDS><PARAMS/></METADATA><ROWDATA>");

    auto flush = [&]() {
        if (out.write(buf) != buf.size()) {
            return false;
        }
        buf.clear();
        return true;
    };
    const qsizetype n = table.rowCount();
    for (qsizetype i = 0; i < n; ++i) {
        const LogRecord r = table.row(i);
        buf.append("<ROW");
        if (r.No) {
            appendAttribute(buf, attrNames[0], *r.No);
        }
        const QString* texts[5] = {&r.Time, &r.DCAC, &r.Value, &r.Unit, &r.Auto};
        for (int t = 0; t < 5; ++t) {
            if (!texts[t]->isEmpty()) {
                appendAttribute(buf, attrNames[t + 1], *texts[t]);
            }
        }
        if (r.NVal) {
            appendAttribute(buf, attrNames[kNValField], *r.NVal);
        }
        buf.append("/>");
        if (buf.size() >= kFlushBytes && !flush()) {
            return LogFileResult::failure(out.errorString());
        }
    }
    buf.append("</ROWDATA></DATAPACKET>");
    if (!flush()) {
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
        rows.replaceRowsOf(table);
    }
    return r;
}

} // namespace velkor
