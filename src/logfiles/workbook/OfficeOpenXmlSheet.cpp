// The first worksheet of an Office Open XML workbook: the package's
// relationships lead to the workbook part, the workbook to its first sheet,
// its shared strings and its styles (which number formats show dates and
// times); the sheet's cells are then streamed to the sink.
#include "logfiles/workbook/WorkbookSheet.h"
#include "logfiles/workbook/ZipArchive.h"
#include "logfiles/xml/XmlReader.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <charconv>
#include <climits>
#include <string>
#include <functional>
#include <vector>

namespace velkor {

namespace {

struct Relationship {
    QString target;
    QString type;
};
using Relationships = QHash<QString, Relationship>;

// Reads one part of the package through the XML reader.
LogFileResult readPart(const ZipArchive& zip, const QString& name, qint64 maxBytes,
                       XmlContentHandler& handler) {
    QString error;
    auto entry = zip.openEntry(name, maxBytes, &error);
    if (!entry) {
        return LogFileResult::failure(error);
    }
    XmlLimits limits;
    limits.maxBytes = maxBytes;
    XmlReader xml(limits);
    const LogFileResult r =
        xml.read([&entry](char* b, qint64 max) { return entry->read(b, max); }, handler);
    if (!r) {
        return LogFileResult::failure(entry->error().isEmpty()
                                          ? QStringLiteral("%1: %2").arg(name, r.reason)
                                          : entry->error());
    }
    return r;
}

// A part's start tags, for the small parts that need nothing else.
class StartTags final : public XmlContentHandler {
public:
    using Start = std::function<bool(XmlReader&, std::string_view, std::span<const XmlAttribute>)>;
    using End = std::function<void(std::string_view)>;
    explicit StartTags(Start start, End end = {}) : start_(std::move(start)), end_(std::move(end)) {}

    bool startElement(XmlReader& xml, XmlName name,
                      std::span<const XmlAttribute> attributes) override {
        return start_(xml, name.local, attributes);
    }
    bool endElement(XmlReader&, XmlName name) override {
        if (end_) {
            end_(name.local);
        }
        return true;
    }

private:
    Start start_;
    End end_;
};

// The value of the attribute of that local name (empty when there is none).
std::string_view attribute(std::span<const XmlAttribute> attributes, std::string_view name) {
    for (const XmlAttribute& a : attributes) {
        if (a.name.local == name) {
            return a.value;
        }
    }
    return {};
}

// A whole number in ASCII digits, with an optional sign.
bool parseInteger(std::string_view v, long long* out) {
    if (!v.empty() && v[0] == '+') {
        v.remove_prefix(1);
    }
    const auto r = std::from_chars(v.data(), v.data() + v.size(), *out);
    return !v.empty() && r.ec == std::errc() && r.ptr == v.data() + v.size();
}

int integerOr(std::string_view v, int otherwise) {
    long long n = 0;
    return parseInteger(v, &n) && n >= INT_MIN && n <= INT_MAX ? static_cast<int>(n) : otherwise;
}

// The text without the white space XML knows around it.
std::string_view trimmed(std::string_view v) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!v.empty() && blank(v.front())) {
        v.remove_prefix(1);
    }
    while (!v.empty() && blank(v.back())) {
        v.remove_suffix(1);
    }
    return v;
}

// How many UTF-16 units a UTF-8 text takes.
qsizetype utf16Length(std::string_view utf8) {
    qsizetype n = 0;
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        n += (b & 0xC0) != 0x80 ? 1 : 0;
        n += b >= 0xF0 ? 1 : 0;
    }
    return n;
}

// The part a relationship of `source` points at, as a path in the package.
QString resolveTarget(const QString& source, const QString& target) {
    if (target.startsWith(u'/')) {
        return target.mid(1);
    }
    QStringList parts = source.split(u'/');
    parts.removeLast();
    for (const QString& p : target.split(u'/')) {
        if (p == QLatin1String("..")) {
            if (!parts.isEmpty()) {
                parts.removeLast();
            }
        } else if (!p.isEmpty() && p != QLatin1String(".")) {
            parts << p;
        }
    }
    return parts.join(u'/');
}

QString relationshipsOf(const QString& part) {
    const qsizetype slash = part.lastIndexOf(u'/');
    return part.left(slash + 1) + QLatin1String("_rels/") + part.mid(slash + 1) +
           QLatin1String(".rels");
}

LogFileResult readRelationships(const ZipArchive& zip, const QString& part, Relationships* out) {
    const QString name = relationshipsOf(part);
    if (!zip.contains(name)) {
        return LogFileResult::success();
    }
    StartTags tags([&](XmlReader& xml, std::string_view name,
                       std::span<const XmlAttribute> attributes) {
        if (name == "Relationship") {
            if (out->size() > 100000) {
                xml.fail(QStringLiteral("関係が多すぎます"));
                return false;
            }
            out->insert(qstringOf(attribute(attributes, "Id")),
                        {qstringOf(attribute(attributes, "Target")),
                         qstringOf(attribute(attributes, "Type"))});
        }
        return true;
    });
    return readPart(zip, name, kMaxSmallPartBytes, tags);
}

QString targetOfType(const Relationships& rels, const QString& source, QLatin1String typeEnd) {
    for (auto it = rels.cbegin(); it != rels.cend(); ++it) {
        if (it->type.endsWith(typeEnd)) {
            return resolveTarget(source, it->target);
        }
    }
    return {};
}

// Whether a number format shows a date or a time: the built-in date and
// time formats, and format codes with a date or time field outside quoted
// text, escaped characters and bracketed sections (colours, conditions,
// locales; [h], [m], [s] count).
bool isDateTimeFormat(int id, const QString& code) {
    if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
        (id >= 50 && id <= 58)) {
        return true;
    }
    bool inQuote = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (inQuote) {
            inQuote = c != u'"';
            continue;
        }
        if (c == u'"') {
            inQuote = true;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype close = code.indexOf(u']', i);
            if (close < 0) {
                return false;
            }
            const QString inner = code.mid(i + 1, close - i - 1).toLower();
            if (!inner.isEmpty() &&
                (inner.count(u'h') == inner.size() || inner.count(u'm') == inner.size() ||
                 inner.count(u's') == inner.size())) {
                return true;
            }
            i = close;
        } else if (c == u';') {
            return false; // the first section decides
        } else {
            switch (c.toLower().unicode()) {
            case u'd':
            case u'm':
            case u'y':
            case u'h':
            case u's': return true;
            default: break;
            }
        }
    }
    return false;
}

LogFileResult readStyles(const ZipArchive& zip, const QString& part, std::vector<bool>* xfIsDate) {
    if (part.isEmpty() || !zip.contains(part)) {
        return LogFileResult::success();
    }
    QHash<int, QString> customFormats;
    bool inCellXfs = false;
    StartTags tags(
        [&](XmlReader& xml, std::string_view name, std::span<const XmlAttribute> attributes) {
            if (name == "numFmt") {
                customFormats.insert(integerOr(attribute(attributes, "numFmtId"), 0),
                                     qstringOf(attribute(attributes, "formatCode")));
            } else if (name == "cellXfs") {
                inCellXfs = true;
            } else if (inCellXfs && name == "xf") {
                if (static_cast<qsizetype>(xfIsDate->size()) >= kMaxCellFormats) {
                    xml.fail(QStringLiteral("セルの書式が多すぎます"));
                    return false;
                }
                const int id = integerOr(attribute(attributes, "numFmtId"), 0);
                xfIsDate->push_back(isDateTimeFormat(id, customFormats.value(id)));
            }
            return true;
        },
        [&](std::string_view name) {
            if (name == "cellXfs") {
                inCellXfs = false;
            }
        });
    return readPart(zip, part, kMaxSmallPartBytes, tags);
}

// The shared-string table held compactly: the texts one after another in
// one array, each found by where it ends.
class SharedStrings {
public:
    qsizetype size() const { return static_cast<qsizetype>(ends_.size()); }
    qsizetype chars() const { return static_cast<qsizetype>(chars_.size()); }
    QString at(qsizetype i) const {
        const std::size_t from = i == 0 ? 0 : ends_[static_cast<std::size_t>(i - 1)];
        const std::size_t to = ends_[static_cast<std::size_t>(i)];
        return QString(reinterpret_cast<const QChar*>(chars_.data() + from),
                       static_cast<qsizetype>(to - from));
    }
    void append(QStringView text) {
        chars_.insert(chars_.end(), text.utf16(), text.utf16() + text.size());
        ends_.push_back(static_cast<std::uint32_t>(chars_.size()));
    }

private:
    std::vector<char16_t> chars_;
    std::vector<std::uint32_t> ends_;
};

QString cellTextTooLong() {
    return QStringLiteral("セルの文字列が長すぎます (上限 %1 文字)").arg(kMaxCellTextChars);
}

// Shared strings: the text of each <si>, its runs joined, without the
// phonetic readings (<rPh>) that Japanese workbooks carry.
class SharedStringsReader final : public XmlContentHandler {
public:
    explicit SharedStringsReader(SharedStrings& strings) : strings_(strings) {}

    bool startElement(XmlReader&, XmlName name, std::span<const XmlAttribute>) override {
        if (name.local == "si") {
            inSi_ = true;
            text_.resize(0);
        } else if (name.local == "rPh") {
            ++inPhonetic_;
        } else if (name.local == "t") {
            ++inT_;
        }
        return true;
    }

    bool endElement(XmlReader& xml, XmlName name) override {
        if (name.local == "si") {
            if (strings_.size() >= kMaxSharedStrings ||
                strings_.chars() + text_.size() > kMaxSharedStringChars) {
                xml.fail(QStringLiteral("共有文字列が多すぎます (上限 %1 個, %2 文字)")
                             .arg(kMaxSharedStrings)
                             .arg(kMaxSharedStringChars));
                return false;
            }
            strings_.append(text_);
            inSi_ = false;
        } else if (name.local == "rPh") {
            --inPhonetic_;
        } else if (name.local == "t") {
            --inT_;
        }
        return true;
    }

    bool characters(XmlReader& xml, std::string_view chars) override {
        if (inSi_ && inT_ > 0 && inPhonetic_ == 0) {
            if (text_.size() + utf16Length(chars) > kMaxCellTextChars) {
                xml.fail(cellTextTooLong());
                return false;
            }
            text_ += qstringOf(chars);
        }
        return true;
    }

private:
    SharedStrings& strings_;
    QString text_;
    bool inSi_ = false;
    int inT_ = 0;
    int inPhonetic_ = 0;
};

LogFileResult readSharedStrings(const ZipArchive& zip, const QString& part,
                                SharedStrings* strings) {
    if (part.isEmpty() || !zip.contains(part)) {
        return LogFileResult::success();
    }
    SharedStringsReader reader(*strings);
    return readPart(zip, part, kMaxSharedStringsXmlBytes, reader);
}

// A number as a worksheet stores it ("12.3", "-1.5E-3").
bool parseStoredNumber(std::string_view v, double* out) {
    if (!v.empty() && v[0] == '+') {
        v.remove_prefix(1);
    }
    const auto r = std::from_chars(v.data(), v.data() + v.size(), *out);
    return !v.empty() && r.ec == std::errc() && r.ptr == v.data() + v.size();
}

// "B12" -> column 2, row 12. False when it is no cell reference.
bool parseCellReference(std::string_view ref, int* row, int* column) {
    std::size_t i = 0;
    int col = 0;
    while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        col = col * 26 + ((ref[i] & ~0x20) - 'A' + 1);
        if (col > kMaxSheetColumns) {
            return false;
        }
        ++i;
    }
    if (i == 0 || i == ref.size()) {
        return false;
    }
    long long r = 0;
    if (!parseInteger(ref.substr(i), &r) || r < 1 || r > kMaxSheetRows) {
        return false;
    }
    *row = static_cast<int>(r);
    *column = col;
    return true;
}

QString shown(std::string_view v, qsizetype chars) {
    return qstringOf(v).left(chars);
}

class SheetParser final : public XmlContentHandler {
public:
    SheetParser(SheetCellSink& sink, const SharedStrings& strings,
                const std::vector<bool>& xfIsDate)
        : sink_(sink), strings_(strings), xfIsDate_(xfIsDate) {}

    bool characters(XmlReader& xml, std::string_view text) override {
        if (!withinBudget(xml)) {
            return false;
        }
        if (inV_) {
            if (utf16Length(v_) + utf16Length(text) > kMaxCellTextChars) {
                xml.fail(cellTextTooLong());
                return false;
            }
            v_ += text;
            return true;
        }
        if (inIs_ && inT_ > 0 && inPhonetic_ == 0) {
            if (is_.size() + utf16Length(text) > kMaxCellTextChars) {
                xml.fail(cellTextTooLong());
                return false;
            }
            is_ += qstringOf(text);
        }
        return true;
    }

    bool startElement(XmlReader& xml, XmlName element,
                      std::span<const XmlAttribute> attributes) override {
        if (!withinBudget(xml)) {
            return false;
        }
        const std::string_view name = element.local;
        if (name == "c") {
            if (!inRow_) {
                xml.fail(QStringLiteral("行の外にセルがあります"));
                return false;
            }
            std::string_view ref;
            std::string_view t;
            std::string_view s;
            for (const XmlAttribute& a : attributes) {
                const std::string_view n = a.name.local;
                if (n == "r") {
                    ref = a.value;
                } else if (n == "t") {
                    t = a.value;
                } else if (n == "s") {
                    s = a.value;
                }
            }
            int r = row_;
            int c = column_ + 1;
            if (!ref.empty() && !parseCellReference(ref, &r, &c)) {
                xml.fail(QStringLiteral("セル参照 %1 が正しくありません").arg(shown(ref, 20)));
                return false;
            }
            if (r != row_ || c > kMaxSheetColumns) {
                xml.fail(QStringLiteral("セル %1 が行 %2 の中にありません")
                             .arg(qstringOf(ref))
                             .arg(row_));
                return false;
            }
            column_ = c;
            type_ = cellType(t);
            const int style = s.empty() ? 0 : integerOr(s, 0);
            date_ = style >= 0 && static_cast<std::size_t>(style) < xfIsDate_.size() &&
                    xfIsDate_[static_cast<std::size_t>(style)];
            inCell_ = true;
            hasV_ = false;
            v_.clear();
            is_.resize(0);
        } else if (inCell_ && name == "v") {
            inV_ = true;
            hasV_ = true;
        } else if (inCell_ && name == "is") {
            inIs_ = true;
        } else if (inIs_ && name == "t") {
            ++inT_;
        } else if (inIs_ && name == "rPh") {
            ++inPhonetic_;
        } else if (name == "row") {
            const std::string_view r = attribute(attributes, "r");
            int next = row_ + 1;
            if (!r.empty()) {
                long long n = 0;
                next = parseInteger(r, &n) && n <= INT_MAX ? static_cast<int>(n) : -1;
            }
            if (next <= row_ || next > kMaxSheetRows) {
                xml.fail(QStringLiteral("行番号 %1 が正しくありません (前の行 %2)")
                             .arg(shown(r, 20))
                             .arg(row_));
                return false;
            }
            ++rowsSeen_;
            row_ = next;
            column_ = 0;
            inRow_ = true;
        }
        return true;
    }

    bool endElement(XmlReader& xml, XmlName element) override {
        const std::string_view name = element.local;
        if (name == "v") {
            inV_ = false;
        } else if (name == "is") {
            inIs_ = false;
        } else if (name == "t" && inIs_) {
            --inT_;
        } else if (name == "rPh" && inIs_) {
            --inPhonetic_;
        } else if (name == "row") {
            inRow_ = false;
        } else if (name == "c" && inCell_) {
            inCell_ = false;
            SheetCell cell;
            if (!makeCell(&cell)) {
                xml.fail(QStringLiteral("セル %1%2 の値 \"%3\" が読めません")
                             .arg(columnName(column_))
                             .arg(row_)
                             .arg(shown(v_, 40)));
                return false;
            }
            sink_.cell(row_, column_, cell);
            if (!sink_.wantsMoreCells()) {
                xml.stop();
                return false;
            }
        }
        return true;
    }

private:
    // A sheet may hold a writer's markup for the rows it has, not much more:
    // checked at every element and text, so that markup or text the rows
    // ignore is refused as soon as it outgrows them.
    bool withinBudget(XmlReader& xml) const {
        if (xml.bytesFed() <= kSheetSlackBytes + (rowsSeen_ + 1) * kSheetBytesPerRow) {
            return true;
        }
        xml.fail(QStringLiteral("ワークシートが行数 (%1 行) に比べて大きすぎます").arg(rowsSeen_));
        return false;
    }

    bool makeCell(SheetCell* cell) {
        if (type_ == CellType::InlineString) {
            *cell = SheetCell::ofText(std::move(is_));
            is_ = QString();
            return true;
        }
        if (!hasV_) {
            return true; // present but empty
        }
        const std::string_view v = trimmed(v_);
        switch (type_) {
        case CellType::Number: {
            double d = 0;
            const bool ok = parseStoredNumber(v, &d);
            *cell = SheetCell::ofNumber(d, date_);
            return ok;
        }
        case CellType::SharedString: {
            long long i = 0;
            if (!parseInteger(v, &i) || i < 0 || i >= strings_.size()) {
                return false;
            }
            *cell = SheetCell::ofText(strings_.at(i));
            return true;
        }
        case CellType::FormulaString: *cell = SheetCell::ofText(qstringOf(v_)); return true;
        case CellType::Boolean:
            *cell = SheetCell::ofNumber(v == "1" ? 1 : 0);
            cell->kind = SheetCell::Kind::Boolean;
            return true;
        case CellType::Error:
            cell->kind = SheetCell::Kind::Error;
            cell->text = qstringOf(v);
            return true;
        case CellType::Date: {
            const QDateTime dt = QDateTime::fromString(qstringOf(v), Qt::ISODateWithMs);
            if (!dt.isValid()) {
                return false;
            }
            const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), dt.timeSpec());
            *cell = SheetCell::ofNumber(static_cast<double>(epoch.msecsTo(dt)) / 86400000.0, true);
            return true;
        }
        case CellType::InlineString:
        case CellType::Unknown: break;
        }
        return false;
    }

    enum class CellType {
        Number,
        SharedString,
        InlineString,
        FormulaString,
        Boolean,
        Error,
        Date,
        Unknown
    };

    static CellType cellType(std::string_view t) {
        if (t.empty() || t == "n") {
            return CellType::Number;
        }
        if (t == "s") {
            return CellType::SharedString;
        }
        if (t == "inlineStr") {
            return CellType::InlineString;
        }
        if (t == "str") {
            return CellType::FormulaString;
        }
        if (t == "b") {
            return CellType::Boolean;
        }
        if (t == "e") {
            return CellType::Error;
        }
        if (t == "d") {
            return CellType::Date;
        }
        return CellType::Unknown;
    }

    static QString columnName(int column) {
        QString name;
        for (; column > 0; column = (column - 1) / 26) {
            name.prepend(QChar(u'A' + (column - 1) % 26));
        }
        return name;
    }

    SheetCellSink& sink_;
    const SharedStrings& strings_;
    const std::vector<bool>& xfIsDate_;
    int row_ = 0;
    qint64 rowsSeen_ = 0;
    int column_ = 0;
    bool inRow_ = false;
    bool inCell_ = false;
    bool inV_ = false;
    bool inIs_ = false;
    int inT_ = 0;
    int inPhonetic_ = 0;
    bool hasV_ = false;
    bool date_ = false;
    CellType type_ = CellType::Number;
    std::string v_;
    QString is_;
};

} // namespace

LogFileResult readOfficeOpenXmlSheet(const QString& fileName, SheetCellSink& sink) {
    if (QFileInfo(fileName).size() > kMaxWorkbookFileBytes) {
        return LogFileResult::failure(
            QStringLiteral("ファイルが大きすぎます (上限 %1 MB)").arg(kMaxWorkbookFileBytes >> 20));
    }
    ZipArchive zip;
    if (LogFileResult r = zip.open(fileName); !r) {
        return r;
    }

    // The workbook part, by the package's relationships.
    Relationships packageRels;
    if (LogFileResult r = readRelationships(zip, QString(), &packageRels); !r) {
        return r;
    }
    QString workbook = targetOfType(packageRels, QString(), QLatin1String("/officeDocument"));
    if (workbook.isEmpty()) {
        workbook = QStringLiteral("xl/workbook.xml");
    }
    if (!zip.contains(workbook)) {
        return LogFileResult::failure(
            QStringLiteral("ワークブックではありません (%1 がありません)").arg(workbook));
    }

    // Its first sheet and the date system.
    QString firstSheetId;
    bool date1904 = false;
    StartTags tags([&](XmlReader&, std::string_view name,
                       std::span<const XmlAttribute> attributes) {
        if (name == "workbookPr") {
            const std::string_view v = attribute(attributes, "date1904");
            date1904 = v == "1" || v == "true";
        } else if (name == "sheet" && firstSheetId.isEmpty()) {
            for (const XmlAttribute& a : attributes) {
                if (a.name.local == "id" && !a.name.uri.empty()) {
                    firstSheetId = qstringOf(a.value);
                }
            }
        }
        return true;
    });
    LogFileResult r = readPart(zip, workbook, kMaxSmallPartBytes, tags);
    if (!r) {
        return r;
    }
    Relationships workbookRels;
    if (r = readRelationships(zip, workbook, &workbookRels); !r) {
        return r;
    }
    QString sheet;
    if (const auto it = workbookRels.constFind(firstSheetId); it != workbookRels.cend()) {
        sheet = resolveTarget(workbook, it->target);
    }
    if (sheet.isEmpty()) {
        sheet = resolveTarget(workbook, QStringLiteral("worksheets/sheet1.xml"));
    }
    if (!zip.contains(sheet)) {
        return LogFileResult::failure(
            QStringLiteral("最初のワークシート %1 がありません").arg(sheet));
    }
    QString sharedStringsPart =
        targetOfType(workbookRels, workbook, QLatin1String("/sharedStrings"));
    if (sharedStringsPart.isEmpty()) {
        sharedStringsPart = resolveTarget(workbook, QStringLiteral("sharedStrings.xml"));
    }
    QString stylesPart = targetOfType(workbookRels, workbook, QLatin1String("/styles"));
    if (stylesPart.isEmpty()) {
        stylesPart = resolveTarget(workbook, QStringLiteral("styles.xml"));
    }

    std::vector<bool> xfIsDate;
    if (r = readStyles(zip, stylesPart, &xfIsDate); !r) {
        return r;
    }
    SharedStrings strings;
    if (r = readSharedStrings(zip, sharedStringsPart, &strings); !r) {
        return r;
    }

    sink.start(date1904);
    SheetParser parser(sink, strings, xfIsDate);
    return readPart(zip, sheet, kMaxSheetXmlBytes, parser);
}

} // namespace velkor
