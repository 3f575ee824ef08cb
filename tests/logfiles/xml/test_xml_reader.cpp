// The one XML reader of files from outside: what it gives and refuses does
// not depend on how the bytes arrive; each limit is told with its reason;
// encodings beyond UTF-8; and the documents that earlier hand-written
// readers took although no XML reader may.
#include "logfiles/xml/XmlReader.h"

#include <QByteArray>
#include <QStringEncoder>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace velkor;

namespace {

// Every event as text: "<name a=v>", "</name>", "[text]" (the pieces of one
// text joined, however the reader cut them).
class Trace final : public XmlContentHandler {
public:
    bool startElement(XmlReader&, XmlName name, std::span<const XmlAttribute> attrs) override {
        out += "<";
        if (!name.uri.empty()) {
            out += "{" + std::string(name.uri) + "}";
        }
        out += name.local;
        for (const XmlAttribute& a : attrs) {
            out += " " + std::string(a.name.local) + "=" + std::string(a.value);
        }
        out += ">";
        return true;
    }
    bool endElement(XmlReader&, XmlName name) override {
        out += "</" + std::string(name.local) + ">";
        return true;
    }
    bool characters(XmlReader&, std::string_view text) override {
        if (out.empty() || out.back() != ']') {
            out += "[]";
        }
        out.insert(out.size() - 1, text);
        return true;
    }
    std::string out;
};

struct Result {
    bool ok;
    std::string reason;
    std::string trace;
};

// Reads `xml` handed over at most `slice` bytes at a time.
Result readIn(const QByteArray& xml, qint64 slice, XmlLimits limits = {}) {
    qint64 at = 0;
    const auto source = [&](char* b, qint64 max) {
        const qint64 n = std::min({max, slice, qint64(xml.size()) - at});
        std::memcpy(b, xml.constData() + at, static_cast<std::size_t>(n));
        at += n;
        return n;
    };
    XmlReader reader(limits);
    Trace trace;
    const LogFileResult r = reader.read(source, trace);
    return {r.ok(), r.reason.toStdString(), trace.out};
}

bool startsWith(const std::string& text, const char* start) {
    return text.rfind(start, 0) == 0;
}

struct DocumentCase {
    const char* name;
    QByteArray xml;
    const char* outcome; // the trace when read; how the reason starts when refused
    bool ok;
};

void PrintTo(const DocumentCase& c, std::ostream* os) {
    *os << c.name;
}

class XmlDocuments : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(XmlDocuments, SameAnswerHoweverTheBytesArrive) {
    const DocumentCase& c = GetParam();
    for (const qint64 slice : {qint64(1) << 30, qint64(1), qint64(2), qint64(7), qint64(4096)}) {
        const Result r = readIn(c.xml, slice);
        EXPECT_EQ(r.ok, c.ok) << "slices of " << slice << ": " << r.reason;
        if (c.ok) {
            EXPECT_EQ(r.trace, c.outcome) << "slices of " << slice;
        } else {
            EXPECT_TRUE(startsWith(r.reason, c.outcome)) << "slices of " << slice << ": " << r.reason;
        }
    }
}

const char* const kMalformed = "XML の形式が正しくありません";
const char* const kCutShort = "ファイルが途中で終わっています";
const char* const kNoDoctype = "文書型宣言は受け付けません";

INSTANTIATE_TEST_SUITE_P(
    Documents, XmlDocuments,
    ::testing::Values(
        DocumentCase{"Plain", "<?xml version=\"1.0\"?><a x='1'>t<b/></a>", "<a x=1>[t]<b></b></a>",
                     true},
        DocumentCase{"ReferencesLineEndsAndCdata",
                     "<a v='&lt;&#x3A9;\r\n'>&amp;\r\n<![CDATA[<&>]]></a>",
                     "<a v=<\xCE\xA9 >[&\n<&>]</a>", true},
        DocumentCase{"CommentsAndInstructionsPassedOver", "<!--x--><a><?p d?><!--y--></a>",
                     "<a></a>", true},
        DocumentCase{"Namespaces",
                     "<x:a xmlns:x='u' xmlns:r='rel' r:id='7' id='8'><b xmlns='d'/></x:a>",
                     "<{u}a id=7 id=8><{d}b></b></a>", true},
        DocumentCase{"Version11", "<?xml version=\"1.1\"?><a/>", "<a></a>", true},
        // What earlier readers took although it is not XML.
        DocumentCase{"DeclarationVersionInCapitals", "<?xml VERSION=\"1.0\"?><a/>", kMalformed,
                     false},
        DocumentCase{"DeclarationStandaloneMaybe",
                     "<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", kMalformed, false},
        DocumentCase{"DeclarationUnknownPart", "<?xml version=\"1.0\" foo=\"bar\"?><a/>",
                     kMalformed, false},
        DocumentCase{"DeclarationEncodingFirst", "<?xml encoding=\"UTF-8\" version=\"1.0\"?><a/>",
                     kMalformed, false},
        DocumentCase{"DeclarationNotFirst", "<a><?xml version=\"1.0\"?></a>", kMalformed, false},
        DocumentCase{"ControlByteInAttributeName", QByteArray("<a Au\0to='1'/>", 13), kMalformed,
                     false},
        DocumentCase{"InvalidUtf8InElementName", "<a\xC0\xAF/>", kMalformed, false},
        DocumentCase{"UnpairedSurrogateInText", "<a>\xED\xA0\x80</a>", kMalformed, false},
        DocumentCase{"ReferenceToNoCharacter", "<a>&#0;</a>", kMalformed, false},
        DocumentCase{"UnknownEntity", "<a>&micro;</a>", kMalformed, false},
        DocumentCase{"DuplicateAttribute", "<a x='1' x='2'/>", kMalformed, false},
        DocumentCase{"MismatchedTags", "<a><b></a></b>", kMalformed, false},
        DocumentCase{"TrailingMarkup", "<a/><b/>", kMalformed, false},
        DocumentCase{"Empty", "", kCutShort, false},
        DocumentCase{"Truncated", "<a><b x='1'", kCutShort, false},
        DocumentCase{"DocumentType", "<!DOCTYPE a><a/>", kNoDoctype, false},
        DocumentCase{"EntityExpansion",
                     "<!DOCTYPE a [<!ENTITY b \"bbbbbbbbbb\"><!ENTITY c \"&b;&b;&b;&b;\">]>"
                     "<a>&c;</a>",
                     kNoDoctype, false}),
    [](const auto& info) { return std::string(info.param.name); });

QByteArray attributes(int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        out += " a" + QByteArray::number(i) + "='1'";
    }
    return out;
}

struct LimitCase {
    const char* name;
    QByteArray xml;
    const char* reason; // how it starts; empty: read
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << c.name;
}

// Small limits, so that each is reached by a small document.
XmlLimits smallLimits() {
    XmlLimits limits;
    limits.maxAttributes = 4;
    limits.maxTagBytes = 64;
    limits.maxDepth = 3;
    limits.maxBytes = 2000;
    limits.maxTokenBytes = 1000;
    return limits;
}

class XmlLimitCases : public ::testing::TestWithParam<LimitCase> {};

TEST_P(XmlLimitCases, EachLimitIsToldWhenPassed) {
    for (const qint64 slice : {qint64(1), qint64(1) << 20}) {
        const Result r = readIn(GetParam().xml, slice, smallLimits());
        if (*GetParam().reason == 0) {
            EXPECT_TRUE(r.ok) << r.reason;
        } else {
            EXPECT_FALSE(r.ok);
            EXPECT_TRUE(startsWith(r.reason, GetParam().reason)) << r.reason;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, XmlLimitCases,
    ::testing::Values(
        LimitCase{"AttributesAtTheLimit", "<r><a" + attributes(4) + "/></r>", ""},
        LimitCase{"OneAttributeTooMany", "<r><a" + attributes(5) + "/></r>", "属性が多すぎます"},
        LimitCase{"ManyAttributesInALargeTag", "<r><a" + attributes(60) + "/></r>",
                  "属性が多すぎます"},
        LimitCase{"TagOfManyBytes", "<r><a v='" + QByteArray(80, 'x') + "'/></r>",
                  "タグが大きすぎます"},
        LimitCase{"TextOfManyBytesIsNoTag", "<r>" + QByteArray(900, 'x') + "</r>", ""},
        LimitCase{"DepthAtTheLimit", "<a><b><c/></b></a>", ""},
        LimitCase{"TooDeep", "<a><b><c><d/></c></b></a>", "入れ子が深すぎます"},
        LimitCase{"TooManyBytes", "<r>" + QByteArray(3000, ' ') + "</r>", "大きすぎます"},
        LimitCase{"ALongTextStaysWithinTheTokenLimit", "<r>" + QByteArray(1500, 'x') + "</r>",
                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A run of line ends longer than any piece the parser hands on comes whole,
// each carriage return as a line feed, however the bytes arrive.
TEST(XmlReader, ALongRunOfCarriageReturnsIsText) {
    const QByteArray xml = "<a>" + QByteArray(100000, '\r') + "<b/></a>";
    const std::string expected = "<a>[" + std::string(100000, '\n') + "]<b></b></a>";
    for (const qint64 slice : {qint64(1), qint64(4096), qint64(1) << 20}) {
        const Result r = readIn(xml, slice);
        ASSERT_TRUE(r.ok) << r.reason;
        EXPECT_TRUE(r.trace == expected) << "slices of " << slice;
    }
}

// Markup that outgrows the token limit before it ends is refused while it
// comes, not after it was held whole.
TEST(XmlReader, MarkupStillOpenPastTheTokenLimitIsRefusedAsItComes) {
    XmlLimits limits;
    limits.maxTokenBytes = qint64(1) << 20;
    const QByteArray xml = "<r><a v='" + QByteArray(64 << 20, 'x') + "'/></r>";
    const Result r = readIn(xml, qint64(1) << 20, limits);
    ASSERT_FALSE(r.ok);
    EXPECT_TRUE(startsWith(r.reason, "要素またはテキストが大きすぎます (上限 1 MB)")) << r.reason;
}

// The parser keeps every distinct name it meets: a document of ever new
// names is refused once the parser's memory reaches its limit.
TEST(XmlReader, ParserMemoryIsBounded) {
    QByteArray xml = "<r>";
    for (int i = 0; i < 200000; ++i) {
        xml += "<e" + QByteArray::number(i) + " n" + QByteArray::number(i) + "='1'/>";
    }
    xml += "</r>";
    XmlLimits limits;
    limits.maxParserBytes = qint64(4) << 20;
    const Result r = readIn(xml, qint64(1) << 20, limits);
    ASSERT_FALSE(r.ok);
    EXPECT_TRUE(startsWith(r.reason, "XML の読み込みに使えるメモリ (4 MB) を超えました"))
        << r.reason;
    EXPECT_TRUE(readIn(xml, qint64(1) << 20).ok);
}

// A tag limit of a few bytes (smaller than any declaration) holds too.
TEST(XmlReader, TagLimitsOfAFewBytesHold) {
    XmlLimits limits;
    limits.maxTagBytes = 3;
    const Result r = readIn("<?xml version='1.0'?><abcd/>", 5, limits);
    ASSERT_FALSE(r.ok);
    EXPECT_TRUE(startsWith(r.reason, "タグが大きすぎます")) << r.reason;
}

struct EncodingCase {
    const char* name;
    QByteArray xml;
    const char* value; // the attribute's value in UTF-8
};

TEST(XmlReader, ReadsTheEncodingsDocumentsDeclare) {
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const EncodingCase cases[] = {
        {"Latin1", "<?xml version='1.0' encoding='ISO-8859-1'?><a v='\xB5V'/>", "\xC2\xB5V"},
        {"Utf16", utf16(QStringLiteral("<?xml version='1.0' encoding='UTF-16'?><a v='\u5408'/>")),
         "\xE5\x90\x88"},
        {"Windows1252", "<?xml version='1.0' encoding='windows-1252'?><a v='\x80\xB0'/>",
         "\xE2\x82\xAC\xC2\xB0"},
        {"ShiftJis", "<?xml version='1.0' encoding='Shift_JIS'?><a v='\x8D\x87\x8A\x69'/>",
         "\xE5\x90\x88\xE6\xA0\xBC"},
        {"EucJp", "<?xml version='1.0' encoding='EUC-JP'?><a v='\xB9\xE7\xB3\xCA'/>",
         "\xE5\x90\x88\xE6\xA0\xBC"},
    };
    for (const EncodingCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const qint64 slice : {qint64(1), qint64(1) << 20}) {
            const Result r = readIn(c.xml, slice);
            ASSERT_TRUE(r.ok) << r.reason;
            EXPECT_EQ(r.trace, "<a v=" + std::string(c.value) + "></a>");
        }
    }
    const Result unknown = readIn("<?xml version='1.0' encoding='no-such-code'?><a/>", 1 << 20);
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.reason.find("対応していない文字コードです"), std::string::npos)
        << unknown.reason;
    // Bytes the declared encoding gives no character for.
    EXPECT_FALSE(readIn("<?xml version='1.0' encoding='Shift_JIS'?><a v='\x84\x6C'/>", 1 << 20).ok);
}

// A handler may end the reading early as a success, or refuse with its
// reason, told with the place.
TEST(XmlReader, HandlersStopOrRefuse) {
    class Stopper final : public XmlContentHandler {
    public:
        explicit Stopper(bool refuse) : refuse_(refuse) {}
        bool startElement(XmlReader& xml, XmlName name, std::span<const XmlAttribute>) override {
            ++starts;
            if (name.local == "stop") {
                if (refuse_) {
                    xml.fail(QStringLiteral("ここで止めます"));
                } else {
                    xml.stop();
                }
                return false;
            }
            return true;
        }
        bool endElement(XmlReader&, XmlName) override { return true; }
        int starts = 0;

    private:
        bool refuse_;
    };
    const QByteArray xml = "<a>\n<b/><stop/><c/><broken";
    for (const bool refuse : {false, true}) {
        Stopper handler(refuse);
        XmlReader reader;
        qint64 at = 0;
        const LogFileResult r = reader.read(
            [&](char* b, qint64 max) {
                const qint64 n = std::min(max, qint64(xml.size()) - at);
                std::memcpy(b, xml.constData() + at, static_cast<std::size_t>(n));
                at += n;
                return n;
            },
            handler);
        EXPECT_EQ(handler.starts, 3);
        EXPECT_EQ(r.ok(), !refuse);
        if (refuse) {
            EXPECT_TRUE(r.reason.startsWith(QStringLiteral("ここで止めます (行 2, 列 ")))
                << r.reason.toStdString();
        }
    }
}

TEST(XmlReader, ASourceThatFailsIsTold) {
    XmlReader reader;
    Trace trace;
    const LogFileResult r = reader.read([](char*, qint64) { return qint64(-1); }, trace);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.reason.startsWith(QStringLiteral("読み込みに失敗しました")))
        << r.reason.toStdString();
}

} // namespace
