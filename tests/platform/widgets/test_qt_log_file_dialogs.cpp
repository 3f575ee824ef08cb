// The Qt file dialogs of the log commands, driven offscreen: the filters,
// the overwrite question, the default extension following the chosen
// filter, cancelling.
#include "platform/widgets/QtLogFileDialogs.h"
#include "logfiles/commands/LogFileCommands.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace velkor;

namespace {

// Types a name into the dialog's name field and presses its accept button.
void typeAndAccept(QFileDialog& d, const QString& name) {
    auto* edit = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
    QMetaObject::invokeMethod(&d, "accept");
}

// Waits for the file dialog and acts on it, as a user would.
void whenDialogShows(const std::function<void(QFileDialog&)>& act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(*d);
        }
    });
    timer->start();
}

LogFileDialogs::Options saveOptions() {
    LogFileDialogs::Options o;
    o.filter = LogFileCommands::kSaveFilter;
    o.defaultExtension = QStringLiteral("xls");
    o.confirmOverwrite = true;
    return o;
}

TEST(QtLogFileDialogs, SaveTakesTheChosenFiltersExtension) {
    QTemporaryDir dir;
    QtLogFileDialogs dialogs(nullptr);
    QStringList filters;
    bool confirms = false;
    whenDialogShows([&](QFileDialog& d) {
        filters = d.nameFilters();
        confirms = !d.testOption(QFileDialog::DontConfirmOverwrite);
        d.setDirectory(dir.path());
        d.selectNameFilter(QStringLiteral("XML(*.xml)"));
        emit d.filterSelected(QStringLiteral("XML(*.xml)"));
        typeAndAccept(d, QStringLiteral("log"));
    });
    const auto name = dialogs.saveFileName(saveOptions());
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(*name, dir.filePath(QStringLiteral("log.xml")));
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML(*.xml)"),
                                    QStringLiteral("Txt File(*.txt)"), QStringLiteral("CSV File(*.csv)"),
                                    QStringLiteral("SQLite(*.sqlite *.db)")}));
    EXPECT_TRUE(confirms);
}

TEST(QtLogFileDialogs, TheCsvAndSqliteChoicesGiveTheirNames) {
    QTemporaryDir dir;
    QtLogFileDialogs dialogs(nullptr);
    for (const auto& [filter, chosen] : {std::pair{"CSV File(*.csv)", "log.csv"},
                                         std::pair{"SQLite(*.sqlite *.db)", "log.sqlite"}}) {
        whenDialogShows([&](QFileDialog& d) {
            d.setDirectory(dir.path());
            d.selectNameFilter(QString::fromLatin1(filter));
            emit d.filterSelected(QString::fromLatin1(filter));
            typeAndAccept(d, QStringLiteral("log"));
        });
        const auto name = dialogs.saveFileName(saveOptions());
        ASSERT_TRUE(name.has_value()) << filter;
        EXPECT_EQ(*name, dir.filePath(QString::fromLatin1(chosen)));
    }
}

TEST(QtLogFileDialogs, SaveAddsTheDefaultExtensionAndKeepsATypedOne) {
    QTemporaryDir dir;
    QtLogFileDialogs dialogs(nullptr);
    for (const auto& [typed, chosen] : {std::pair{"log", "log.xls"}, std::pair{"log.XML", "log.XML"}}) {
        whenDialogShows([&](QFileDialog& d) {
            d.setDirectory(dir.path());
            typeAndAccept(d, QString::fromLatin1(typed));
        });
        const auto name = dialogs.saveFileName(saveOptions());
        ASSERT_TRUE(name.has_value()) << typed;
        EXPECT_EQ(*name, dir.filePath(QString::fromLatin1(chosen)));
    }
}

TEST(QtLogFileDialogs, OpenStartsAtTheLastNameAndCanBeCancelled) {
    QTemporaryDir dir;
    QtLogFileDialogs dialogs(nullptr);
    LogFileDialogs::Options o;
    o.filter = LogFileCommands::kOpenFilter;
    o.fileName = dir.filePath(QStringLiteral("last.xls"));
    QString shownDir;
    QStringList filters;
    whenDialogShows([&](QFileDialog& d) {
        shownDir = d.directory().absolutePath();
        filters = d.nameFilters();
        d.reject();
    });
    EXPECT_FALSE(dialogs.openFileName(o).has_value());
    EXPECT_EQ(shownDir, QDir(dir.path()).absolutePath());
    EXPECT_EQ(filters.value(1), QStringLiteral("XML (*.xml)"));
}

TEST(FileDialogFilter, InQtSyntax) {
    EXPECT_EQ(qtFileDialogFilter(LogFileCommands::kSaveFilter),
              QStringLiteral("Excel File(*.xls);;XML(*.xml);;Txt File(*.txt);;CSV File(*.csv);;"
                             "SQLite(*.sqlite *.db)"));
    EXPECT_EQ(qtFileDialogFilter(LogFileCommands::kOpenFilter),
              QStringLiteral("Excel File(*.xls);;XML (*.xml);;Txt File(*.txt);;"
                             "SQLite(*.sqlite *.db)"));
    // Several patterns: ";" there, blanks in Qt's filters.
    EXPECT_EQ(qtFileDialogFilter(QStringLiteral("Logs|*.log;*.xml|All|*")),
              QStringLiteral("Logs (*.log *.xml);;All (*)"));
}

} // namespace
