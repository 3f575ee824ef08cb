// The worksheet and shared-string parts as the XML reader takes them: the
// same sheet in UTF-8 and in UTF-16 gives the same cells, or both are
// refused; what is not well formed is refused however it is written.
#include "logfiles/workbook/WorkbookTestSupport.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <zip.h>

using namespace velkor;
using namespace velkor::test;

namespace {

struct Read {
    bool ok = false;
    std::string reason;
    std::vector<std::string> cells;
};

Read readSheet(const QByteArray& sheet, const QByteArray& strings = {}) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.xlsx"));
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    const QByteArray workbook =
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>";
    for (const auto& [name, bytes] :
         {std::pair{"xl/workbook.xml", &workbook}, std::pair{"xl/worksheets/sheet1.xml", &sheet},
          std::pair{"xl/sharedStrings.xml", &strings}}) {
        if (bytes->isEmpty()) {
            continue;
        }
        zip_file_add(
            z, name,
            zip_source_buffer(z, bytes->constData(), static_cast<zip_uint64_t>(bytes->size()), 0),
            ZIP_FL_OVERWRITE);
    }
    EXPECT_EQ(zip_close(z), 0);
    CellCollector cells;
    const LogFileResult r = readOfficeOpenXmlSheet(path, cells);
    return {r.ok(), r.reason.toStdString(), cells.cells};
}

// The document in UTF-16 with its declaration saying so.
QByteArray inUtf16(const QByteArray& utf8) {
    QString text = QString::fromUtf8(utf8);
    text.replace(QStringLiteral("encoding=\"UTF-8\""), QStringLiteral("encoding=\"UTF-16\""));
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encoder(text);
}

const QByteArray kNs = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";

QByteArray sheet(const QByteArray& data, const QByteArray& root = "worksheet " + kNs) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<" + root +
           "><sheetData>" + data + "</sheetData></" + root.left(root.indexOf(' ')) + ">";
}

struct SheetCase {
    const char* name;
    QByteArray xml;
    bool ok;
};

void PrintTo(const SheetCase& c, std::ostream* os) {
    *os << c.name;
}

class SheetXml : public ::testing::TestWithParam<SheetCase> {};

TEST_P(SheetXml, SameCellsInEitherEncoding) {
    const Read utf8 = readSheet(GetParam().xml);
    EXPECT_EQ(utf8.ok, GetParam().ok) << utf8.reason;
    const Read utf16 = readSheet(inUtf16(GetParam().xml));
    EXPECT_EQ(utf16.ok, GetParam().ok) << utf16.reason;
    if (GetParam().ok) {
        EXPECT_EQ(utf8.cells, utf16.cells);
        EXPECT_FALSE(utf8.cells.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, SheetXml,
    ::testing::Values(
        SheetCase{"Plain",
                  sheet("<row r=\"1\"><c r=\"A1\"><v>1.5</v></c><c r=\"B1\" t=\"inlineStr\"><is>"
                        "<t>a</t></is></c><c r=\"C1\" s=\"0\"/></row>"),
                  true},
        SheetCase{"PrefixesDeclarationsAndSingleQuotes",
                  "<x:worksheet xmlns:x='http://schemas.openxmlformats.org/spreadsheetml/2006/"
                  "main' xmlns:r='rel'><x:sheetData><x:row r='1' x:spans='1:2'>"
                  "<x:c r='A1' t='inlineStr' ><x:is><x:t xml:space='preserve'> a b </x:t></x:is>"
                  "</x:c><x:c\r\n r = \"B1\"><x:v>2</x:v></x:c></x:row></x:sheetData>"
                  "</x:worksheet>",
                  true},
        SheetCase{"ReferencesCdataCommentsAndInstructions",
                  sheet("<!-- rows --><row r=\"1\"><?pi x?><c r=\"A1\" t=\"inlineStr\"><is><t>"
                        "&amp;&lt;&gt;&quot;&apos;&#x3A9;&#956;\xE5\x90\x88\xF0\x9F\x98\x80"
                        "</t></is></c><c r=\"B1\"><v><![CDATA[12]]><!-- x -->3</v></c>"
                        "<c r=\"C1\" t=\"inlineStr\"><is><t><![CDATA[<a>&amp;]]></t></is></c>"
                        "</row>"),
                  true},
        SheetCase{"LineEndsInText",
                  sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a\r\nb\rc\nd\te</t>"
                        "</is></c></row>"),
                  true},
        SheetCase{"RichTextWithReading",
                  sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><rPr><b/></rPr><t>直</t>"
                        "</r><r><t>流</t></r><rPh sb=\"0\" eb=\"1\"><t>チョク</t></rPh></is></c>"
                        "</row>"),
                  true},
        SheetCase{"LongText",
                  sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" +
                        QByteArray("\xE5\x90\x88&amp;\r\n").repeated(5000) + "</t></is></c></row>"),
                  true},
        SheetCase{"MismatchedTags", sheet("<row r=\"1\"><c r=\"A1\"><v>1</c></v></row>"), false},
        SheetCase{"UnknownEntity", sheet("<row r=\"1\"><c r=\"A1\"><v>&one;</v></c></row>"), false},
        SheetCase{"DocumentType",
                  "<!DOCTYPE worksheet [<!ENTITY a \"1\">]><worksheet " + kNs +
                      "><sheetData><row r=\"1\"><c r=\"A1\"><v>&a;</v></c></row></sheetData>"
                      "</worksheet>",
                  false},
        SheetCase{"Truncated", sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>").chopped(20),
                  false},
        SheetCase{"TextOutsideTheRoot", sheet("<row r=\"1\"/>") + "x", false},
        SheetCase{"SecondRoot", sheet("<row r=\"1\"/>") + "<worksheet/>", false},
        SheetCase{"AttributeTwice", sheet("<row r=\"1\" r=\"2\"/>"), false},
        SheetCase{"LessThanInValue", sheet("<row r=\"1<\"/>"), false},
        // A run of white space longer than any piece a reader hands on.
        SheetCase{"LongRunOfCarriageReturns",
                  sheet("<row r=\"1\">" + QByteArray(100000, '\r') +
                        "<c r=\"A1\"><v>1</v></c></row>"),
                  true},
        // Declarations no XML reader takes.
        SheetCase{"DeclarationEncodingFirst",
                  QByteArray(sheet("<row r=\"1\"/>"))
                      .replace("version=\"1.0\" encoding=\"UTF-8\"",
                               "encoding=\"UTF-8\" version=\"1.0\""),
                  false},
        SheetCase{"DeclarationStandaloneMaybe",
                  QByteArray(sheet("<row r=\"1\"/>")).replace("\"yes\"", "\"maybe\""), false},
        SheetCase{"ElementNameOfInvalidUtf8", sheet("<row r=\"1\"><c\xC0\xAF/></row>"), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SheetXmlParts, SharedStringsInEitherEncoding) {
    const QByteArray strings =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst " + kNs +
        "><si><t>a&amp;b</t></si><si><r><t>直</t></r><r><t xml:space=\"preserve\">流 </t></r>"
        "<rPh sb=\"0\" eb=\"1\"><t>チョク</t></rPh></si><!-- c --><si><t/></si></sst>";
    const QByteArray data = sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" "
                                  "t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c></row>");
    const Read utf8 = readSheet(data, strings);
    const Read utf16 = readSheet(data, inUtf16(strings));
    ASSERT_TRUE(utf8.ok) << utf8.reason;
    ASSERT_TRUE(utf16.ok) << utf16.reason;
    EXPECT_EQ(utf8.cells, utf16.cells);
    EXPECT_EQ(utf8.cells,
              (std::vector<std::string>{"1,1:text:a&b", "1,2:text:直流 ", "1,3:text:"}));
}

TEST(SheetXmlParts, RefusesMalformedUtf8AndCharactersXmlCannotHold) {
    for (const QByteArray& bad : {QByteArray("\xC0\xAF"), QByteArray("\xED\xA0\x80"),
                                  QByteArray("\x01"), QByteArray("&#0;")}) {
        const Read r = readSheet(sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" + bad +
                                       "</t></is></c></row>"));
        EXPECT_FALSE(r.ok) << bad.toHex().toStdString();
        EXPECT_NE(r.reason.find("XML の形式が正しくありません"), std::string::npos) << r.reason;
    }
}

} // namespace
