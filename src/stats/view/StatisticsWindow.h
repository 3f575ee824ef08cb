#pragma once

#include "stats/LogStatistics.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QItemSelectionModel;
class QLabel;
class QPushButton;
class QTableWidget;

namespace velkor {

class MeasurementTable;

// The window "統計": the statistics of the log, one column per function and
// unit, one row per figure, in the base unit. It follows the log as rows
// come (at most every kRefreshMs; a grown log costs only its new rows) and,
// while more than one row is selected in the grid, shows the selected rows'
// statistics instead. The table copies as tab-separated text ("コピー", or
// the copy key), for a spreadsheet.
class StatisticsWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 250;

    // `selection`: the grid's selection over `table` (none: the whole log
    // only).
    StatisticsWindow(MeasurementTable& table, QItemSelectionModel* selection,
                     QWidget* parent = nullptr);

    // The figures brought up to date now.
    void refresh();
    // The table as text: a header line with the columns' titles, then each
    // figure's line, fields separated by tabs.
    QString tabSeparatedText() const;
    void copyToClipboard();

    QTableWidget* figureTable() const { return figures_; }
    QLabel* scopeLabel() const { return scope_; }
    // Whether the figures shown are those of the selected rows.
    bool showsSelection() const { return showsSelection_; }

    // The figures' names, top down.
    static QStringList figureNames();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void logGrew();
    void logChanged();
    void selectionChanged();
    void schedule();
    void showFigures(const LogStatistics& statistics, const QString& scope);

    MeasurementTable& table_;
    QPointer<QItemSelectionModel> selection_;
    QLabel* scope_ = nullptr;
    QTableWidget* figures_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* close_ = nullptr;
    QTimer refreshTimer_;

    LogStatistics all_;        // every row, followed as rows come
    std::int64_t counted_ = 0; // rows of the table in all_
    bool recount_ = true;      // the rows changed otherwise than by growing
    LogStatistics selected_;   // the selected rows
    bool selectionDirty_ = true;
    std::int64_t selectedRows_ = 0;
    bool showsSelection_ = false;
};

} // namespace velkor
