// The XML data packet read from a file, from a pipe and a byte at a time:
// the same rows or the same refusal whichever way the bytes come; the
// packets of other writers are taken, what is not well formed is not.
#include "logfiles/LogXmlFile.h"
#include "record/LogTestSupport.h"

#include <QBuffer>

using namespace velkor;
using namespace velkor::test;

namespace {

// Bytes read one way only, at most `slice` at a time, as a pipe gives them.
class OneWayBuffer final : public QIODevice {
public:
    OneWayBuffer(QByteArray data, qint64 slice) : data_(std::move(data)), slice_(slice) {
        open(ReadOnly | Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* out, qint64 max) override {
        const qint64 n = std::min({max, slice_, qint64(data_.size()) - at_});
        std::memcpy(out, data_.constData() + at_, static_cast<std::size_t>(n));
        at_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data_;
    qint64 slice_;
    qint64 at_ = 0;
};

struct Read {
    LogFileResult result;
    std::vector<std::string> rows;
};

Read read(QIODevice& in) {
    LogRowBuffer rows;
    const LogFileResult r = readLogXml(in, rows);
    return {r, show(rowsOf(rows))};
}

Read fromFile(const QByteArray& xml) {
    QBuffer in;
    in.setData(xml);
    in.open(QIODevice::ReadOnly);
    return read(in);
}

Read fromPipe(const QByteArray& xml, qint64 slice) {
    OneWayBuffer in(xml, slice);
    return read(in);
}

QByteArray written(const std::vector<LogRecord>& rows) {
    VectorLogTable t(rows);
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    writeLogXml(t, buf);
    return buf.data();
}

const QByteArray kFields =
    "<METADATA><FIELDS><FIELD attrname=\"No\" fieldtype=\"i4\"/>"
    "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD fieldname=\"DC/AC\" attrname=\"DC_AC\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"Auto\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"NVal\" fieldtype=\"i4\"/></FIELDS><PARAMS/></METADATA>";

QByteArray packet(const QByteArray& rows, const QByteArray& head = "<?xml version=\"1.0\"?>") {
    return head + "<DATAPACKET Version=\"2.0\">" + kFields + "<ROWDATA>" + rows +
           "</ROWDATA></DATAPACKET>";
}

struct ScanCase {
    const char* name;
    QByteArray xml;
    bool ok; // read; else refused
};

void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << c.name;
}

class LogPacketReading : public ::testing::TestWithParam<ScanCase> {};

TEST_P(LogPacketReading, SameAnswerFromAFileAPipeAndByteByByte) {
    const Read file = fromFile(GetParam().xml);
    EXPECT_EQ(file.result.ok(), GetParam().ok) << file.result.reason.toStdString();
    EXPECT_EQ(file.result.ok() || file.rows.empty(), true);
    for (const qint64 slice : {qint64(1), qint64(7), qint64(1) << 20}) {
        const Read pipe = fromPipe(GetParam().xml, slice);
        EXPECT_EQ(pipe.result.ok(), file.result.ok()) << "slices of " << slice;
        EXPECT_EQ(pipe.result.reason.toStdString(), file.result.reason.toStdString());
        EXPECT_EQ(pipe.rows, file.rows) << "slices of " << slice;
    }
}

const QByteArray kRow = "<ROW No=\"1\" Time=\"09:05:03\" DC_AC=\"DC\" Value=\"1.5\" Unit=\"V\" "
                        "Auto=\"pass\"/>";

INSTANTIATE_TEST_SUITE_P(
    Packets, LogPacketReading,
    ::testing::Values(
        ScanCase{"WrittenSample", written(sampleRows()), true},
        ScanCase{"WrittenMarkupControlsAndWideTexts",
                 written({rec(1, "a&b<c>\"d'", "\t\n\r", "\u03A9\u00B5", "\U0001F600",
                              "\u5408\u683C", 3),
                          rec(std::nullopt, "", "", "", "", "")}),
                 true},
        ScanCase{"NoRows", written({}), true},
        ScanCase{"BomSingleQuotesCrLfAndSpacedAttributes",
                 "\xEF\xBB\xBF" + packet("\r\n<ROW\tNo = '1'\r\n Value='a\r\nb\rc\nd\te' "
                                         "Unit=\"&#x3bc;&#956;&amp;&lt;&gt;&quot;&apos;\">"
                                         "</ROW>\r\n",
                                         "<?xml version='1.0' encoding='utf-8'?>\r\n"),
                 true},
        ScanCase{"ChangeLogAndUnknownAttributes",
                 packet("<ROW RowState=\"4\" No=\"1\" memo=\"x\" Value=\"1.0\"/>"
                        "<ROW RowState=\"8\" Value=\"1.5\" NVal=\"2\"/>"
                        "<ROW RowState=\"2\" No=\"2\"/><ROW RowState=\"8\" Value=\"9\"/>"),
                 true},
        ScanCase{"Latin1",
                 packet("<ROW Unit=\"\xB5V\"/>", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"),
                 true},
        ScanCase{"Comment", packet("<!-- a row -->" + kRow), true},
        ScanCase{"ProcessingInstruction", packet("<?note?>" + kRow), true},
        ScanCase{"Cdata", packet("<ROW No=\"1\"><![CDATA[x]]></ROW>"), true},
        ScanCase{"TextBetweenRows", packet(kRow + "text" + kRow), true},
        ScanCase{"OtherCaseOfNames", packet("<row No=\"1\"/>"), true},
        ScanCase{"NamespacePrefix", packet("<x:ROW xmlns:x=\"u\" No=\"1\"/>"), true},
        ScanCase{"ParamsWithContent",
                 QByteArray(packet(kRow)).replace("<PARAMS/>", "<PARAMS><x/></PARAMS>"), true},
        ScanCase{"XmlVersionOther", packet(kRow, "<?xml version=\"1.1\"?>"), true},
        ScanCase{"DeclarationVersionInCapitals", packet(kRow, "<?xml VERSION=\"1.0\"?>"), false},
        ScanCase{"DeclarationStandaloneMaybe",
                 packet(kRow, "<?xml version=\"1.0\" standalone=\"maybe\"?>"), false},
        ScanCase{"DeclarationUnknownPart", packet(kRow, "<?xml version=\"1.0\" foo=\"bar\"?>"),
                 false},
        ScanCase{"DeclarationEncodingFirst",
                 packet(kRow, "<?xml encoding=\"UTF-8\" version=\"1.0\"?>"), false},
        ScanCase{"ControlByteInAttributeName",
                 packet(QByteArray("<ROW No=\"1\" Au\0to=\"Fail\"/>", 27)), false},
        ScanCase{"InvalidUtf8", packet("<ROW Unit=\"\xC0\xAF\"/>"), false},
        ScanCase{"UnpairedSurrogateInUtf8", packet("<ROW Unit=\"\xED\xA0\x80\"/>"), false},
        ScanCase{"ControlCharacter", packet("<ROW Unit=\"\x01\"/>"), false},
        ScanCase{"UnknownEntity", packet("<ROW Unit=\"&micro;\"/>"), false},
        ScanCase{"ReferenceToNoCharacter", packet("<ROW Unit=\"&#0;\"/>"), false},
        ScanCase{"LessThanInValue", packet("<ROW Unit=\"<\"/>"), false},
        ScanCase{"DuplicateAttribute", packet("<ROW No=\"1\" No=\"2\"/>"), false},
        ScanCase{"NotAnInteger", packet("<ROW No=\"1.5\"/>"), false},
        ScanCase{"Truncated", written(sampleRows()).chopped(30), false},
        ScanCase{"TrailingMarkup", written(sampleRows()) + "<ROW/>", false},
        ScanCase{"TrailingWhiteSpace", written(sampleRows()) + "\r\n \t", true},
        ScanCase{"TagOfTwoMegabytes", packet("<ROW Value=\"" + QByteArray(2 << 20, 'x') + "\"/>"),
                 false},
        ScanCase{"NameOfTwoMegabytes", packet("<ROW " + QByteArray(2 << 20, 'a') + "=\"1\"/>"),
                 false},
        ScanCase{"DocumentType", "<!DOCTYPE DATAPACKET>" + packet(kRow, ""), false},
        ScanCase{"TooManyAttributes",
                 packet("<ROW" +
                        [] {
                            QByteArray a;
                            for (int i = 0; i < 300; ++i) {
                                a += " a" + QByteArray::number(i) + "=\"1\"";
                            }
                            return a;
                        }() +
                        "/>"),
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LogPacketReading, TagsAcrossReadSlices) {
    // More than one slice of the file, with rows of wide texts across the
    // slice boundaries.
    std::vector<LogRecord> rows;
    for (int i = 0; i < 40000; ++i) {
        rows.push_back(rec(i, QStringLiteral("%1").arg(i), QStringLiteral("交流"),
                           QStringLiteral("-%1.%2").arg(i % 977).arg(i % 13), QStringLiteral("mV"),
                           i % 3 ? QStringLiteral("pass") : QStringLiteral("合格")));
    }
    const QByteArray xml = written(rows);
    ASSERT_GT(xml.size(), 2 << 20);
    const Read file = fromFile(xml);
    ASSERT_TRUE(file.result.ok()) << file.result.reason.toStdString();
    EXPECT_EQ(file.rows, show(rows));
    EXPECT_EQ(fromPipe(xml, 4093).rows, file.rows);
}

} // namespace
