// Workbooks built to cost without bound: each is answered at once, refused
// with the limit it passes, or read only as far as it can still be a log.
#include "logfiles/workbook/LogWorkbook.h"
#include "logfiles/workbook/WorkbookTestSupport.h"

#include <QTemporaryDir>
#include <zip.h>

using namespace velkor;
using namespace velkor::test;

namespace {

const QByteArray kMain = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";

// A workbook of the parts a reader needs, the first sheet holding
// `sheetData` and the shared strings (when given) `strings`.
QString writeBook(const QTemporaryDir& dir, const QByteArray& sheetData,
                  const QByteArray& strings = {}) {
    const QString path = dir.filePath(QStringLiteral("book.xlsx"));
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    EXPECT_NE(z, nullptr);
    std::vector<std::pair<const char*, QByteArray>> parts = {
        {"xl/workbook.xml", "<workbook " + kMain + "/>"},
        {"xl/worksheets/sheet1.xml",
         "<worksheet " + kMain + "><sheetData>" + sheetData + "</sheetData></worksheet>"}};
    if (!strings.isEmpty()) {
        parts.push_back({"xl/sharedStrings.xml", "<sst " + kMain + ">" + strings + "</sst>"});
    }
    for (const auto& [name, bytes] : parts) {
        zip_source_t* src =
            zip_source_buffer(z, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        zip_file_add(z, name, src, ZIP_FL_OVERWRITE);
    }
    EXPECT_EQ(zip_close(z), 0); // reads the sources, which `parts` still holds
    return path;
}

QByteArray headerRow() {
    QByteArray row = "<row r=\"1\">";
    for (const char c : QByteArray("ABCDEF")) {
        row += QByteArray("<c r=\"") + c + "1\" t=\"inlineStr\"><is><t>h</t></is></c>";
    }
    return row + "</row>";
}

QByteArray logRow(int r, const QByteArray& firstCell = {}) {
    const QByteArray n = QByteArray::number(r);
    return "<row r=\"" + n + "\">" +
           (firstCell.isEmpty() ? "<c r=\"A" + n + "\"><v>" + n + "</v></c>" : firstCell) +
           "</row>";
}

QByteArray attributes(int n) {
    QByteArray list;
    for (int i = 0; i < n; ++i) {
        list += " a" + QByteArray::number(i) + "=\"1\"";
    }
    return list;
}

QByteArray sharedStrings(qsizetype n) {
    return QByteArray("<si/>").repeated(n);
}

// The sheet and the shared strings are made when the case runs: a test
// process made for another test of this program should not build tens of
// megabytes first.
struct BookParts {
    QByteArray sheetData;
    QByteArray strings;
};

struct BoundCase {
    const char* name;
    BookParts (*parts)();
    const char* reason; // a part of the reason
};

void PrintTo(const BoundCase& c, std::ostream* os) {
    *os << c.name;
}

class WorkbookBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(WorkbookBounds, RefusedWithTheLimitPassed) {
    QTemporaryDir dir;
    const BookParts parts = GetParam().parts();
    const QString path = writeBook(dir, parts.sheetData, parts.strings);
    LogRowBuffer rows;
    bool six = true;
    const LogFileResult r = readLogWorkbook(path, QLocale::c(), &rows, &six);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.reason.contains(QString::fromUtf8(GetParam().reason))) << r.reason.toStdString();
    EXPECT_EQ(rows.rowCount(), 0);
}

QByteArray longText() {
    return QByteArray(kMaxCellTextChars + 1, 'x');
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, WorkbookBounds,
    ::testing::Values(
        BoundCase{"CellOfManyAttributes",
                  [] {
                      return BookParts{headerRow() + logRow(2, "<c r=\"A2\"" + attributes(100000) +
                                                                   "><v>1</v></c>"),
                                       {}};
                  },
                  "属性が多すぎます"},
        BoundCase{"LongInlineString",
                  [] {
                      return BookParts{headerRow() +
                                           logRow(2, "<c r=\"A2\" t=\"inlineStr\"><is><t>" +
                                                         longText() + "</t></is></c>"),
                                       {}};
                  },
                  "セルの文字列が長すぎます (上限 32767 文字)"},
        BoundCase{"LongValue",
                  [] {
                      return BookParts{
                          headerRow() +
                              logRow(2, "<c r=\"A2\"><v>" + QByteArray(40000, '1') + "</v></c>"),
                          {}};
                  },
                  "セルの文字列が長すぎます"},
        BoundCase{"LongSharedString",
                  [] {
                      return BookParts{headerRow(), "<si><t>" + longText() + "</t></si>"};
                  },
                  "セルの文字列が長すぎます"},
        BoundCase{"MoreSharedStringsThanALogHasCells",
                  [] {
                      return BookParts{headerRow(), sharedStrings(kMaxSharedStrings + 1)};
                  },
                  "共有文字列が多すぎます (上限 6291456 個"},
        BoundCase{"MarkupFarBeyondItsRows",
                  [] {
                      return BookParts{headerRow() + logRow(2) +
                                           logRow(3, "<c r=\"A3\"><v>3</v></c>" +
                                                         QByteArray("<x/>").repeated(2 << 20)) +
                                           logRow(4),
                                       {}};
                  },
                  "ワークシートが行数 (3 行) に比べて大きすぎます"},
        BoundCase{"TextFarBeyondItsRows",
                  [] {
                      return BookParts{headerRow() + logRow(2) + QByteArray(8 << 20, ' '), {}};
                  },
                  "ワークシートが行数 (2 行) に比べて大きすぎます"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WorkbookBounds, ReadingStopsOnceTheRangeIsWiderThanALog) {
    // Seven columns in the first row: the sheet is no log whatever follows,
    // so the broken markup after it is never reached.
    QTemporaryDir dir;
    const QString path =
        writeBook(dir, headerRow().replace("</row>", "<c r=\"G1\"><v>7</v></c></row>") + logRow(2) +
                           "<row r=\"3\"><c r=\"A3\"><v>3</c>");
    LogRowBuffer rows;
    bool six = true;
    const LogFileResult r = readLogWorkbook(path, QLocale::c(), &rows, &six);
    EXPECT_TRUE(r.ok()) << r.reason.toStdString();
    EXPECT_FALSE(six);
    EXPECT_EQ(rows.rowCount(), 0);
}

TEST(WorkbookBounds, ALogWithinTheBoundsIsRead) {
    QTemporaryDir dir;
    QByteArray data = headerRow();
    for (int r = 2; r <= 2000; ++r) {
        data += logRow(r);
    }
    const QString path = writeBook(dir, data, sharedStrings(5000));
    LogRowBuffer rows;
    bool six = false;
    const LogFileResult r = readLogWorkbook(path, QLocale::c(), &rows, &six);
    ASSERT_TRUE(r.ok()) << r.reason.toStdString();
    EXPECT_TRUE(six);
    ASSERT_EQ(rows.rowCount(), 1999);
    EXPECT_EQ(rows.no(1998), 2000);
}

} // namespace
