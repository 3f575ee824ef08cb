#include "logfiles/LogPacketRows.h"

#include "logfiles/LogCellText.h"
#include "logfiles/LogXmlFile.h"

#include <QStringList>
#include <charconv>
#include <cstring>

namespace velkor {

namespace {

constexpr int kFieldCount = 7;
constexpr int kNoField = 0;
constexpr int kNValField = 6;
constexpr int kMaxFields = 1024;

bool isAscii(const QString& s) {
    for (const QChar c : s) {
        if (c.unicode() >= 0x80) {
            return false;
        }
    }
    return true;
}

// What the row rules need of a value in either form.
QString textOf(QStringView v) {
    return v.toString();
}

QString textOf(QLatin1String v) {
    return QString(v);
}

bool integerOf(QStringView v, std::optional<qint32>* out) {
    return integerText(v, out);
}

bool integerOf(QLatin1String v, std::optional<qint32>* out) {
    // Plain digits with an optional minus, as nearly every number in a log
    // is written, read at once; anything else as the table reads it.
    const char* p = v.data();
    const char* end = p + v.size();
    if (v.size() > 0 && v.size() <= 11) {
        qint32 n = 0;
        const auto r = std::from_chars(p, end, n);
        if (r.ec == std::errc() && r.ptr == end && (*p == '-' || (*p >= '0' && *p <= '9'))) {
            *out = n;
            return true;
        }
    }
    char16_t wide[32];
    if (v.size() > 32) {
        return integerText(QString(v), out);
    }
    for (qsizetype i = 0; i < v.size(); ++i) {
        wide[i] = static_cast<unsigned char>(v[i].toLatin1());
    }
    return integerText(QStringView(wide, v.size()), out);
}

bool isRowState(QStringView name) {
    return name == u"RowState";
}

bool isRowState(QLatin1String name) {
    return name == QLatin1String("RowState");
}

bool isAsciiText(std::string_view text) {
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ULL) {
            return false;
        }
    }
    for (; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

QLatin1String latin1Of(std::string_view ascii) {
    return QLatin1String(ascii.data(), static_cast<qsizetype>(ascii.size()));
}

} // namespace

bool isNameIgnoringCase(std::string_view given, std::string_view name) {
    if (given.size() != name.size()) {
        return false;
    }
    for (std::size_t i = 0; i < given.size(); ++i) {
        const char a = given[i];
        const char b = name[i];
        if (a != b && !((a | 0x20) == (b | 0x20) && (b | 0x20) >= 'a' && (b | 0x20) <= 'z')) {
            return false;
        }
    }
    return true;
}

bool LogPacketRows::addField(std::span<const XmlAttribute> attributes, QString* error) {
    if (static_cast<int>(fields_.size()) >= kMaxFields) {
        *error = QStringLiteral("フィールドが多すぎます (上限 %1)").arg(kMaxFields);
        return false;
    }
    Field f;
    QString logicalName;
    for (const XmlAttribute& a : attributes) {
        if (isNameIgnoringCase(a.name.local, "attrname")) {
            f.attrName = qstringOf(a.value);
        } else if (isNameIgnoringCase(a.name.local, "fieldname")) {
            logicalName = qstringOf(a.value);
        }
    }
    if (f.attrName.isEmpty()) {
        *error = QStringLiteral("フィールドに名前 (attrname) がありません");
        return false;
    }
    if (logicalName.isEmpty()) {
        logicalName = f.attrName;
    }
    f.target = LogTable::fieldIndex(logicalName);
    for (const Field& other : fields_) {
        if (f.target >= 0 && other.target == f.target) {
            *error = QStringLiteral("フィールド %1 が二つあります").arg(logicalName);
            return false;
        }
    }
    if (isAscii(f.attrName)) {
        f.asciiName = f.attrName.toLatin1();
    }
    fields_.push_back(std::move(f));
    return true;
}

bool LogPacketRows::resolve(QString* error) {
    resolved_ = true;
    if (fields_.empty()) {
        *error = QStringLiteral("フィールド定義 (METADATA/FIELDS) がありません");
        return false;
    }
    QStringList missing;
    for (int t = 0; t < kFieldCount; ++t) {
        bool found = false;
        for (const Field& f : fields_) {
            found = found || f.target == t;
        }
        if (!found && t != kNValField) {
            missing << QLatin1String(kLogFieldNames[t]);
        }
    }
    if (!missing.isEmpty()) {
        *error = QStringLiteral("このログのフィールドがありません: %1")
                     .arg(missing.join(QLatin1String(", ")));
        return false;
    }
    if (fields_.size() > 16) {
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            byAttr_.emplace(fields_[i].attrName, static_cast<int>(i));
        }
    }
    return true;
}

int LogPacketRows::fieldOfAttribute(QStringView attr, qsizetype position) const {
    if (position >= 0 && position < static_cast<qsizetype>(fields_.size())) {
        // The usual case, fields in the order they were defined, compared inline.
        const QString& guess = fields_[static_cast<std::size_t>(position)].attrName;
        if (guess.size() == attr.size() &&
            std::memcmp(guess.utf16(), attr.utf16(), static_cast<std::size_t>(attr.size()) * 2) ==
                0) {
            return static_cast<int>(position);
        }
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

int LogPacketRows::fieldOfAttribute(QLatin1String attr, qsizetype position) const {
    if (position >= 0 && position < static_cast<qsizetype>(fields_.size())) {
        const QByteArray& guess = fields_[static_cast<std::size_t>(position)].asciiName;
        if (guess.size() == attr.size() &&
            std::memcmp(guess.constData(), attr.data(), static_cast<std::size_t>(attr.size())) ==
                0) {
            return static_cast<int>(position);
        }
    }
    if (!byAttr_.empty()) {
        const auto it = byAttr_.find(QString(attr));
        return it == byAttr_.end() ? -1 : it->second;
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].asciiName == QByteArrayView(attr.data(), attr.size())) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool LogPacketRows::addRow(std::span<const XmlAttribute> attributes, QString* error) {
    bool ascii = true;
    for (const XmlAttribute& a : attributes) {
        ascii = ascii && isAsciiText(a.name.local) && isAsciiText(a.value);
    }
    if (ascii) {
        ascii_.clear();
        for (const XmlAttribute& a : attributes) {
            ascii_.push_back({latin1Of(a.name.local), latin1Of(a.value)});
        }
        return addRowOf(std::span<const AsciiAttribute>(ascii_), error);
    }
    wideTexts_.clear();
    for (const XmlAttribute& a : attributes) {
        wideTexts_.push_back(qstringOf(a.name.local));
        wideTexts_.push_back(qstringOf(a.value));
    }
    wide_.clear();
    for (std::size_t i = 0; i < wideTexts_.size(); i += 2) {
        wide_.push_back({wideTexts_[i], wideTexts_[i + 1]});
    }
    return addRowOf(std::span<const Attribute>(wide_), error);
}

template <class Attr>
bool LogPacketRows::addRowOf(std::span<const Attr> attributes, QString* error) {
    using View = decltype(Attr::value);
    if (!resolved_ && !resolve(error)) {
        return false;
    }
    int rowState = 0;
    std::optional<qint32> ints[kFieldCount];
    View texts[kFieldCount];
    bool present[kFieldCount] = {};
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        const View name = attributes[i].name;
        const View value = attributes[i].value;
        const int f = fieldOfAttribute(name, static_cast<qsizetype>(i) - (rowState != 0 ? 1 : 0));
        if (f < 0) {
            if (isRowState(name)) {
                bool ok = false;
                const QString state = textOf(value);
                rowState = QStringView(state).trimmed().toInt(&ok);
                if (!ok) {
                    *error = QStringLiteral("RowState %1 が数ではありません").arg(state);
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
            if (!integerOf(value, &ints[t])) {
                *error = QStringLiteral("%1 の値 \"%2\" が整数ではありません")
                             .arg(QLatin1String(kLogFieldNames[t]), textOf(value.left(40)));
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
            *error =
                QStringLiteral("変更された行 (RowState %1) の元の行がありません").arg(rowState);
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
                *fields[t] = textOf(texts[t]);
            }
        }
        rows_.truncate(rows_.rowCount() - 1);
        rows_.append(r);
        return true;
    }
    lastDeleted_ = false;
    if (rows_.rowCount() >= kMaxXmlLogRows) {
        *error = QStringLiteral("行が多すぎます (上限 %1 行)").arg(kMaxXmlLogRows);
        return false;
    }
    rows_.append(ints[kNoField],
                 std::array<View, 5>{texts[1], texts[2], texts[3], texts[4], texts[5]},
                 ints[kNValField]);
    return true;
}

} // namespace velkor
