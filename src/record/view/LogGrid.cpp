#include "record/view/LogGrid.h"

#include "record/MeasurementTable.h"

#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScrollBar>
#include <QStaticText>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>

namespace velkor {

namespace {

// Draws a cell as the style draws an item: its background and selection,
// then its text, one line, aligned as the table says, in the grid's font.
// The texts are laid out once and kept: a log repeats its
// functions, units, verdicts and times from row to row, and shaping the
// text of every new cell anew is most of what a row costs to paint.
class CellDelegate final : public QStyledItemDelegate {
public:
    explicit CellDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
        if (!opt.text.isEmpty()) {
            const QPalette::ColorGroup group =
                !(opt.state & QStyle::State_Enabled)  ? QPalette::Disabled
                : !(opt.state & QStyle::State_Active) ? QPalette::Inactive
                                                      : QPalette::Normal;
            painter->save();
            painter->setClipRect(opt.rect);
            painter->setFont(opt.font);
            painter->setPen(opt.palette.color(group, (opt.state & QStyle::State_Selected)
                                                         ? QPalette::HighlightedText
                                                         : QPalette::Text));
            const QStaticText& text = laidOut(opt.text, opt.font);
            const QSizeF size = text.size();
            const int margin =
                style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
            // Placed as the style places a laid-out line: centred in whole pixels.
            const QRect r = opt.rect.adjusted(margin, 0, -margin, 0);
            const Qt::Alignment h = QStyle::visualAlignment(opt.direction, opt.displayAlignment);
            const qreal x = (h & Qt::AlignRight)     ? r.left() + r.width() - size.width()
                            : (h & Qt::AlignHCenter) ? r.left() + (r.width() - size.width()) / 2
                                                     : r.left();
            const int y = r.top() + (r.height() - static_cast<int>(size.height())) / 2;
            painter->drawStaticText(QPointF(x, y), text);
            painter->restore();
        }
        if (opt.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(opt);
            focus.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &opt, widget);
            focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
            focus.backgroundColor = opt.palette.color(
                (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled,
                (opt.state & QStyle::State_Selected) ? QPalette::Highlight : QPalette::Window);
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
        }
    }

private:
    const QStaticText& laidOut(const QString& text, const QFont& font) const {
        const QString key = font.key() + QLatin1Char('\n') + text;
        if (const auto it = texts_.constFind(key); it != texts_.constEnd()) {
            return *it;
        }
        if (texts_.size() >= 4096) {
            texts_.clear(); // a log of ever new texts keeps only the latest
        }
        QStaticText t(text);
        t.setTextFormat(Qt::PlainText);
        t.setPerformanceHint(QStaticText::AggressiveCaching);
        t.prepare(QTransform(), font);
        return *texts_.insert(key, t);
    }

    mutable QHash<QString, QStaticText> texts_;
};

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
    grid.setItemDelegate(new CellDelegate(&grid));
    // The unit symbols come partly from fallback fonts, which the style
    // places on a line of their own height: that column is drawn by it.
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
    // Rows the user has selected (more than one, for their statistics)
    // stay selected while the newest row becomes current.
    QItemSelectionModel* selection = grid.selectionModel();
    if (selection && selection->selection().size() > 0 &&
        (selection->selection().size() > 1 || selection->selection().first().height() > 1)) {
        selection->setCurrentIndex(newest, QItemSelectionModel::NoUpdate);
    } else {
        grid.setCurrentIndex(newest);
    }
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

void LogGridView::verticalScrollbarValueChanged(int value) {
    if (viewport()->underMouse()) {
        QTableView::verticalScrollbarValueChanged(value);
    }
}

void bindLogGrid(QTableView& grid, MeasurementTable& table, const QFont& unitFont) {
    setUp(grid, table, unitFont);
    QObject::connect(
        &table, &QAbstractItemModel::rowsInserted, &grid,
        [&grid, &table](const QModelIndex&, int, int) { showNewest(grid, table.rowCount()); });
}

} // namespace velkor
