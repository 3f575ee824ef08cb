#include "record/view/LogGrid.h"

#include "record/MeasurementTable.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace velkor {

namespace {

// Draws its column in its own font.
class FontDelegate final : public QStyledItemDelegate {
public:
    FontDelegate(const QFont& font, QObject* parent) : QStyledItemDelegate(parent), font_(font) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->font = font_;
        option->fontMetrics = QFontMetrics(font_);
    }

private:
    QFont font_;
};

constexpr int kUnitColumn = 4;

void setUp(QTableView& grid, MeasurementTable& table, const QFont& unitFont) {
    grid.setModel(&table);
    grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int c = 0; c < MeasurementTable::kGridColumns; ++c) {
        grid.setColumnWidth(c, MeasurementTable::gridColumnWidth(c));
    }
    grid.setItemDelegateForColumn(kUnitColumn, new FontDelegate(unitFont, &grid));
    // The narrow columns hold short fixed texts ("09:05:03"); show them whole
    // rather than replace their last characters by an ellipsis.
    grid.setTextElideMode(Qt::ElideNone);
    // Every row has the height of the grid's font; a fixed height lets the
    // view place a million rows without measuring any of them.
    QHeaderView* rows = grid.verticalHeader();
    rows->hide(); // no row indicator
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(grid.fontMetrics().height() + 4);
}

void showNewest(QTableView& grid, int rowCount) {
    if (rowCount <= 0) {
        return;
    }
    const QModelIndex newest = grid.model()->index(rowCount - 1, 0);
    grid.setCurrentIndex(newest);
    grid.scrollTo(newest);
}

} // namespace

LogGridView::LogGridView(QWidget* parent) : QTableView(parent) {}

void LogGridView::bind(MeasurementTable& table, const QFont& unitFont) {
    setUp(*this, table, unitFont);
    followedRows_ = table.rowCount();
    connect(&table, &QAbstractItemModel::rowsInserted, this,
            [this, &table](const QModelIndex&, int first, int last) {
                if (last == table.rowCount() - 1) {
                    rowsAppended(first);
                } else {
                    reshaped();
                }
            });
    // Rows that replace the table's rows are not appended ones: the grid
    // follows only rows appended after them.
    connect(&table, &QAbstractItemModel::modelReset, this, [this, &table] {
        reshaped();
        followedRows_ = static_cast<int>(table.rowCount());
    });
    const auto shrunk = [this, &table] {
        reshaped();
        followedRows_ = std::min(followedRows_, static_cast<int>(table.rowCount()));
    };
    connect(&table, &QAbstractItemModel::layoutChanged, this, shrunk);
    connect(&table, &QAbstractItemModel::rowsRemoved, this, shrunk);
}

void LogGridView::rowsAppended(int first) {
    if (appendedFrom_ < 0 || first < appendedFrom_) {
        appendedFrom_ = first;
    }
}

void LogGridView::reshaped() {
    reshaped_ = true;
}

void LogGridView::followNewestRow() {
    const int rows = model() ? model()->rowCount() : 0;
    if (rows == followedRows_) {
        return;
    }
    followedRows_ = rows;
    showNewest(*this, rows);
}

void LogGridView::doItemsLayout() {
    if (reshaped_ || appendedFrom_ < 0 || !model()) {
        reshaped_ = false;
        appendedFrom_ = -1;
        QTableView::doItemsLayout();
        return;
    }
    // Only rows appended at the end: the scroll range grows, and of the rows
    // in view only the new ones need painting (usually none: they come in
    // below the view, and scrolling to them moves what is drawn).
    const int first = appendedFrom_;
    appendedFrom_ = -1;
    updateGeometries();
    const int top = rowViewportPosition(first);
    if (top >= 0 && top < viewport()->height()) {
        viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
    }
}

void bindLogGrid(QTableView& grid, MeasurementTable& table, const QFont& unitFont) {
    setUp(grid, table, unitFont);
    QObject::connect(
        &table, &QAbstractItemModel::rowsInserted, &grid,
        [&grid, &table](const QModelIndex&, int, int) { showNewest(grid, table.rowCount()); });
}

} // namespace velkor
