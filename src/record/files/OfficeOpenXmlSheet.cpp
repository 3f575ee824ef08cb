// The first worksheet of an Office Open XML workbook: the package's
// relationships lead to the workbook part, the workbook to its first sheet,
// its shared strings and its styles (which number formats show dates and
// times); the sheet's cells are then streamed to the sink.
#include "record/BoundedXmlReader.h"
#include "record/files/SheetXmlScanner.h"
#include "record/files/WorkbookSheet.h"
#include "record/files/ZipArchive.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <charconv>
#include <functional>
#include <vector>

namespace velkor {

namespace {

struct Relationship {
    QString target;
    QString type;
};
using Relationships = QHash<QString, Relationship>;

// Parses one part of the package with `onToken` called for every token,
// until the part ends or `*stop` (when given) turns true.
LogFileResult readPart(const ZipArchive& zip, const QString& name, qint64 maxBytes,
                       const std::function<bool(BoundedXmlReader&)>& onToken,
                       const bool* stop = nullptr) {
    QString error;
    auto entry = zip.openEntry(name, maxBytes, &error);
    if (!entry) {
        return LogFileResult::failure(error);
    }
    BoundedXmlReader::Limits limits;
    limits.maxBytes = maxBytes;
    BoundedXmlReader xml([&entry](char* b, qint64 max) { return entry->read(b, max); }, limits);
    for (;;) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::Invalid) {
            return LogFileResult::failure(entry->error().isEmpty()
                                              ? QStringLiteral("%1: %2").arg(name, xml.error())
                                              : entry->error());
        }
        if (token == QXmlStreamReader::EndDocument) {
            return LogFileResult::success();
        }
        if (!onToken(xml)) {
            return LogFileResult::failure(QStringLiteral("%1: %2").arg(name, xml.error()));
        }
        if (stop && *stop) {
            return LogFileResult::success();
        }
    }
}

QStringView attribute(const QXmlStreamReader& x, QLatin1String name) {
    return x.attributes().value(name);
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
    return readPart(zip, name, kMaxSmallPartBytes, [&](BoundedXmlReader& xml) {
        const QXmlStreamReader& x = xml.xml();
        if (x.isStartElement() && isName(x.name(), u"Relationship")) {
            if (out->size() > 100000) {
                xml.fail(QStringLiteral("関係が多すぎます"));
                return false;
            }
            out->insert(attribute(x, QLatin1String("Id")).toString(),
                        {attribute(x, QLatin1String("Target")).toString(),
                         attribute(x, QLatin1String("Type")).toString()});
        }
        return true;
    });
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
    return readPart(zip, part, kMaxSmallPartBytes, [&](BoundedXmlReader& xml) {
        const QXmlStreamReader& x = xml.xml();
        if (x.isStartElement()) {
            if (isName(x.name(), u"numFmt")) {
                customFormats.insert(attribute(x, QLatin1String("numFmtId")).toInt(),
                                     attribute(x, QLatin1String("formatCode")).toString());
            } else if (isName(x.name(), u"cellXfs")) {
                inCellXfs = true;
            } else if (inCellXfs && isName(x.name(), u"xf")) {
                if (static_cast<qsizetype>(xfIsDate->size()) >= kMaxCellFormats) {
                    xml.fail(QStringLiteral("セルの書式が多すぎます"));
                    return false;
                }
                const int id = attribute(x, QLatin1String("numFmtId")).toInt();
                xfIsDate->push_back(isDateTimeFormat(id, customFormats.value(id)));
            }
        } else if (x.isEndElement() && isName(x.name(), u"cellXfs")) {
            inCellXfs = false;
        }
        return true;
    });
}

// Where a sheet is being read: to refuse it there, and how far it went.
class SheetPlace {
public:
    virtual ~SheetPlace() = default;
    virtual void fail(const QString& reason) = 0;
    virtual qint64 bytesFed() const = 0;
};

using SheetAttribute = SheetXmlScanner::Attribute;

// What a part's reader is given, whichever XML reader takes the part.
struct PartEvents {
    std::function<bool(SheetPlace&, QStringView, std::span<const SheetAttribute>)> start;
    std::function<bool(SheetPlace&, QStringView)> end;
    std::function<bool(SheetPlace&, QStringView)> text;
    const bool* stop = nullptr; // reading ends once it is true
};

LogFileResult readPartInGeneral(const ZipArchive& zip, const QString& name, qint64 maxBytes,
                                const PartEvents& events) {
    struct Place final : SheetPlace {
        BoundedXmlReader* xml = nullptr;
        void fail(const QString& reason) override { xml->fail(reason); }
        qint64 bytesFed() const override { return xml->bytesFed(); }
    } place;
    std::vector<SheetAttribute> attributes;
    return readPart(
        zip, name, maxBytes,
        [&](BoundedXmlReader& xml) {
            place.xml = &xml;
            const QXmlStreamReader& x = xml.xml();
            switch (x.tokenType()) {
            case QXmlStreamReader::StartElement: {
                const QXmlStreamAttributes given = x.attributes();
                attributes.clear();
                for (const QXmlStreamAttribute& a : given) {
                    attributes.push_back({a.name(), a.value()});
                }
                return events.start(place, x.name(), attributes);
            }
            case QXmlStreamReader::EndElement: return events.end(place, x.name());
            case QXmlStreamReader::Characters: return events.text(place, x.text());
            default: return true;
            }
        },
        events.stop);
}

// A large part (the sheet, the shared strings) through the direct reader,
// or through the general one when it is in another encoding than UTF-8.
LogFileResult readLargePart(const ZipArchive& zip, const QString& name, qint64 maxBytes,
                            const PartEvents& events) {
    QString error;
    auto entry = zip.openEntry(name, maxBytes, &error);
    if (!entry) {
        return LogFileResult::failure(error);
    }
    SheetXmlScanner scanner([&entry](char* b, qint64 max) { return entry->read(b, max); },
                            maxBytes);
    struct Place final : SheetPlace {
        explicit Place(SheetXmlScanner& s) : scanner(s) {}
        void fail(const QString& reason) override { scanner.fail(reason); }
        qint64 bytesFed() const override { return scanner.bytesFed(); }
        SheetXmlScanner& scanner;
    } place(scanner);
    for (;;) {
        bool ok = true;
        switch (scanner.next()) {
        case SheetXmlScanner::Token::Start:
            ok = events.start(place, scanner.name(), scanner.attributes());
            break;
        case SheetXmlScanner::Token::End: ok = events.end(place, scanner.name()); break;
        case SheetXmlScanner::Token::Text: ok = events.text(place, scanner.text()); break;
        case SheetXmlScanner::Token::EndDocument: return LogFileResult::success();
        case SheetXmlScanner::Token::Invalid:
            return LogFileResult::failure(entry->error().isEmpty()
                                              ? QStringLiteral("%1: %2").arg(name, scanner.error())
                                              : entry->error());
        case SheetXmlScanner::Token::OtherEncoding:
            entry.reset();
            return readPartInGeneral(zip, name, maxBytes, events);
        }
        if (!ok) {
            return LogFileResult::failure(QStringLiteral("%1: %2").arg(name, scanner.error()));
        }
        if (events.stop && *events.stop) {
            return LogFileResult::success();
        }
    }
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
LogFileResult readSharedStrings(const ZipArchive& zip, const QString& part,
                                SharedStrings* strings) {
    if (part.isEmpty() || !zip.contains(part)) {
        return LogFileResult::success();
    }
    QString text;
    bool inSi = false;
    int inT = 0;
    int inPhonetic = 0;
    PartEvents events;
    events.start = [&](SheetPlace&, QStringView name, std::span<const SheetAttribute>) {
        if (isName(name, u"si")) {
            inSi = true;
            text.resize(0);
        } else if (isName(name, u"rPh")) {
            ++inPhonetic;
        } else if (isName(name, u"t")) {
            ++inT;
        }
        return true;
    };
    events.end = [&](SheetPlace& xml, QStringView name) {
        if (isName(name, u"si")) {
            if (strings->size() >= kMaxSharedStrings ||
                strings->chars() + text.size() > kMaxSharedStringChars) {
                xml.fail(QStringLiteral("共有文字列が多すぎます (上限 %1 個, %2 文字)")
                             .arg(kMaxSharedStrings)
                             .arg(kMaxSharedStringChars));
                return false;
            }
            strings->append(text);
            inSi = false;
        } else if (isName(name, u"rPh")) {
            --inPhonetic;
        } else if (isName(name, u"t")) {
            --inT;
        }
        return true;
    };
    events.text = [&](SheetPlace& xml, QStringView chars) {
        if (inSi && inT > 0 && inPhonetic == 0) {
            if (text.size() + chars.size() > kMaxCellTextChars) {
                xml.fail(cellTextTooLong());
                return false;
            }
            text += chars;
        }
        return true;
    };
    return readLargePart(zip, part, kMaxSharedStringsXmlBytes, events);
}

// A number as a worksheet stores it ("12.3", "-1.5E-3"), read without the
// detour through the locale machinery of QStringView::toDouble.
bool parseStoredNumber(QStringView v, double* out) {
    char buf[64];
    if (!v.isEmpty() && v[0] == u'+') {
        v = v.sliced(1);
    }
    if (v.isEmpty() || v.size() >= qsizetype(sizeof buf)) {
        bool ok = false;
        *out = v.toDouble(&ok);
        return ok;
    }
    for (qsizetype i = 0; i < v.size(); ++i) {
        const char16_t c = v[i].unicode();
        if (c >= 0x80) {
            return false;
        }
        buf[i] = static_cast<char>(c);
    }
    const char* end = buf + v.size();
    const auto r = std::from_chars(buf, end, *out);
    return r.ec == std::errc() && r.ptr == end;
}

// "B12" -> column 2, row 12. False when it is no cell reference.
bool parseCellReference(QStringView ref, int* row, int* column) {
    qsizetype i = 0;
    int col = 0;
    while (i < ref.size() && ref[i].isLetter() && ref[i].unicode() < 0x80) {
        col = col * 26 + (ref[i].toUpper().unicode() - u'A' + 1);
        if (col > kMaxSheetColumns) {
            return false;
        }
        ++i;
    }
    if (i == 0 || i == ref.size()) {
        return false;
    }
    bool ok = false;
    const int r = ref.sliced(i).toInt(&ok);
    if (!ok || r < 1 || r > kMaxSheetRows) {
        return false;
    }
    *row = r;
    *column = col;
    return true;
}

class SheetParser {
public:
    SheetParser(SheetCellSink& sink, const SharedStrings& strings,
                const std::vector<bool>& xfIsDate)
        : sink_(sink), strings_(strings), xfIsDate_(xfIsDate) {}

    bool characters(SheetPlace& xml, QStringView text) {
        if (!withinBudget(xml)) {
            return false;
        }
        if (inV_) {
            return appendText(xml, v_, text);
        }
        if (inIs_ && inT_ > 0 && inPhonetic_ == 0) {
            return appendText(xml, is_, text);
        }
        return true;
    }

    // Set when the sink needs no more cells.
    const bool* done() const { return &done_; }

private:
    // A sheet may hold a writer's markup for the rows it has, not much more:
    // checked at every element and text, so that markup or text the rows
    // ignore is refused as soon as it outgrows them.
    bool withinBudget(SheetPlace& xml) const {
        if (xml.bytesFed() <= kSheetSlackBytes + (rowsSeen_ + 1) * kSheetBytesPerRow) {
            return true;
        }
        xml.fail(QStringLiteral("ワークシートが行数 (%1 行) に比べて大きすぎます").arg(rowsSeen_));
        return false;
    }

    static bool appendText(SheetPlace& xml, QString& to, QStringView text) {
        if (to.size() + text.size() > kMaxCellTextChars) {
            xml.fail(cellTextTooLong());
            return false;
        }
        to += text;
        return true;
    }

public:
    bool start(SheetPlace& xml, QStringView name, std::span<const SheetAttribute> attributes) {
        if (!withinBudget(xml)) {
            return false;
        }
        if (isName(name, u"c")) {
            if (!inRow_) {
                xml.fail(QStringLiteral("行の外にセルがあります"));
                return false;
            }
            QStringView ref;
            QStringView t;
            QStringView s;
            for (const SheetAttribute& a : attributes) {
                const QStringView n = a.name;
                if (isName(n, u"r")) {
                    ref = a.value;
                } else if (isName(n, u"t")) {
                    t = a.value;
                } else if (isName(n, u"s")) {
                    s = a.value;
                }
            }
            int r = row_;
            int c = column_ + 1;
            if (!ref.isEmpty() && !parseCellReference(ref, &r, &c)) {
                xml.fail(QStringLiteral("セル参照 %1 が正しくありません").arg(ref.left(20)));
                return false;
            }
            if (r != row_ || c > kMaxSheetColumns) {
                xml.fail(QStringLiteral("セル %1 が行 %2 の中にありません").arg(ref).arg(row_));
                return false;
            }
            column_ = c;
            type_ = cellType(t);
            const int style = s.isEmpty() ? 0 : s.toInt();
            date_ = style >= 0 && static_cast<std::size_t>(style) < xfIsDate_.size() &&
                    xfIsDate_[static_cast<std::size_t>(style)];
            inCell_ = true;
            hasV_ = false;
            v_.resize(0);
            is_.resize(0);
        } else if (inCell_ && isName(name, u"v")) {
            inV_ = true;
            hasV_ = true;
        } else if (inCell_ && isName(name, u"is")) {
            inIs_ = true;
        } else if (inIs_ && isName(name, u"t")) {
            ++inT_;
        } else if (inIs_ && isName(name, u"rPh")) {
            ++inPhonetic_;
        } else if (isName(name, u"row")) {
            QStringView r;
            for (const SheetAttribute& a : attributes) {
                if (isName(a.name, u"r")) {
                    r = a.value;
                }
            }
            int next = row_ + 1;
            if (!r.isEmpty()) {
                bool ok = false;
                next = r.toInt(&ok);
                if (!ok) {
                    next = -1;
                }
            }
            if (next <= row_ || next > kMaxSheetRows) {
                xml.fail(QStringLiteral("行番号 %1 が正しくありません (前の行 %2)")
                             .arg(r.left(20))
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

    bool end(SheetPlace& xml, QStringView name) {
        if (isName(name, u"v")) {
            inV_ = false;
        } else if (isName(name, u"is")) {
            inIs_ = false;
        } else if (isName(name, u"t") && inIs_) {
            --inT_;
        } else if (isName(name, u"rPh") && inIs_) {
            --inPhonetic_;
        } else if (isName(name, u"row")) {
            inRow_ = false;
        } else if (isName(name, u"c") && inCell_) {
            inCell_ = false;
            SheetCell cell;
            if (!makeCell(&cell)) {
                xml.fail(QStringLiteral("セル %1%2 の値 \"%3\" が読めません")
                             .arg(columnName(column_))
                             .arg(row_)
                             .arg(QStringView(v_).left(40)));
                return false;
            }
            sink_.cell(row_, column_, cell);
            done_ = !sink_.wantsMoreCells();
        }
        return true;
    }

private:
    bool makeCell(SheetCell* cell) {
        if (type_ == CellType::InlineString) {
            *cell = SheetCell::ofText(std::move(is_));
            is_ = QString();
            return true;
        }
        if (!hasV_) {
            return true; // present but empty
        }
        const QStringView v = QStringView(v_).trimmed();
        bool ok = false;
        switch (type_) {
        case CellType::Number: {
            double d = 0;
            ok = parseStoredNumber(v, &d);
            *cell = SheetCell::ofNumber(d, date_);
            return ok;
        }
        case CellType::SharedString: {
            const qsizetype i = v.toLongLong(&ok);
            if (!ok || i < 0 || i >= strings_.size()) {
                return false;
            }
            *cell = SheetCell::ofText(strings_.at(i));
            return true;
        }
        case CellType::FormulaString: *cell = SheetCell::ofText(v_); return true;
        case CellType::Boolean:
            *cell = SheetCell::ofNumber(v == u"1" ? 1 : 0);
            cell->kind = SheetCell::Kind::Boolean;
            return true;
        case CellType::Error:
            cell->kind = SheetCell::Kind::Error;
            cell->text = v.toString();
            return true;
        case CellType::Date: {
            const QDateTime dt = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
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

    static CellType cellType(QStringView t) {
        if (t.isEmpty() || isName(t, u"n")) {
            return CellType::Number;
        }
        if (isName(t, u"s")) {
            return CellType::SharedString;
        }
        if (isName(t, u"inlineStr")) {
            return CellType::InlineString;
        }
        if (isName(t, u"str")) {
            return CellType::FormulaString;
        }
        if (isName(t, u"b")) {
            return CellType::Boolean;
        }
        if (isName(t, u"e")) {
            return CellType::Error;
        }
        if (isName(t, u"d")) {
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
    bool done_ = false;
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
    QString v_;
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
    LogFileResult r = readPart(zip, workbook, kMaxSmallPartBytes, [&](BoundedXmlReader& xml) {
        const QXmlStreamReader& x = xml.xml();
        if (!x.isStartElement()) {
            return true;
        }
        if (isName(x.name(), u"workbookPr")) {
            const QStringView v = attribute(x, QLatin1String("date1904"));
            date1904 = v == u"1" || v == u"true";
        } else if (isName(x.name(), u"sheet") && firstSheetId.isEmpty()) {
            for (const auto& a : x.attributes()) {
                if (a.name() == u"id" && !a.namespaceUri().isEmpty()) {
                    firstSheetId = a.value().toString();
                }
            }
        }
        return true;
    });
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
    PartEvents events;
    events.start = [&parser](SheetPlace& xml, QStringView name,
                             std::span<const SheetAttribute> attributes) {
        return parser.start(xml, name, attributes);
    };
    events.end = [&parser](SheetPlace& xml, QStringView name) { return parser.end(xml, name); };
    events.text = [&parser](SheetPlace& xml, QStringView text) {
        return parser.characters(xml, text);
    };
    events.stop = parser.done();
    return readLargePart(zip, sheet, kMaxSheetXmlBytes, events);
}

} // namespace velkor
