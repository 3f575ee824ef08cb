#include "record/view/LogGrid.h"

#include "record/MeasurementTable.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

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

} // namespace

void bindLogGrid(QTableView& grid, MeasurementTable& table, const QFont& unitFont) {
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

    QObject::connect(&table, &QAbstractItemModel::rowsInserted, &grid,
                     [&grid, &table](const QModelIndex&, int, int last) {
                         const QModelIndex newest = table.index(last, 0);
                         grid.setCurrentIndex(newest);
                         grid.scrollTo(newest);
                     });
}

} // namespace velkor
