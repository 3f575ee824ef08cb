#include "record/MeasurementTable.h"

#include "meter/DisplaySymbols.h"

namespace velkor {

namespace {

struct GridColumn {
    const char* title; // UTF-8
    int width;
    Qt::Alignment alignment;
};

// Column k of the grid shows field k of the table (NVal, field 6, has none).
const GridColumn kColumns[MeasurementTable::kGridColumns] = {
    {"No.", 39, Qt::AlignLeft | Qt::AlignVCenter},
    {"時間", 53, Qt::AlignCenter},
    {"機能", 42, Qt::AlignCenter},
    {"数値", 51, Qt::AlignRight | Qt::AlignVCenter},
    {"単位", 36, Qt::AlignRight | Qt::AlignVCenter},
    {"判定", 38, Qt::AlignLeft | Qt::AlignVCenter},
};

constexpr int kUnitColumn = 4;

} // namespace

int MeasurementTable::gridColumnWidth(int column) {
    return kColumns[column].width;
}

QString MeasurementTable::gridColumnTitle(int column) {
    return QString::fromUtf8(kColumns[column].title);
}

Qt::Alignment MeasurementTable::gridColumnAlignment(int column) {
    return kColumns[column].alignment;
}

MeasurementTable::MeasurementTable(QObject* parent) : QAbstractTableModel(parent) {}

void MeasurementTable::appendLogged(std::int32_t no, const QString& time,
                                    const QString& function, const QString& value,
                                    const QString& unit, const QString& judge) {
    rows_.append(no, {time, function, value, unit, judge});
    announce();
}

void MeasurementTable::announce() {
    const qsizetype count = rows_.rowCount();
    if (count > shown_) {
        beginInsertRows(QModelIndex(), static_cast<int>(shown_), static_cast<int>(count - 1));
        shown_ = count;
        endInsertRows();
    }
}

void MeasurementTable::clear() {
    beginResetModel();
    rows_.clear();
    shown_ = 0;
    endResetModel();
}

void MeasurementTable::appendRows(const LogRowBuffer& rows) {
    rows_.appendAll(rows);
    announce();
}

void MeasurementTable::replaceRows(LogRowBuffer&& rows) {
    beginResetModel();
    rows_ = std::move(rows);
    shown_ = rows_.rowCount();
    endResetModel();
}

int MeasurementTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int MeasurementTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kGridColumns;
}

QVariant MeasurementTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_ || index.column() >= kGridColumns) {
        return {};
    }
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case RawTextRole:
        if (column == 0) {
            const auto no = rows_.no(index.row());
            return no ? QVariant(*no) : QVariant();
        }
        if (column == kUnitColumn && role == Qt::DisplayRole) {
            return unitDisplayText(rows_.text(index.row(), column));
        }
        return rows_.text(index.row(), column);
    case Qt::TextAlignmentRole: return QVariant::fromValue(kColumns[column].alignment);
    default: return {};
    }
}

QVariant MeasurementTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kGridColumns) {
        return {};
    }
    return role == Qt::DisplayRole ? QVariant(gridColumnTitle(section)) : QVariant();
}

Qt::ItemFlags MeasurementTable::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace velkor
