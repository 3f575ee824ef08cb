// The log as a spreadsheet workbook: exported with libxlsxwriter, imported
// from Office Open XML and binary .xls files, and refused when a file is
// broken or hostile, with the table left as it was.
#include "logfiles/LogCellText.h"
#include "logfiles/workbook/LogWorkbook.h"
#include "logfiles/workbook/WorkbookTestSupport.h"
#include "platform/posix/SystemErrorText.h"

#include <QDir>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <zip.h>

using namespace velkor;
using namespace velkor::test;

namespace {

const QString kFixtures = QStringLiteral(VELKOR_FIXTURES);

LogRowBuffer importRows(const QString& path, const QLocale& locale, bool* six,
                        LogFileResult* result) {
    LogRowBuffer rows;
    *result = readLogWorkbook(path, locale, &rows, six);
    return rows;
}

QString exportTo(const QTemporaryDir& dir, const std::vector<LogRecord>& rows,
                 const char* name = "log.xlsx") {
    VectorLogTable t(rows);
    const QString path = dir.filePath(QString::fromLatin1(name));
    QString reason;
    EXPECT_EQ(exportLogWorkbook(t, path, &reason), WorkbookExportStatus::Saved)
        << reason.toStdString();
    return path;
}

struct RoundTripCase {
    const char* name;
    QLocale locale;
    std::vector<LogRecord> saved;
    std::vector<LogRecord> imported;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class WorkbookRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(WorkbookRoundTrip, ImportGivesTheRowsAsTheSpreadsheetReadThem) {
    QTemporaryDir dir;
    const QString path = exportTo(dir, GetParam().saved);
    bool six = false;
    LogFileResult r;
    const LogRowBuffer rows = importRows(path, GetParam().locale, &six, &r);
    ASSERT_TRUE(r.ok()) << r.reason.toStdString();
    EXPECT_TRUE(six);
    EXPECT_EQ(show(rowsOf(rows)), show(GetParam().imported));
}

INSTANTIATE_TEST_SUITE_P(
    Logs, WorkbookRoundTrip,
    ::testing::Values(
        RoundTripCase{"Empty", QLocale::c(), {}, {}},
        RoundTripCase{"NumbersTimesAndTexts",
                      QLocale::c(),
                      sampleRows(),
                      {rec(1, "09:05:03", "DC", "12.3", "V", "pass"),
                       rec(2, "09:05:04", "AC", "-0.456", "mV", "Fail"),
                       rec(4, "23:59:59", "OHM", "1.234", "k*", "pass"),
                       rec(5, "00:00:00", "TEMP", "25", "#", "pass")}},
        RoundTripCase{"TrimmedJapaneseSymbolsLongTexts",
                      QLocale::c(),
                      {rec(std::nullopt, " 9:05:03 ", "\t DC \n", "  OL ", " kΩ", "判定 ", 5),
                       rec(7, "12345678901234567890", "ABCDEFGHIJKLMNOPQRST",
                           "-12345.6789012345678", "µA°C°F\U0001F50B", "ダイオード導通")},
                      {rec(std::nullopt, "09:05:03", "DC", "OL", "kΩ", "判定"),
                       rec(7, "00:00:00", "ABCDEFGHIJKLMNOPQRST", "-12345.6789012346",
                           "µA°C°F\U0001F50B", "ダイオード導通")}},
        RoundTripCase{"LocaleNotation",
                      QLocale(QLocale::German, QLocale::Germany),
                      {rec(1, "09:05:03", "DC", "012,3", "V", "pass"),
                       rec(2, "9:05 PM", "DC", "12.3", "V", "pass")},
                      {rec(1, "09:05:03", "DC", "12,3", "V", "pass"),
                       rec(2, "21:05:00", "DC", "12,3", "V", "pass")}},
        // Times come in as the locale's numeric time: its separator and
        // hour digits on the 24-hour clock, never a word form. A value with
        // two marks is no meter's number: it stays text.
        RoundTripCase{"UsNumericTime",
                      QLocale(QLocale::English, QLocale::UnitedStates),
                      {rec(1, "21:05:03", "DC", "1,234.5", "V", "pass")},
                      {rec(1, "21:05:03", "DC", "1,234.5", "V", "pass")}},
        RoundTripCase{
            "JapaneseNumericTime",
            QLocale(QLocale::Japanese, QLocale::Japan),
            {rec(1, "21:05:03", "DC", "1", "V", "pass"), rec(2, "09:05:03", "DC", "1", "V", "pass"),
             rec(3, "21時05分03秒", "DC", "1", "V", "pass"),
             rec(4, "午後9時5分3秒", "DC", "1", "V", "pass")},
            {rec(1, "21:05:03", "DC", "1", "V", "pass"), rec(2, "9:05:03", "DC", "1", "V", "pass"),
             rec(3, "21:05:03", "DC", "1", "V", "pass"),
             rec(4, "21:05:03", "DC", "1", "V", "pass")}},
        RoundTripCase{"FinnishNumericTime",
                      QLocale(QLocale::Finnish, QLocale::Finland),
                      {rec(1, "21:05:03", "DC", "1", "V", "pass")},
                      {rec(1, "21.05.03", "DC", "1", "V", "pass")}},
        // Word forms that programs in East Asian locales write are read in
        // any locale.
        RoundTripCase{"WordFormsOfOtherPrograms",
                      QLocale(QLocale::English, QLocale::UnitedStates),
                      {rec(1, "21時05分03秒", "DC", "1", "V", "pass"),
                       rec(2, "오후 9시 5분 3초", "DC", "1", "V", "pass"),
                       rec(3, "下午9点05分03秒", "DC", "1", "V", "pass"),
                       rec(4, "午前12時5分", "DC", "1", "V", "pass")},
                      {rec(1, "21:05:03", "DC", "1", "V", "pass"),
                       rec(2, "21:05:03", "DC", "1", "V", "pass"),
                       rec(3, "21:05:03", "DC", "1", "V", "pass"),
                       rec(4, "0:05:00", "DC", "1", "V", "pass")}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ValueTextCase {
    const char* text;
    std::optional<double> number;
};

class ValueTextNumber : public ::testing::TestWithParam<ValueTextCase> {};

// One mark, "." or ",", is the decimal point; there are no group separators.
TEST_P(ValueTextNumber, OneMarkIsTheDecimalPoint) {
    EXPECT_EQ(valueTextNumber(QString::fromUtf8(GetParam().text)), GetParam().number);
    const WorkbookValue v = workbookValue(QString::fromUtf8(GetParam().text));
    if (GetParam().number) {
        EXPECT_EQ(v.kind, WorkbookValue::Kind::Number);
        EXPECT_EQ(v.number, *GetParam().number);
    } else {
        EXPECT_NE(v.kind, WorkbookValue::Kind::Number);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValueTextNumber,
    ::testing::Values(ValueTextCase{"1.502", 1.502}, ValueTextCase{"1,502", 1.502},
                      ValueTextCase{"-0.0012", -0.0012}, ValueTextCase{"-0,0012", -0.0012},
                      ValueTextCase{" +012.3 ", 12.3}, ValueTextCase{"1502", 1502.0},
                      ValueTextCase{".5", 0.5}, ValueTextCase{",5", 0.5}, ValueTextCase{"5.", 5.0},
                      ValueTextCase{"-1.5E3", -1500.0}, ValueTextCase{"2,5e-3", 0.0025},
                      ValueTextCase{"1.234.5", std::nullopt},
                      ValueTextCase{"1,234.5", std::nullopt},
                      ValueTextCase{"1.234,5", std::nullopt}, ValueTextCase{"1 234", std::nullopt},
                      ValueTextCase{"OL", std::nullopt}, ValueTextCase{"-OL", std::nullopt},
                      ValueTextCase{"0L", std::nullopt}, ValueTextCase{".OL", std::nullopt},
                      ValueTextCase{"-", std::nullopt}, ValueTextCase{".", std::nullopt},
                      ValueTextCase{"1e", std::nullopt}, ValueTextCase{"1e999", std::nullopt},
                      ValueTextCase{"", std::nullopt}));

// A log recorded in one locale, saved as a workbook in another and opened
// in a third keeps every value: whichever mark the meter's text used, the
// workbook holds the same number.
TEST(WorkbookRoundTrip, ValuesAreTheSameInEveryLocale) {
    const QLocale locales[] = {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                               QLocale(QLocale::Japanese, QLocale::Japan)};
    const char* const values[] = {"1.502", "1,502", "-0.0012", "-0,0012", "012.3", "1502",
                                  "0.001", "999,9", "-40.00",  "1.234.5", "OL",    "-OL"};
    std::vector<LogRecord> saved;
    for (const char* v : values) {
        saved.push_back(rec(static_cast<qint32>(saved.size() + 1), "09:05:03", "DC",
                            QString::fromUtf8(v), "V", "pass"));
    }
    // The export reads no locale; the texts carry the marks of both.
    QTemporaryDir dir;
    const QString path = exportTo(dir, saved);
    for (const QLocale& reader : locales) {
        SCOPED_TRACE(reader.name().toStdString());
        bool six = false;
        LogFileResult r;
        const std::vector<LogRecord> back = rowsOf(importRows(path, reader, &six, &r));
        ASSERT_TRUE(r.ok()) << r.reason.toStdString();
        ASSERT_EQ(back.size(), saved.size());
        for (std::size_t i = 0; i < saved.size(); ++i) {
            const std::optional<double> want = valueTextNumber(saved[i].Value);
            if (want) {
                EXPECT_EQ(valueTextNumber(back[i].Value), want)
                    << saved[i].Value.toStdString() << " came back as "
                    << back[i].Value.toStdString();
            } else {
                EXPECT_EQ(back[i].Value, saved[i].Value);
            }
        }
    }
}

TEST(WorkbookExport, CellsAreWhatASpreadsheetMakesOfTheTexts) {
    QTemporaryDir dir;
    const QString path = exportTo(dir, {rec(1, "09:05:03", "DC", "012.3", "V", "pass", 9),
                                        rec(std::nullopt, "", "", "-", "", "")});
    EXPECT_EQ(readAll(path).left(4), QByteArray("PK\x03\x04"));
    CellCollector cells;
    ASSERT_TRUE(readFirstSheet(path, cells).ok());
    EXPECT_EQ(cells.cells,
              (std::vector<std::string>{
                  "1,1:text:No.", "1,2:text:時間", "1,3:text:機能", "1,4:text:数値",
                  "1,5:text:単位", "1,6:text:判定", "2,1:number:1",
                  "2,2:date:" + QString::number(32703.0 / 86400, 'g', 15).toStdString(),
                  "2,3:text:DC", "2,4:number:12.3", "2,5:text:V", "2,6:text:pass", "3,4:text:-"}));
}

TEST(WorkbookExport, RefusesALogLongerThanASheetAndLeavesNoFile) {
    // One row more than a worksheet holds: the refusal comes first.
    LogRowBuffer table;
    const LogRecord row = rec(1, "", "", "", "", "");
    for (qsizetype i = 0; i <= kMaxWorkbookLogRows; ++i) {
        table.append(row);
    }
    QTemporaryDir dir;
    QString reason;
    EXPECT_EQ(exportLogWorkbook(table, dir.filePath(QStringLiteral("big.xls")), &reason),
              WorkbookExportStatus::Failed);
    EXPECT_TRUE(reason.contains(QStringLiteral("XML"))) << reason.toStdString();
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST(WorkbookExport, FailureLeavesNoFile) {
    QTemporaryDir dir;
    VectorLogTable t(sampleRows());
    QString reason;
    EXPECT_EQ(exportLogWorkbook(t, dir.filePath(QStringLiteral("none/log.xls")), &reason),
              WorkbookExportStatus::Failed);
    EXPECT_FALSE(reason.isEmpty());
    // The target is a directory: refused before anything is written.
    QDir(dir.path()).mkdir(QStringLiteral("taken.xls"));
    reason.clear();
    EXPECT_EQ(exportLogWorkbook(t, dir.filePath(QStringLiteral("taken.xls")), &reason),
              WorkbookExportStatus::Failed);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("taken.xls")});
}

// What went wrong is told in Japanese with the system's reason (errno's
// text) after it, never in the workbook libraries' English.
TEST(WorkbookExport, FailureIsToldInJapaneseWithTheSystemsReason) {
    QTemporaryDir dir;
    VectorLogTable t(sampleRows());
    QString reason;
    // A name too long for the folder is the system's reason.
    const QString tooLong = dir.filePath(QString(260, u'a') + QStringLiteral(".xls"));
    EXPECT_EQ(exportLogWorkbook(t, tooLong, &reason), WorkbookExportStatus::Failed);
    EXPECT_EQ(reason,
              QStringLiteral("ファイルを作成できません (%1)").arg(systemErrorText(ENAMETOOLONG)));
    // A name as long as the folder allows is saved: the file is written
    // unnamed, never under a longer temporary name.
    const QString longest = dir.filePath(QString(251, u'a') + QStringLiteral(".xls"));
    EXPECT_EQ(exportLogWorkbook(t, longest, &reason), WorkbookExportStatus::Saved)
        << reason.toStdString();

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken.xls")));
    EXPECT_EQ(exportLogWorkbook(t, dir.filePath(QStringLiteral("taken.xls")), &reason),
              WorkbookExportStatus::Failed);
    EXPECT_EQ(reason,
              QStringLiteral("ファイルを置き換えられません (%1)").arg(notRegularFileText()));
}

TEST(WorkbookImport, ReadsTheBinaryXlsFormatByContent) {
    QTemporaryDir dir;
    // Named .xlsx: the content decides.
    const QString path = dir.filePath(QStringLiteral("log.xlsx"));
    ASSERT_TRUE(QFile::copy(kFixtures + QStringLiteral("/log-biff8.xls"), path));
    bool six = false;
    LogFileResult r;
    const LogRowBuffer rows = importRows(path, QLocale::c(), &six, &r);
    ASSERT_TRUE(r.ok()) << r.reason.toStdString();
    EXPECT_TRUE(six);
    EXPECT_EQ(show(rowsOf(rows)), show({rec(1, "09:05:03", "DC", "12.3", "V", "pass"),
                                        rec(2, "13:00:59", "AC", "OL", "mV", "Fail"),
                                        rec(3, "23:59:59", "OHM", "1234.5", "kΩ", "pass")}));
}

struct RangeCase {
    const char* name;
    std::vector<std::vector<Cell>> rows;
    int firstColumn;
    bool six;
    std::vector<LogRecord> imported;
};

void PrintTo(const RangeCase& c, std::ostream* os) {
    *os << c.name;
}

class WorkbookUsedRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(WorkbookUsedRange, SixColumnsOrNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.xlsx"));
    writeWorkbook(path, GetParam().rows, GetParam().firstColumn);
    bool six = true;
    LogFileResult r;
    const LogRowBuffer rows = importRows(path, QLocale::c(), &six, &r);
    ASSERT_TRUE(r.ok()) << r.reason.toStdString();
    EXPECT_EQ(six, GetParam().six);
    EXPECT_EQ(show(rowsOf(rows)), show(GetParam().imported));
}

const std::vector<Cell> kHeader{"No.", "時間", "機能", "数値", "単位", "判定"};

INSTANTIATE_TEST_SUITE_P(
    Sheets, WorkbookUsedRange,
    ::testing::Values(
        RangeCase{"HeaderOnly", {kHeader}, 0, true, {}},
        RangeCase{
            "SevenColumns", {kHeader, {1.0, 0.5, "DC", 1.0, "V", "pass", "extra"}}, 0, false, {}},
        RangeCase{
            "FiveColumns", {{"No.", "時間", "機能", "数値", "単位"}, {1.0, 0.5}}, 0, false, {}},
        RangeCase{"EmptySheet", {}, 0, false, {}},
        RangeCase{
            "GapsAndOtherTypes",
            {kHeader, {2.5, "10:11:12", 42.0, "x", {}, 1.5}, {}, {3.0, 0.75, {}, {}, {}, "Fail"}},
            0,
            true,
            {rec(2, "10:11:12", "42", "x", "", "1.5"),
             rec(std::nullopt, "00:00:00", "", "", "", ""),
             rec(3, "18:00:00", "", "", "", "Fail")}},
        // The range's size counts, the cells are read from A1 on.
        RangeCase{"RangeStartsInColumnB",
                  {kHeader, {7.0, 0.5, "DC", 1.0, "V", "pass"}},
                  1,
                  true,
                  {rec(std::nullopt, "00:00:00", "0.5", "DC", "1", "V")}}),
    [](const auto& info) { return std::string(info.param.name); });

// The exported sample, changed by `patch`.
QByteArray patchedExport(const std::function<void(QByteArray&)>& patch) {
    QTemporaryDir dir;
    QByteArray bytes = readAll(exportTo(dir, sampleRows()));
    patch(bytes);
    return bytes;
}

// Sets the expanded size that the zip's headers give for the sheet.
void claimSheetSize(QByteArray& zip, quint32 size) {
    const QByteArray name = "xl/worksheets/sheet1.xml";
    for (const auto& [sig, sizeAt, nameLenAt, nameAt] :
         {std::tuple{QByteArray("PK\x03\x04"), 22, 26, 30},
          std::tuple{QByteArray("PK\x01\x02"), 24, 28, 46}}) {
        for (qsizetype at = zip.indexOf(sig); at >= 0; at = zip.indexOf(sig, at + 4)) {
            const int nameLen = static_cast<uchar>(zip[at + nameLenAt]) |
                                (static_cast<uchar>(zip[at + nameLenAt + 1]) << 8);
            if (zip.mid(at + nameAt, nameLen) == name) {
                for (int i = 0; i < 4; ++i) {
                    zip[at + sizeAt + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
                }
            }
        }
    }
}

struct BrokenCase {
    const char* name;
    QByteArray content;
    bool missing = false;
};

void PrintTo(const BrokenCase& c, std::ostream* os) {
    *os << c.name;
}

QByteArray workbookWith(const std::vector<std::vector<Cell>>& rows) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("w.xlsx"));
    writeWorkbook(path, rows);
    return readAll(path);
}

class WorkbookBroken : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(WorkbookBroken, FailsWithAReasonAndGivesNoRows) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("broken.xls"));
    if (!GetParam().missing) {
        writeAll(path, GetParam().content);
    }
    bool six = true;
    LogFileResult r;
    const LogRowBuffer rows = importRows(path, QLocale::c(), &six, &r);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.reason.isEmpty());
    EXPECT_EQ(rows.rowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WorkbookBroken,
    ::testing::Values(
        BrokenCase{"Missing", {}, true}, BrokenCase{"Empty", ""},
        BrokenCase{"TextFile", "No.\t時間\n1\t09:05:03\n"},
        BrokenCase{"XmlPacket", "<?xml version=\"1.0\"?><DATAPACKET/>"},
        BrokenCase{"TruncatedZip", patchedExport([](QByteArray& b) { b.truncate(b.size() / 2); })},
        BrokenCase{"EntryClaimsHugeSize",
                   patchedExport([](QByteArray& b) { claimSheetSize(b, 0xFFFFFF00u); })},
        BrokenCase{"EntryHoldsMoreThanItClaims",
                   patchedExport([](QByteArray& b) { claimSheetSize(b, 200); })},
        BrokenCase{"ZipWithoutWorkbook", patchedExport([](QByteArray& b) {
                       b.replace("xl/workbook.xml", "xl/workbook.xmX");
                   })},
        BrokenCase{"TimeCellNotATime", workbookWith({kHeader,
                                                     {1.0, 0.5, "DC", 1.0, "V", "pass"},
                                                     {2.0, "later", "DC", 1.0, "V", "pass"}})},
        BrokenCase{"NumberCellNotAnInteger",
                   workbookWith({kHeader, {"one", 0.5, "DC", 1.0, "V", "pass"}})},
        BrokenCase{"TruncatedXls",
                   readAll(kFixtures + QStringLiteral("/log-biff8.xls")).left(1000)},
        BrokenCase{"CompoundFileHeaderOnly",
                   QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WorkbookImport, ABrokenZipIsToldInJapanese) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("broken.xlsx"));
    writeAll(path, patchedExport([](QByteArray& b) { b.truncate(b.size() / 2); }));
    bool six = true;
    LogFileResult r;
    importRows(path, QLocale::c(), &six, &r);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.reason.startsWith(QStringLiteral("ZIP アーカイブとして読めません (")))
        << r.reason.toStdString();
    // No English words but the format's name.
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{3,}"));
    for (auto it = word.globalMatch(r.reason); it.hasNext();) {
        EXPECT_EQ(it.next().captured(), QStringLiteral("ZIP")) << r.reason.toStdString();
    }
}

} // namespace

namespace {

// A workbook put together part by part, as other programs write them.
QByteArray handMadeWorkbook(const std::vector<std::pair<const char*, QByteArray>>& parts) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hand.xlsx"));
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    EXPECT_NE(z, nullptr);
    std::vector<QByteArray> keep; // the sources read the bytes at close
    keep.reserve(parts.size());
    for (const auto& [name, bytes] : parts) {
        keep.push_back(bytes);
        zip_source_t* src = zip_source_buffer(z, keep.back().constData(),
                                              static_cast<zip_uint64_t>(keep.back().size()), 0);
        zip_file_add(z, name, src, ZIP_FL_OVERWRITE);
    }
    EXPECT_EQ(zip_close(z), 0);
    return readAll(path);
}

TEST(WorkbookImport, ReadsWhatOtherProgramsWrite) {
    const QByteArray ns =
        "xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    const QByteArray book = handMadeWorkbook({
        {"_rels/.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/officeDocument\" Target=\"/book/main.xml\"/></Relationships>"},
        {"book/main.xml", "<x:workbook " + ns +
                              "><x:workbookPr date1904=\"true\"/><x:sheets>"
                              "<x:sheet name=\"Log\" sheetId=\"7\" r:id=\"rId9\"/><x:sheet "
                              "name=\"Other\" sheetId=\"1\" "
                              "r:id=\"rId8\"/></x:sheets></x:workbook>"},
        {"book/_rels/main.xml.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId8\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/worksheet\" Target=\"sheets/other.xml\"/>"
         "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/worksheet\" Target=\"sheets/../sheets/log.xml\"/>"
         "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/sharedStrings\" Target=\"strings.xml\"/>"
         "<Relationship Id=\"rId4\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/styles\" Target=\"look.xml\"/></Relationships>"},
        {"book/strings.xml",
         "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<si><t>No.</t></si>"
         "<si><r><rPr><b/></rPr><t>k</t></r><r><t xml:space=\"preserve\">Ω </t></r>"
         "<rPh sb=\"0\" eb=\"1\"><t>ケー</t></rPh></si>"
         "<si><t>直流</t><rPh sb=\"0\" eb=\"2\"><t>チョクリュウ</t></rPh></si></sst>"},
        {"book/look.xml",
         "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<numFmts><numFmt numFmtId=\"170\" formatCode=\"[h]:mm:ss\"/>"
         "<numFmt numFmtId=\"171\" formatCode=\"&quot;day&quot; 0.0\"/></numFmts>"
         "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs>"
         "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"170\"/><xf numFmtId=\"171\"/>"
         "<xf numFmtId=\"14\"/></cellXfs></styleSheet>"},
        {"book/sheets/other.xml", "<x:worksheet " + ns + "><x:sheetData/></x:worksheet>"},
        {"book/sheets/log.xml",
         "<x:worksheet " + ns +
             "><x:sheetData>"
             "<x:row><x:c t=\"s\"><x:v>0</x:v></x:c><x:c/><x:c/><x:c/><x:c/><x:c/></x:row>"
             "<x:row r=\"2\"><x:c r=\"A2\"><x:v>1</x:v></x:c><x:c s=\"1\"><x:v>1.25</x:v></x:c>"
             "<x:c t=\"s\"><x:v>2</x:v></x:c><x:c s=\"2\"><x:v>2.5E1</x:v></x:c>"
             "<x:c t=\"s\"><x:v>1</x:v></x:c><x:c t=\"b\"><x:v>1</x:v></x:c></x:row>"
             "<x:row r=\"3\"><x:c r=\"A3\" t=\"str\"><x:f>A2+1</x:f><x:v>2</x:v></x:c>"
             "<x:c r=\"B3\" t=\"inlineStr\"><x:is><x:r><x:t>07:08:09</x:t></x:r></x:is></x:c>"
             "<x:c r=\"D3\" s=\"3\"><x:v>1</x:v></x:c><x:c r=\"F3\" t=\"str\"><x:v>Fail</x:v></x:c>"
             "</x:row></x:sheetData></x:worksheet>"},
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.xls"));
    writeAll(path, book);

    CellCollector cells;
    const LogFileResult read = readFirstSheet(path, cells);
    ASSERT_TRUE(read.ok()) << read.reason.toStdString();
    EXPECT_TRUE(cells.date1904);

    bool six = false;
    LogFileResult r;
    const LogRowBuffer rows = importRows(path, QLocale::c(), &six, &r);
    ASSERT_TRUE(r.ok()) << r.reason.toStdString();
    EXPECT_TRUE(six);
    // 1904 dates: serial 1 is 2 January 1904.
    EXPECT_EQ(show(rowsOf(rows)), show({rec(1, "06:00:00", "直流", "25", "kΩ ", "True"),
                                        rec(2, "07:08:09", "", "2 Jan 1904", "", "Fail")}));
}

} // namespace
