// The log grid: it follows the newest row when told, however many rows came
// since, and rows appended to a grid that is full paint only themselves
// (and the row that was current), not every row in view.

#include "record/LogTestSupport.h"
#include "record/MeasurementTable.h"
#include "record/view/LogGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QScrollBar>
#include <QThread>
#include <gtest/gtest.h>

using namespace velkor;

namespace {

// The viewport area painted, as the union of the paint events' regions.
class PaintedArea : public QObject {
public:
    QRegion region;
    int paints = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            region += static_cast<QPaintEvent*>(e)->region();
            ++paints;
        }
        return QObject::eventFilter(o, e);
    }
};

void settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QThread::msleep(2);
    }
}

class LogGridTest : public ::testing::Test {
protected:
    LogGridTest() {
        grid.resize(303, 241);
        grid.bind(table, grid.font());
        grid.show();
        settle();
    }
    void append(int rows) {
        for (int i = 0; i < rows; ++i) {
            const auto n = static_cast<std::int32_t>(table.rowCount() + 1);
            table.appendLogged(n, 0, QStringLiteral("DC"), QString::number(n), QStringLiteral("V"),
                               QStringLiteral("pass"));
        }
    }
    int rowHeight() const { return grid.rowHeight(0); }

    MeasurementTable table;
    LogGridView grid;
};

TEST_F(LogGridTest, FollowsTheNewestRowWhenTold) {
    append(50);
    settle();
    EXPECT_FALSE(grid.currentIndex().isValid()); // not yet told
    grid.followNewestRow();
    EXPECT_EQ(grid.currentIndex().row(), 49);
    EXPECT_TRUE(grid.viewport()->rect().intersects(grid.visualRect(table.index(49, 0))));
    // Nothing new: the user may look elsewhere.
    grid.setCurrentIndex(table.index(3, 0));
    grid.followNewestRow();
    EXPECT_EQ(grid.currentIndex().row(), 3);
    append(1);
    grid.followNewestRow();
    EXPECT_EQ(grid.currentIndex().row(), 50);
    // Emptied and filled again, it follows from the start.
    table.clear();
    append(2);
    grid.followNewestRow();
    EXPECT_EQ(grid.currentIndex().row(), 1);
    // Rows that replace the table's rows are not followed by themselves;
    // rows appended after them are.
    table.replaceRows(test::bufferOf(
        {LogRecord{1, QStringLiteral("09:00:00"), QStringLiteral("DC"), QStringLiteral("1"),
                   QStringLiteral("V"), QStringLiteral("pass"), std::nullopt},
         LogRecord{2, QStringLiteral("09:00:01"), QStringLiteral("DC"), QStringLiteral("2"),
                   QStringLiteral("V"), QStringLiteral("pass"), std::nullopt}}));
    grid.setCurrentIndex(table.index(0, 0));
    grid.followNewestRow();
    EXPECT_EQ(grid.currentIndex().row(), 0);
    append(1);
    grid.followNewestRow();
    EXPECT_EQ(grid.currentIndex().row(), 2);
}

TEST_F(LogGridTest, RowsAppendedToAFullGridPaintOnlyThemselves) {
    append(200);
    grid.followNewestRow();
    settle();
    ASSERT_GT(grid.verticalScrollBar()->maximum(), 0);
    PaintedArea painted;
    grid.viewport()->installEventFilter(&painted);
    for (int round = 0; round < 3; ++round) {
        painted.region = QRegion();
        painted.paints = 0;
        append(2);
        settle(); // the grid lays the new rows out
        grid.followNewestRow();
        settle();
        EXPECT_EQ(grid.currentIndex().row(), table.rowCount() - 1);
        EXPECT_GT(painted.paints, 0);
        // The two new rows, the row that was current, and a grid line.
        int area = 0;
        for (const QRect& r : painted.region) {
            area += r.width() * r.height();
        }
        EXPECT_LE(area, grid.viewport()->width() * (4 * rowHeight() + 2))
            << "painted " << painted.region.boundingRect().height() << " pixels high of "
            << grid.viewport()->height();
    }
    grid.viewport()->removeEventFilter(&painted);
}

} // namespace
