// Files damaged at random, from a fixed seed: every load either gives rows
// or fails with a reason, and never crashes, hangs or changes the table on
// failure. (Under the sanitizer build this also checks memory use.)
#include "record/LogTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/sqlite/LogSqliteFile.h"
#include "logfiles/workbook/LogWorkbook.h"

#include <QBuffer>
#include <random>

using namespace velkor;
using namespace velkor::test;

namespace {

const QString kFixtures = QStringLiteral(VELKOR_FIXTURES);

QByteArray mutate(QByteArray bytes, std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 3);
    const int edits = std::uniform_int_distribution<int>(1, 4)(rng);
    for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
        const auto at = std::uniform_int_distribution<qsizetype>(0, bytes.size() - 1)(rng);
        switch (kind(rng)) {
        case 0: bytes[at] = static_cast<char>(rng()); break; // change a byte
        case 1: bytes.remove(at, std::uniform_int_distribution<int>(1, 16)(rng)); break;
        case 2: bytes.insert(at, QByteArray(1, static_cast<char>(rng()))); break;
        case 3: bytes.truncate(at); break;
        }
    }
    return bytes;
}

QByteArray exported(const char* name) {
    QTemporaryDir dir;
    VectorLogTable t(sampleRows());
    const QString path = dir.filePath(QString::fromLatin1(name));
    QString reason;
    if (QString::fromLatin1(name).endsWith(QLatin1String(".xml"))) {
        saveLogXml(t, path);
    } else if (isSqliteName(path)) {
        saveLogSqlite(t.store(), path, {});
    } else {
        exportLogWorkbook(t, path, &reason);
    }
    return readAll(path);
}

struct Source {
    const char* name;
    QByteArray bytes;
};

class Mutations : public ::testing::TestWithParam<int> {};

TEST_P(Mutations, LoadsOrFailsWithoutChangingTheTable) {
    const Source sources[] = {{"log.xml", exported("log.xml")},
                              {"log.xls", exported("log.xlsx")},
                              {"biff.xls", readAll(kFixtures + QStringLiteral("/log-biff8.xls"))},
                              {"log.sqlite", exported("log.sqlite")}};
    QTemporaryDir dir;
    std::mt19937 rng(static_cast<unsigned>(GetParam()));
    int failures = 0;
    for (const Source& s : sources) {
        ASSERT_FALSE(s.bytes.isEmpty()) << s.name;
        for (int i = 0; i < 100; ++i) {
            const QString path = dir.filePath(QString::fromLatin1(s.name));
            writeAll(path, mutate(s.bytes, rng));
            VectorLogTable table(sampleRows());
            LogFileResult r;
            if (QString::fromLatin1(s.name).endsWith(QLatin1String(".xml"))) {
                r = loadLogXml(path, table);
            } else if (isSqliteName(path)) {
                LogRowBuffer rows;
                r = readLogSqlite(path, rows);
                if (r) {
                    table.replaceRows(std::move(rows));
                }
            } else {
                LogRowBuffer rows;
                bool six = false;
                r = readLogWorkbook(path, QLocale::c(), &rows, &six);
                if (r && six) {
                    table.appendRows(rows);
                }
            }
            if (!r) {
                ++failures;
                EXPECT_FALSE(r.reason.isEmpty());
                EXPECT_EQ(table.changes, 0) << s.name << " mutation " << i;
            }
        }
    }
    // The damage is real: most damaged files are refused.
    EXPECT_GT(failures, 100);
}

INSTANTIATE_TEST_SUITE_P(Seeds, Mutations, ::testing::Values(1, 2, 3));

} // namespace
