// The log as an XML data packet: written, read back, read from other
// writers of the format, and refused when broken or hostile.
#include "logfiles/LogXmlFile.h"
#include "record/LogTestSupport.h"

#include <QBuffer>
#include <QFile>

using namespace velkor;
using namespace velkor::test;

namespace {

// The rows are made when the case runs: a test process made for another
// test of this program should not build 140,000 rows first.
struct RoundTripCase {
    const char* name;
    std::vector<LogRecord> (*rows)();
};

std::vector<LogRecord> cutRows(std::vector<LogRecord> rows) {
    VectorLogTable t;
    t.appendRows(bufferOf(rows));
    return t.rows;
}

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class XmlRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(XmlRoundTrip, LoadGivesTheSavedRowsInPlaceOfTheTables) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.xml"));
    const std::vector<LogRecord> rows = GetParam().rows();
    VectorLogTable saved(rows);
    ASSERT_TRUE(saveLogXml(saved, path).ok());

    VectorLogTable loaded({rec(99, "x", "x", "x", "x", "x")});
    const LogFileResult r = loadLogXml(path, loaded);
    ASSERT_TRUE(r.ok()) << r.reason.toStdString();
    EXPECT_EQ(show(loaded.rows), show(cutRows(rows)));

    // The compact buffer, the command line's table, writes the same bytes
    // as any table holding the same (cut) rows, and loads the same rows.
    const QString cutPath = dir.filePath(QStringLiteral("cut.xml"));
    ASSERT_TRUE(saveLogXml(VectorLogTable(cutRows(rows)), cutPath).ok());
    const QString compactPath = dir.filePath(QStringLiteral("compact.xml"));
    ASSERT_TRUE(saveLogXml(bufferOf(saved.rows), compactPath).ok());
    QFile a(cutPath), b(compactPath);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll());
    LogRowBuffer compact;
    compact.append(rec(99, "x", "x", "x", "x", "x"));
    ASSERT_TRUE(loadLogXml(compactPath, compact).ok());
    EXPECT_EQ(show(rowsOf(compact)), show(cutRows(rows)));
}

// More distinct texts than the writer keeps escaped, each needing escapes.
std::vector<LogRecord> manyDistinctRows() {
    std::vector<LogRecord> rows;
    for (int i = 0; i < 140000; ++i) {
        const QString n = QString::number(i);
        rows.push_back(rec(i, n + u'"', QStringLiteral("<µ") + n, n + u'&', QStringLiteral("Ω") + n,
                           QStringLiteral("\t") + n));
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(
    Logs, XmlRoundTrip,
    ::testing::Values(RoundTripCase{"Empty", [] { return std::vector<LogRecord>{}; }},
                      RoundTripCase{"Sample", sampleRows},
                      RoundTripCase{"TwentyCharacterTexts",
                                    [] {
                                        return std::vector<LogRecord>{
                                            rec(1, "12345678901234567890", "ABCDEFGHIJKLMNOPQRST",
                                                "-1234567890.12345678", "abcdefghijklmnopqrst",
                                                "passpasspasspasspass"),
                                            rec(2, "123456789012345678901234", "", "", "", "")};
                                    }},
                      RoundTripCase{"JapaneseSymbolsAndMarkup",
                                    [] {
                                        return std::vector<LogRecord>{
                                            rec(1, "9時05分03秒", "ダイオード", "0L", "kΩ", "判定"),
                                            rec(2, "09:05:03", "<&\">'", "µA °C °F", "\U0001F50B",
                                                "a\tb\nc\rd"),
                                            rec(3, "  lead", "trail  ", " both ", "k*", "#?u")};
                                    }},
                      RoundTripCase{"ManyDistinctTexts", manyDistinctRows},
                      RoundTripCase{"NullNumberAndNVal",
                                    [] {
                                        return std::vector<LogRecord>{
                                            rec(std::nullopt, "09:05:03", "DC", "1", "V", "pass"),
                                            rec(-2147483647 - 1, "", "", "", "", "", 2147483647),
                                            rec(7, "09:05:03", "DC", "1", "V", "pass", -5)};
                                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlPacket, IsTheTableEnginesDataPacket) {
    VectorLogTable t({rec(1, "09:05:03", "DC", "012.3", "V", "pass"),
                      rec(2, "09:05:04", "", "1&2", "V", "Fail", 7)});
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeLogXml(t, buf).ok());
    const QByteArray xml = buf.data();
    EXPECT_EQ(xml, QByteArray(
                       "<?xml version=\"1.0\" standalone=\"yes\"?>  "
                       "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                       "<FIELD attrname=\"No\" fieldtype=\"i4\"/>"
                       "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>"
                       "<FIELD fieldname=\"DC/AC\" attrname=\"DC_AC\" fieldtype=\"string\" "
                       "WIDTH=\"20\"/>"
                       "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
                       "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>"
                       "<FIELD attrname=\"Auto\" fieldtype=\"string\" WIDTH=\"20\"/>"
                       "<FIELD attrname=\"NVal\" fieldtype=\"i4\"/>"
                       "</FIELDS><PARAMS/></METADATA><ROWDATA>"
                       "<ROW No=\"1\" Time=\"09:05:03\" DC_AC=\"DC\" Value=\"012.3\" Unit=\"V\" "
                       "Auto=\"pass\"/>"
                       "<ROW No=\"2\" Time=\"09:05:04\" Value=\"1&amp;2\" Unit=\"V\" Auto=\"Fail\" "
                       "NVal=\"7\"/>"
                       "</ROWDATA></DATAPACKET>"));
}

TEST(XmlPacket, AttributeNamesForFieldNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"No", "No"}, {"DC/AC", "DC_AC"}, {"a b", "a_b"}, {"1st", "_1st"}, {"時間", "時間"}};
    for (const auto& [name, attr] : cases) {
        EXPECT_EQ(xmlAttributeName(QString::fromUtf8(name)), QString::fromUtf8(attr)) << name;
    }
}

struct ForeignCase {
    const char* name;
    const char* xml;
    std::vector<LogRecord> rows;
};

void PrintTo(const ForeignCase& c, std::ostream* os) {
    *os << c.name;
}

class XmlFromOtherWriters : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(XmlFromOtherWriters, Load) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.xml"));
    writeAll(path, QByteArray(GetParam().xml));
    VectorLogTable t({rec(99, "x", "x", "x", "x", "x")});
    const LogFileResult r = loadLogXml(path, t);
    ASSERT_TRUE(r.ok()) << r.reason.toStdString();
    EXPECT_EQ(show(t.rows), show(GetParam().rows));
}

INSTANTIATE_TEST_SUITE_P(
    Packets, XmlFromOtherWriters,
    ::testing::Values(
        ForeignCase{"AnyOrderWhiteSpaceCaseExtraFields",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<DATAPACKET Version=\"2.0\">\n <METADATA>\n  <FIELDS>\n"
                    "   <FIELD attrname=\"AUTO\" fieldtype=\"string\" WIDTH=\"20\"/>\n"
                    "   <FIELD attrname=\"memo\" fieldtype=\"string\" WIDTH=\"200\"/>\n"
                    "   <FIELD fieldtype=\"string\" fieldname=\"dc/ac\" attrname=\"X1\"/>\n"
                    "   <FIELD attrname=\"value\" fieldtype=\"string\"/>\n"
                    "   <FIELD attrname=\"TIME\" fieldtype=\"string\"/>\n"
                    "   <FIELD attrname=\"unit\" fieldtype=\"string\"/>\n"
                    "   <FIELD attrname=\"no\" fieldtype=\"i4\"/>\n"
                    "  </FIELDS>\n  <PARAMS LCID=\"1041\"/>\n </METADATA>\n <ROWDATA>\n"
                    "  <ROW RowState=\"4\" unit='V' no=' 3 ' memo=\"m\" AUTO=\"pass\"\n"
                    "       X1=\"DC\" value=\"&#x3A9;1.5\" TIME=\"09:05:03\"/>\n"
                    "  <ROW TIME=\"10:00:00\"/>\n"
                    " </ROWDATA>\n</DATAPACKET>\n",
                    {rec(3, "09:05:03", "DC", "\u03A91.5", "V", "pass"),
                     rec(std::nullopt, "10:00:00", "", "", "", "")}},
        ForeignCase{"ChangeLog",
                    "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                    "<FIELD attrname=\"No\" fieldtype=\"i4\"/>"
                    "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>"
                    "<FIELD fieldname=\"DC/AC\" attrname=\"DC_AC\" fieldtype=\"string\"/>"
                    "<FIELD attrname=\"Value\" fieldtype=\"string\"/>"
                    "<FIELD attrname=\"Unit\" fieldtype=\"string\"/>"
                    "<FIELD attrname=\"Auto\" fieldtype=\"string\"/>"
                    "<FIELD attrname=\"NVal\" fieldtype=\"i4\"/></FIELDS>"
                    "<PARAMS CHANGE_LOG=\"1 0 4 2 0 4 3 2 8 4 0 2\"/></METADATA><ROWDATA>"
                    "<ROW RowState=\"4\" No=\"1\" Value=\"1.0\" Auto=\"pass\"/>"
                    "<ROW RowState=\"1\" No=\"2\" Value=\"2.0\" Auto=\"pass\"/>"
                    "<ROW RowState=\"8\" Value=\"2.5\" NVal=\"9\"/>"
                    "<ROW RowState=\"2\" No=\"3\" Value=\"3.0\"/>"
                    "<ROW RowState=\"8\" Value=\"3.5\"/>"
                    "<ROW No=\"4\"/>"
                    "</ROWDATA></DATAPACKET>",
                    {rec(1, "", "", "1.0", "", "pass"), rec(2, "", "", "2.5", "", "pass", 9),
                     rec(4, "", "", "", "", "")}},
        ForeignCase{"Latin1WithoutNValOrRows",
                    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>"
                    "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                    "<FIELD attrname=\"No\" fieldtype=\"i4\"/><FIELD attrname=\"Time\" "
                    "fieldtype=\"string\"/><FIELD fieldname=\"DC/AC\" attrname=\"d\" "
                    "fieldtype=\"string\"/><FIELD attrname=\"Value\" fieldtype=\"string\"/>"
                    "<FIELD attrname=\"Unit\" fieldtype=\"string\"/><FIELD attrname=\"Auto\" "
                    "fieldtype=\"string\"/></FIELDS><PARAMS/></METADATA><ROWDATA>"
                    "<ROW Unit=\"\xB5\x41\"/></ROWDATA></DATAPACKET>",
                    {rec(std::nullopt, "", "", "", "\u00B5A", "")}},
        ForeignCase{"BomCrLfQuotesEntitiesCommentsAndContent",
                    "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' standalone='yes'?>\r\n"
                    "<!-- written by hand -->\r\n<DATAPACKET Version='2.0'>\r\n<METADATA>"
                    "<FIELDS>\r\n<FIELD attrname='No' fieldtype='i4'/>\r\n"
                    "<FIELD attrname='Time' fieldtype='string'></FIELD>\r\n"
                    "<FIELD fieldname='DC/AC' attrname='DC_AC' fieldtype='string'/>"
                    "<FIELD attrname = \"Value\"\r\n fieldtype='string'/>"
                    "<FIELD attrname='Unit' fieldtype='string'/>"
                    "<FIELD attrname='Auto' fieldtype='string'/></FIELDS>"
                    "<PARAMS><x a='1'/></PARAMS></METADATA>\r\n<ROWDATA>\r\n"
                    "<?note row one?><ROW\tNo = '1'\r\n Time=\"09:05:03\" "
                    "DC_AC='A&amp;B&lt;&gt;&quot;&apos;' Value='&#x2D;1&#46;5' "
                    "Unit='&#x3bc;&#956;A' Auto='pass'></ROW>\r\n"
                    "<ROW No='2' Value='a\r\nb\tc&#10;d'><![CDATA[ignored]]><!-- x --></ROW>"
                    "<ROW No=\"3\" Auto=\"\xE5\x90\x88\xE6\xA0\xBC\xF0\x9F\x98\x80\"/>"
                    "\r\n</ROWDATA></DATAPACKET>\r\n<!-- end -->\r\n",
                    {rec(1, "09:05:03", "A&B<>\"'", "-1.5", "\u03BC\u03BCA", "pass"),
                     rec(2, "", "", "a b c\nd", "", ""),
                     rec(3, "", "", "", "", "\u5408\u683C\U0001F600")}},
        ForeignCase{"MetadataOnly",
                    "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                    "<FIELD attrname=\"No\" fieldtype=\"i4\"/><FIELD attrname=\"Time\" "
                    "fieldtype=\"string\"/><FIELD fieldname=\"DC/AC\" attrname=\"DC_AC\" "
                    "fieldtype=\"string\"/><FIELD attrname=\"Value\" fieldtype=\"string\"/>"
                    "<FIELD attrname=\"Unit\" fieldtype=\"string\"/><FIELD attrname=\"Auto\" "
                    "fieldtype=\"string\"/></FIELDS><PARAMS/></METADATA></DATAPACKET>",
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A packet with the table's fields around `rows`.
QByteArray packet(const QByteArray& rows) {
    return "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
           "<FIELD attrname=\"No\" fieldtype=\"i4\"/><FIELD attrname=\"Time\" "
           "fieldtype=\"string\"/><FIELD fieldname=\"DC/AC\" attrname=\"DC_AC\" "
           "fieldtype=\"string\"/><FIELD attrname=\"Value\" fieldtype=\"string\"/>"
           "<FIELD attrname=\"Unit\" fieldtype=\"string\"/><FIELD attrname=\"Auto\" "
           "fieldtype=\"string\"/></FIELDS><PARAMS/></METADATA><ROWDATA>" +
           rows + "</ROWDATA></DATAPACKET>";
}

struct BrokenCase {
    const char* name;
    QByteArray content; // empty name below: the file does not exist
    bool missing = false;
};

QByteArray saved() {
    VectorLogTable t(sampleRows());
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    writeLogXml(t, buf);
    return buf.data();
}

QByteArray nested(int depth) {
    return packet("<ROW No=\"1\"/>" + QByteArray("<x>").repeated(depth) +
                  QByteArray("</x>").repeated(depth));
}

QByteArray attributeList(int n) {
    QByteArray list;
    for (int i = 0; i < n; ++i) {
        list += " a" + QByteArray::number(i) + "=\"1\"";
    }
    return list;
}

QByteArray manyAttributes(int n) {
    return packet("<ROW No=\"1\"" + attributeList(n) + "/>");
}

const QByteArray kLaughs = "<?xml version=\"1.0\"?><!DOCTYPE DATAPACKET [<!ENTITY a \"aaaaaaaaaa\">"
                           "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c "
                           "\"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>" +
                           packet("<ROW No=\"1\" Value=\"&c;\"/>");

void PrintTo(const BrokenCase& c, std::ostream* os) {
    *os << c.name;
}

class XmlBroken : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(XmlBroken, FailsWithAReasonAndKeepsTheTable) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("broken.xml"));
    if (!GetParam().missing) {
        writeAll(path, GetParam().content);
    }
    VectorLogTable t(sampleRows());
    const LogFileResult r = loadLogXml(path, t);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.reason.isEmpty());
    EXPECT_EQ(t.changes, 0);
    EXPECT_EQ(show(t.rows), show(sampleRows()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, XmlBroken,
    ::testing::Values(
        BrokenCase{"Missing", {}, true}, BrokenCase{"Empty", ""},
        BrokenCase{"NotXml", "No.\tTime\n1\t09:05:03\n"},
        BrokenCase{"OtherRoot", "<?xml version=\"1.0\"?><log><row No=\"1\"/></log>"},
        BrokenCase{"WorkbookBytes", QByteArray("PK\x03\x04\x14\x00\x00\x00", 8)},
        BrokenCase{"FieldMissing",
                   "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"No\" fieldtype=\"i4\"/>"
                   "</FIELDS></METADATA><ROWDATA/></DATAPACKET>"},
        BrokenCase{"NoFields", "<DATAPACKET><ROWDATA><ROW No=\"1\"/></ROWDATA></DATAPACKET>"},
        BrokenCase{"DuplicateField",
                   packet("").replace("<FIELD attrname=\"Unit\"", "<FIELD attrname=\"UNIT\" "
                                                                  "fieldtype=\"string\"/>"
                                                                  "<FIELD attrname=\"Unit\"")},
        BrokenCase{"NumberNotInteger", packet("<ROW No=\"1\"/><ROW No=\"2.5\"/>")},
        BrokenCase{"NumberTooLarge", packet("<ROW No=\"2147483648\"/>")},
        BrokenCase{"Truncated", saved().left(saved().size() / 2)},
        BrokenCase{"TrailingGarbage", saved() + "<ROW No=\"9\"/>"},
        BrokenCase{"EntityExpansion", kLaughs}, BrokenCase{"DeepNesting", nested(100)},
        BrokenCase{"TooManyAttributes", manyAttributes(2000)},
        BrokenCase{"HugeAttribute",
                   packet("<ROW No=\"1\" Value=\"" + QByteArray(20 << 20, 'x') + "\"/>")},
        BrokenCase{"ModifiedRowFirst", packet("<ROW RowState=\"8\" No=\"1\"/>")}),
    [](const auto& info) { return std::string(info.param.name); });

// Hostile packets answered at once with the limit they pass: each of these
// took the general parser seconds to minutes before it was refused.
struct BoundCase {
    const char* name;
    QByteArray content;
    const char* reason; // how the reason starts
};

void PrintTo(const BoundCase& c, std::ostream* os) {
    *os << c.name;
}

class XmlBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(XmlBounds, RefusedWithTheLimitPassed) {
    QBuffer in;
    in.setData(GetParam().content);
    in.open(QIODevice::ReadOnly);
    LogRowBuffer rows;
    const LogFileResult r = readLogXml(in, rows);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.reason.startsWith(QString::fromUtf8(GetParam().reason)))
        << r.reason.toStdString();
    EXPECT_EQ(rows.rowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, XmlBounds,
    ::testing::Values(
        BoundCase{"TwoHundredThousandAttributes", manyAttributes(200000), "属性が多すぎます"},
        BoundCase{"AttributesOfAFieldDefinition",
                  packet("").replace("<FIELD attrname=\"No\"",
                                     "<FIELD" + attributeList(300) + " attrname=\"No\""),
                  "属性が多すぎます"},
        BoundCase{"TagOfTwoMegabytes",
                  packet("<ROW No=\"1\" Value=\"" + QByteArray(2 << 20, 'x') + "\"/>"),
                  "タグが大きすぎます"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlSave, FailsWithAReasonAndLeavesNoFile) {
    QTemporaryDir dir;
    VectorLogTable t(sampleRows());
    for (const QString& path : {dir.filePath(QStringLiteral("no/such/dir/log.xml")), dir.path()}) {
        const LogFileResult r = saveLogXml(t, path);
        EXPECT_FALSE(r.ok()) << path.toStdString();
        EXPECT_FALSE(r.reason.isEmpty());
    }
    EXPECT_TRUE(QDir(dir.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
}

} // namespace
