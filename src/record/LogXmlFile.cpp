#include "record/LogXmlFile.h"

#include "record/AtomicFile.h"
#include "record/BoundedXmlReader.h"
#include "record/LogCellText.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <unordered_map>
#include <vector>

namespace velkor {

namespace {

constexpr int kFieldCount = 7;
constexpr int kNoField = 0;
constexpr int kNValField = 6;
constexpr qint64 kFlushBytes = 1 << 20;
constexpr int kMaxFields = 1024;

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
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            switch (u) {
            case u'&': out.append("&amp;", 5); break;
            case u'<': out.append("&lt;", 4); break;
            case u'>': out.append("&gt;", 4); break;
            case u'"': out.append("&quot;", 6); break;
            case u'\t': out.append("&#9;", 4); break;
            case u'\n': out.append("&#10;", 5); break;
            case u'\r': out.append("&#13;", 5); break;
            default:
                if (u >= 0x20) {
                    out.append(static_cast<char>(u));
                }
            }
        } else if (u < 0x800) {
            out.append(static_cast<char>(0xC0 | (u >> 6)));
            out.append(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (QChar::isHighSurrogate(u)) {
            if (i + 1 < n && text[i + 1].isLowSurrogate()) {
                const char32_t cp = QChar::surrogateToUcs4(u, text[i + 1].unicode());
                ++i;
                out.append(static_cast<char>(0xF0 | (cp >> 18)));
                out.append(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
                out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
                out.append(static_cast<char>(0x80 | (cp & 0x3F)));
            }
        } else if (QChar::isLowSurrogate(u) || u >= 0xFFFE) {
            // not a character XML can hold
        } else {
            out.append(static_cast<char>(0xE0 | (u >> 12)));
            out.append(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.append(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
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
    out.append(QByteArray::number(value));
    out.append('"');
}

bool sameName(QStringView a, const char* b) {
    const QLatin1String l(b);
    return (a.size() == l.size() && a == l) || a.compare(l, Qt::CaseInsensitive) == 0;
}

// One field of the packet being read.
struct PacketField {
    QString attrName; // the ROW attribute that holds it
    int target = -1;  // the table field it feeds, or -1
};

class PacketReader {
public:
    PacketReader(BoundedXmlReader& xml, LogRowBuffer& rows) : xml_(xml), rows_(rows) {}

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
        if (!resolved_ && !resolveFields()) {
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
            if (inFields_ && (resolved_ || !fields_.empty())) {
                xml_.fail(QStringLiteral("フィールド定義が二つあります"));
                return false;
            }
            return true;
        }
        if (depth == 4 && inFields_ && sameName(name, "FIELD")) {
            return addField();
        }
        if (depth == 3 && inRowData_ && sameName(name, "ROW")) {
            return addRow();
        }
        return true;
    }

    bool addField() {
        if (static_cast<int>(fields_.size()) >= kMaxFields) {
            xml_.fail(QStringLiteral("フィールドが多すぎます (上限 %1)").arg(kMaxFields));
            return false;
        }
        const auto attrs = xml_.xml().attributes();
        PacketField f;
        QString logicalName;
        for (const auto& a : attrs) {
            if (sameName(a.name(), "attrname")) {
                f.attrName = a.value().toString();
            } else if (sameName(a.name(), "fieldname")) {
                logicalName = a.value().toString();
            }
        }
        if (f.attrName.isEmpty()) {
            xml_.fail(QStringLiteral("フィールドに名前 (attrname) がありません"));
            return false;
        }
        if (logicalName.isEmpty()) {
            logicalName = f.attrName;
        }
        f.target = LogTable::fieldIndex(logicalName);
        for (const PacketField& other : fields_) {
            if (f.target >= 0 && other.target == f.target) {
                xml_.fail(QStringLiteral("フィールド %1 が二つあります").arg(logicalName));
                return false;
            }
        }
        fields_.push_back(std::move(f));
        return true;
    }

    bool resolveFields() {
        resolved_ = true;
        if (fields_.empty()) {
            xml_.fail(QStringLiteral("フィールド定義 (METADATA/FIELDS) がありません"));
            return false;
        }
        QStringList missing;
        for (int t = 0; t < kFieldCount; ++t) {
            bool found = false;
            for (const PacketField& f : fields_) {
                found = found || f.target == t;
            }
            if (!found && t != kNValField) {
                missing << QLatin1String(kLogFieldNames[t]);
            }
        }
        if (!missing.isEmpty()) {
            xml_.fail(QStringLiteral("このログのフィールドがありません: %1")
                          .arg(missing.join(QLatin1String(", "))));
            return false;
        }
        if (fields_.size() > 16) {
            for (std::size_t i = 0; i < fields_.size(); ++i) {
                byAttr_.emplace(fields_[i].attrName, static_cast<int>(i));
            }
        }
        return true;
    }

    int fieldOfAttribute(QStringView attr, qsizetype position) const {
        if (position < static_cast<qsizetype>(fields_.size()) &&
            fields_[static_cast<std::size_t>(position)].attrName == attr) {
            return static_cast<int>(position);
        }
        if (!byAttr_.empty()) {
            const auto it = byAttr_.find(attr);
            return it == byAttr_.end() ? -1 : it->second;
        }
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            if (fields_[i].attrName == attr) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    bool addRow() {
        if (!resolved_ && !resolveFields()) {
            return false;
        }
        const auto attrs = xml_.xml().attributes();
        int rowState = 0;
        std::optional<qint32> ints[kFieldCount];
        QStringView texts[kFieldCount];
        bool present[kFieldCount] = {};
        for (qsizetype i = 0; i < attrs.size(); ++i) {
            const QStringView name = attrs[i].name();
            const QStringView value = attrs[i].value();
            const int f = fieldOfAttribute(name, i - (rowState != 0 ? 1 : 0));
            if (f < 0) {
                if (name == u"RowState") {
                    bool ok = false;
                    rowState = value.trimmed().toInt(&ok);
                    if (!ok) {
                        xml_.fail(QStringLiteral("RowState %1 が数ではありません").arg(value));
                        return false;
                    }
                }
                continue;
            }
            const int t = fields_[static_cast<std::size_t>(f)].target;
            if (t < 0) {
                continue;
            }
            present[t] = true;
            if (t == kNoField || t == kNValField) {
                if (!integerText(value, &ints[t])) {
                    xml_.fail(QStringLiteral("%1 の値 \"%2\" が整数ではありません")
                                  .arg(QLatin1String(kLogFieldNames[t]), value.left(40)));
                    return false;
                }
            } else {
                texts[t] = value;
            }
        }

        constexpr int kDeleted = 0x2;
        constexpr int kModified = 0x8;
        if (rowState & kDeleted) {
            lastDeleted_ = true;
            return true;
        }
        if (rowState & kModified) {
            // The new values of the row before; fields not given keep theirs.
            if (lastDeleted_) {
                return true;
            }
            if (rows_.rowCount() == 0) {
                xml_.fail(QStringLiteral("変更された行 (RowState %1) の元の行がありません")
                              .arg(rowState));
                return false;
            }
            LogRecord r = rows_.row(rows_.rowCount() - 1);
            QString* fields[kFieldCount] = {nullptr, &r.Time, &r.DCAC, &r.Value,
                                            &r.Unit, &r.Auto, nullptr};
            for (int t = 0; t < kFieldCount; ++t) {
                if (!present[t]) {
                    continue;
                }
                if (t == kNoField) {
                    r.No = ints[t];
                } else if (t == kNValField) {
                    r.NVal = ints[t];
                } else {
                    *fields[t] = texts[t].toString();
                }
            }
            rows_.truncate(rows_.rowCount() - 1);
            rows_.append(r);
            return true;
        }
        lastDeleted_ = false;
        if (rows_.rowCount() >= kMaxXmlLogRows) {
            xml_.fail(QStringLiteral("行が多すぎます (上限 %1 行)").arg(kMaxXmlLogRows));
            return false;
        }
        rows_.append(ints[kNoField], {texts[1], texts[2], texts[3], texts[4], texts[5]},
                     ints[kNValField]);
        return true;
    }

    struct ViewHash {
        using is_transparent = void;
        std::size_t operator()(QStringView v) const noexcept { return qHash(v); }
    };
    struct ViewEqual {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const noexcept { return a == b; }
    };

    BoundedXmlReader& xml_;
    LogRowBuffer& rows_;
    std::vector<PacketField> fields_;
    std::unordered_map<QString, int, ViewHash, ViewEqual> byAttr_;
    bool sawRoot_ = false;
    bool inMetadata_ = false;
    bool inFields_ = false;
    bool inRowData_ = false;
    bool resolved_ = false;
    bool lastDeleted_ = false;
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
