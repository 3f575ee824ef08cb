// The log files and the printed report in the main window: saveas and
// OpenDataFiles through scripted file dialogs over real files, the failures
// told in a box, and BtPrint's preview window over a copy of the log.

#include "app/WindowTestSupport.h"
#include "pipeline/MeterSession.h"
#include "record/LogTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/commands/LogFileCommands.h"
#include "logfiles/workbook/LogWorkbook.h"
#include "record/report/preview/LogReportPreview.h"

#include <QAbstractItemModel>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;

namespace {

MeterFrame dcVolts(const std::string& display) {
    return meterFrame(display, {status1::Auto | status1::DC, 0, 0, status4::Volt});
}

// A window that has logged `rows` readings, with a directory for its files.
struct FilesWindow : WindowFixture {
    QTemporaryDir dir;

    explicit FilesWindow(int rows = 3) {
        for (int i = 0; i < rows; ++i) {
            logReading(i);
        }
    }
    // 01.00, 01.01, ...: every reading differs from the one before.
    void logReading(int i) { send(dcVolts("01." + std::to_string(10 + i))); }
    void click(const char* button) {
        QTest::mouseClick(child<QToolButton>(button), Qt::LeftButton);
    }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    MeasurementTable& cds1() { return window->session().cds1; }
    int gridRows() const { return child<QTableView>("DBGrid1")->model()->rowCount(); }
    // Chooses `file` in the next file dialog and clicks the button.
    void choose(const QString& file, const char* button) {
        fileDialogs.answers.push_back(file);
        click(button);
    }
};

class WindowSave : public ::testing::TestWithParam<SaveNameCase> {};

TEST_P(WindowSave, WritesTheLogAndTellsWhere) {
    FilesWindow w;
    const QString file = w.path(GetParam().name);
    w.choose(file, "saveas");

    ASSERT_EQ(w.fileDialogs.shown.size(), 1u);
    const auto& shown = w.fileDialogs.shown[0];
    EXPECT_TRUE(shown.save);
    EXPECT_EQ(shown.options.filter, LogFileCommands::kSaveFilter);
    EXPECT_EQ(shown.options.defaultExtension, QStringLiteral("xls"));
    EXPECT_TRUE(shown.options.confirmOverwrite);
    EXPECT_TRUE(shown.options.fileName.isEmpty());
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, file + QStringLiteral("に保存"));
    EXPECT_EQ(w.boxes.shown[0].icon, MessageBoxes::Icon::Information);

    const QByteArray bytes = readAll(file);
    EXPECT_EQ(bytes.startsWith("<?xml"), GetParam().xml);
    EXPECT_EQ(bytes.startsWith("PK"), !GetParam().xml);
    LogRowBuffer saved;
    if (GetParam().xml) {
        ASSERT_TRUE(loadLogXml(file, saved));
    } else {
        bool six = false;
        ASSERT_TRUE(readLogWorkbook(file, w.locale.userLocale(), &saved, &six));
        EXPECT_TRUE(six);
    }
    ASSERT_EQ(saved.rowCount(), 3);
    for (qsizetype i = 0; i < 3; ++i) {
        const LogRecord want = w.cds1().row(i);
        EXPECT_EQ(saved.row(i).No, want.No);
        EXPECT_EQ(saved.row(i).Time, want.Time);
        EXPECT_EQ(saved.row(i).Value.toDouble(), want.Value.toDouble());
        EXPECT_EQ(saved.row(i).Auto, want.Auto);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, WindowSave, saveNameCases(), saveNameCaseName);

TEST(WindowOpen, XmlReplacesTheRowsAndLoggingKeepsItsNumbering) {
    FilesWindow w(2);
    const QString file = w.path("saved.xml");
    ASSERT_TRUE(saveLogXml(VectorLogTable(sampleRows()), file));

    // The two logged rows are not saved: asked about first, let go.
    w.boxes.answers = {MessageBoxes::Answer::Discard};
    w.choose(file, "OpenDataFiles");
    EXPECT_EQ(show(rowsOf(w.cds1())), show(sampleRows()));
    EXPECT_EQ(w.gridRows(), 4);
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].buttons, MessageBoxes::Buttons::Choices);

    w.logReading(7);
    ASSERT_EQ(w.cds1().rowCount(), 5);
    EXPECT_EQ(w.cds1().row(4).No, 3);
}

TEST(WindowOpen, WorkbookAppendsAndTheDialogKeepsTheName) {
    FilesWindow w(2);
    const std::vector<LogRecord> before = rowsOf(w.cds1());
    const QString file = w.path("saved.xls");
    QString reason;
    ASSERT_EQ(exportLogWorkbook(VectorLogTable(sampleRows()), file, &reason),
              WorkbookExportStatus::Saved)
        << reason.toStdString();

    w.choose(file, "OpenDataFiles");
    ASSERT_EQ(w.cds1().rowCount(), 6);
    EXPECT_EQ(w.gridRows(), 6);
    std::vector<LogRecord> after = rowsOf(w.cds1());
    after.resize(2);
    EXPECT_EQ(show(after), show(before));
    EXPECT_EQ(w.cds1().row(2).Time, QStringLiteral("09:05:03"));
    EXPECT_EQ(w.cds1().row(5).DCAC, QStringLiteral("TEMP"));
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, QStringLiteral("インポートに成功しました"));

    w.click("OpenDataFiles"); // cancelled
    ASSERT_EQ(w.fileDialogs.shown.size(), 2u);
    EXPECT_FALSE(w.fileDialogs.shown[1].save);
    EXPECT_EQ(w.fileDialogs.shown[1].options.filter, LogFileCommands::kOpenFilter);
    EXPECT_EQ(w.fileDialogs.shown[1].options.fileName, file);
    EXPECT_EQ(w.cds1().rowCount(), 6);
    EXPECT_EQ(w.boxes.shown.size(), 1u);
}

struct FailureCase {
    const char* label;
    const char* button;
    const char* name;
    QByteArray content; // written first unless empty
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.label;
}

class WindowFileFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WindowFileFailure, IsToldAndLeavesTheLog) {
    FilesWindow w;
    const std::vector<LogRecord> before = rowsOf(w.cds1());
    const QString file = w.path(GetParam().name);
    if (!GetParam().content.isEmpty()) {
        writeAll(file, GetParam().content);
    }
    // An XML file to open would replace the unsaved rows: the question
    // before it is answered "保存しない".
    const bool replaces =
        QByteArrayView(GetParam().button) == "OpenDataFiles" && LogFileCommands::isXmlName(file);
    w.boxes.answers = {MessageBoxes::Answer::Discard};
    w.choose(file, GetParam().button);

    ASSERT_EQ(w.boxes.shown.size(), replaces ? 2u : 1u);
    const auto& told = w.boxes.shown.back();
    EXPECT_EQ(told.icon, MessageBoxes::Icon::Error);
    EXPECT_TRUE(told.text.startsWith(file)) << told.text.toStdString();
    EXPECT_EQ(show(rowsOf(w.cds1())), show(before));
    EXPECT_EQ(w.gridRows(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowFileFailure,
    ::testing::Values(FailureCase{"OpenMissingXml", "OpenDataFiles", "missing.xml", {}},
                      FailureCase{"OpenMissingWorkbook", "OpenDataFiles", "missing.xls", {}},
                      FailureCase{"OpenXmlNoPacket", "OpenDataFiles", "bad.xml", "<html/>"},
                      FailureCase{"OpenWorkbookNotOne", "OpenDataFiles", "bad.xls",
                                  "No.,時間\n1,2\n"},
                      FailureCase{"SaveXmlNoFolder", "saveas", "none/log.xml", {}},
                      FailureCase{"SaveWorkbookNoFolder", "saveas", "none/log.xls", {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(WindowFiles, CancelledDialogsChangeNothing) {
    FilesWindow w;
    w.click("saveas");
    w.click("OpenDataFiles");
    EXPECT_EQ(w.fileDialogs.shown.size(), 2u);
    EXPECT_TRUE(w.boxes.shown.empty());
    EXPECT_EQ(w.cds1().rowCount(), 3);
    EXPECT_TRUE(QDir(w.dir.path()).isEmpty());
}

std::vector<LogReportPreview*> previews(const TFCOMM& window) {
    std::vector<LogReportPreview*> open;
    for (auto* p : window.findChildren<LogReportPreview*>()) {
        if (p->isVisible()) {
            open.push_back(p);
        }
    }
    return open;
}

TEST(WindowPrint, PreviewOpensOnceOverACopyWhileLoggingGoesOn) {
    FilesWindow w;
    w.click("BtPrint");
    QApplication::processEvents();
    ASSERT_EQ(previews(*w.window).size(), 1u);
    LogReportPreview* preview = previews(*w.window)[0];
    EXPECT_EQ(w.window->reportPreview.data(), preview);
    EXPECT_FALSE(preview->isModal());
    EXPECT_EQ(preview->report().rowCount(), 3);

    w.logReading(5); // the main window keeps logging
    EXPECT_EQ(w.cds1().rowCount(), 4);
    EXPECT_EQ(preview->report().rowCount(), 3);

    w.click("BtPrint"); // does nothing while the preview is open
    QApplication::processEvents();
    EXPECT_EQ(previews(*w.window), std::vector{preview});
    EXPECT_TRUE(w.boxes.shown.empty());

    preview->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.window->reportPreview.isNull());
    w.click("BtPrint");
    QApplication::processEvents();
    ASSERT_EQ(previews(*w.window).size(), 1u);
    EXPECT_EQ(previews(*w.window)[0]->report().rowCount(), 4);
    previews(*w.window)[0]->close();
}

TEST(WindowPrint, EmptyLogGivesNoPreview) {
    FilesWindow w(0);
    w.click("BtPrint");
    QApplication::processEvents();
    EXPECT_TRUE(previews(*w.window).empty());
    EXPECT_TRUE(w.window->reportPreview.isNull());
    EXPECT_TRUE(w.boxes.shown.empty());
}

} // namespace
