#include "stats/view/StatisticsWindow.h"

#include "record/LogRowBuffer.h"
#include "record/MeasurementTable.h"
#include "stats/GroupFigures.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace velkor {

QStringList StatisticsWindow::figureNames() {
    return {QStringLiteral("件数"),         QStringLiteral("オーバーレンジ件数"),
            QStringLiteral("Fail件数"),     QStringLiteral("最小値"),
            QStringLiteral("最小値のNo."),  QStringLiteral("最小値の時間"),
            QStringLiteral("最大値"),       QStringLiteral("最大値のNo."),
            QStringLiteral("最大値の時間"), QStringLiteral("平均値"),
            QStringLiteral("標準偏差"),     QStringLiteral("最初の時間"),
            QStringLiteral("最後の時間")};
}

StatisticsWindow::StatisticsWindow(MeasurementTable& table, QItemSelectionModel* selection,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window), table_(table), selection_(selection) {
    setObjectName(QStringLiteral("StatisticsWindow"));
    setWindowTitle(QStringLiteral("統計"));
    scope_ = new QLabel(this);
    scope_->setObjectName(QStringLiteral("StatScope"));
    figures_ = new QTableWidget(kFigureCount, 0, this);
    figures_->setObjectName(QStringLiteral("StatTable"));
    figures_->setVerticalHeaderLabels(figureNames());
    figures_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    figures_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    figures_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    copy_ = new QPushButton(QStringLiteral("コピー"), this);
    copy_->setObjectName(QStringLiteral("StatCopy"));
    close_ = new QPushButton(QStringLiteral("閉じる"), this);
    close_->setObjectName(QStringLiteral("StatClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scope_);
    layout->addWidget(figures_);
    layout->addLayout(buttons);
    resize(440, 520);

    connect(copy_, &QPushButton::clicked, this, &StatisticsWindow::copyToClipboard);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    auto* copyKey = new QAction(this);
    copyKey->setShortcut(QKeySequence::Copy);
    copyKey->setShortcutContext(Qt::WindowShortcut);
    connect(copyKey, &QAction::triggered, this, &StatisticsWindow::copyToClipboard);
    addAction(copyKey);
    // The table itself takes the copy key (for its current cell alone).
    figures_->installEventFilter(this);

    // Rows appended at the end are counted on; anything else counts again.
    connect(&table_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int) {
                if (first >= counted_) {
                    logGrew();
                } else {
                    logChanged();
                }
            });
    connect(&table_, &QAbstractItemModel::rowsRemoved, this, &StatisticsWindow::logChanged);
    connect(&table_, &QAbstractItemModel::modelReset, this, &StatisticsWindow::logChanged);
    connect(&table_, &QAbstractItemModel::layoutChanged, this, &StatisticsWindow::logChanged);
    if (selection_) {
        connect(selection_, &QItemSelectionModel::selectionChanged, this,
                &StatisticsWindow::selectionChanged);
    }
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &StatisticsWindow::refresh);
    refresh();
}

bool StatisticsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == figures_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copyToClipboard();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void StatisticsWindow::logGrew() {
    schedule();
}

void StatisticsWindow::logChanged() {
    recount_ = true;
    selectionDirty_ = true;
    schedule();
}

void StatisticsWindow::selectionChanged() {
    selectionDirty_ = true;
    schedule();
}

// At most one refresh every kRefreshMs, however fast rows come.
void StatisticsWindow::schedule() {
    if (!refreshTimer_.isActive()) {
        refreshTimer_.start();
    }
}

void StatisticsWindow::refresh() {
    const LogRowBuffer& store = table_.store();
    const std::int64_t rows = store.rowCount();
    if (recount_ || rows < counted_) {
        all_.clear();
        counted_ = 0;
        recount_ = false;
    }
    if (rows > counted_) {
        all_.addRows(store, counted_, rows);
        counted_ = rows;
    }
    if (selectionDirty_) {
        selectionDirty_ = false;
        // The selected rows as ranges in the log's order, overlaps merged.
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
        if (selection_) {
            for (const QItemSelectionRange& r : selection_->selection()) {
                ranges.emplace_back(r.top(), std::min<std::int64_t>(r.bottom() + 1, rows));
            }
        }
        std::sort(ranges.begin(), ranges.end());
        std::vector<std::pair<std::int64_t, std::int64_t>> merged;
        for (const auto& r : ranges) {
            if (!merged.empty() && r.first <= merged.back().second) {
                merged.back().second = std::max(merged.back().second, r.second);
            } else if (r.first < r.second) {
                merged.push_back(r);
            }
        }
        selected_.clear();
        selectedRows_ = 0;
        for (const auto& [first, end] : merged) {
            selectedRows_ += end - first;
        }
        if (selectedRows_ > 1) {
            for (const auto& [first, end] : merged) {
                selected_.addRows(store, first, end);
            }
        }
    }
    showsSelection_ = selectedRows_ > 1;
    if (showsSelection_) {
        showFigures(selected_, QStringLiteral("選択した記録 %1件").arg(selectedRows_));
    } else if (rows > 0) {
        showFigures(all_, QStringLiteral("全記録 %1件").arg(rows));
    } else {
        showFigures(all_, QStringLiteral("記録がありません"));
    }
}

void StatisticsWindow::showFigures(const LogStatistics& statistics, const QString& scope) {
    scope_->setText(scope);
    const auto& groups = statistics.groups();
    const int columns = static_cast<int>(groups.size());
    if (figures_->columnCount() != columns) {
        figures_->setColumnCount(columns);
    }
    for (int c = 0; c < columns; ++c) {
        const GroupStatistics& g = groups[std::size_t(c)];
        const QString title = g.function + QLatin1Char(' ') + g.unit;
        QTableWidgetItem* head = figures_->horizontalHeaderItem(c);
        if (!head) {
            figures_->setHorizontalHeaderItem(c, new QTableWidgetItem(title));
        } else if (head->text() != title) {
            head->setText(title);
        }
        const auto texts = figureTexts(g);
        for (int f = 0; f < kFigureCount; ++f) {
            const QString& text = texts[std::size_t(f)];
            if (QTableWidgetItem* item = figures_->item(f, c)) {
                if (item->text() != text) {
                    item->setText(text);
                }
            } else {
                item = new QTableWidgetItem(text);
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                figures_->setItem(f, c, item);
            }
        }
    }
}

namespace {

// A cell of tab-separated text: a tab or line break from a foreign file's
// text would split it.
QString cell(QString text) {
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r') {
            c = u' ';
        }
    }
    return text;
}

} // namespace

QString StatisticsWindow::tabSeparatedText() const {
    QStringList lines;
    QStringList head{QString()};
    for (int c = 0; c < figures_->columnCount(); ++c) {
        const QTableWidgetItem* h = figures_->horizontalHeaderItem(c);
        head.append(cell(h ? h->text() : QString()));
    }
    lines.append(head.join(QLatin1Char('\t')));
    const QStringList names = figureNames();
    for (int f = 0; f < figures_->rowCount(); ++f) {
        QStringList line{names.value(f)};
        for (int c = 0; c < figures_->columnCount(); ++c) {
            const QTableWidgetItem* item = figures_->item(f, c);
            line.append(cell(item ? item->text() : QString()));
        }
        lines.append(line.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void StatisticsWindow::copyToClipboard() {
    QGuiApplication::clipboard()->setText(tabSeparatedText());
}

} // namespace velkor
