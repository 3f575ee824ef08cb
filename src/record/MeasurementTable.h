#pragma once

#include "record/LogRowBuffer.h"
#include "record/LogTable.h"

#include <QAbstractTableModel>

namespace velkor {

// The measurement table cds1: the seven fields No, Time, DC/AC, Value, Unit,
// Auto, NVal over the log's row store, read by the grid DBGrid1 as a
// read-only table model (six columns; NVal has none) and by the log files
// and the report through LogTable.
class MeasurementTable final : public QAbstractTableModel, public LogTable {
    Q_OBJECT
public:
    // The grid's columns: No., 時間, 機能, 数値, 単位, 判定.
    static constexpr int kGridColumns = 6;
    static int gridColumnWidth(int column);
    static QString gridColumnTitle(int column);
    static Qt::Alignment gridColumnAlignment(int column);
    // The raw field text of a grid cell (the Unit column shows its symbols).
    static constexpr int RawTextRole = Qt::UserRole;

    explicit MeasurementTable(QObject* parent = nullptr);

    // Appends one row as the record rules log it. No row changes when it
    // throws (out of memory).
    void appendLogged(std::int32_t no, const QString& time, const QString& function,
                      const QString& value, const QString& unit, const QString& judge);
    // Empties the table and gives its memory back.
    void clear();

    qsizetype rowCount() const { return rows_.rowCount(); }
    LogRecord row(qsizetype index) const { return rows_.row(index); }

    // LogTable
    const LogRowBuffer& store() const override { return rows_; }
    void appendRows(const LogRowBuffer& rows) override;
    void replaceRows(LogRowBuffer&& rows) override;

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // Rows are added to the store first (which may fail and then changes
    // nothing) and announced to the views after: `shown_` is how many rows
    // the views have been told of.
    void announce();

    LogRowBuffer rows_;
    qsizetype shown_ = 0;
};

} // namespace velkor
