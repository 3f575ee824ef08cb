#include "logfiles/workbook/LogWorkbook.h"
#include "logfiles/workbook/WorkbookSheet.h"

#include <array>
#include <climits>
#include <optional>

namespace velkor {

namespace {

QString cellName(int row, int column) {
    return QStringLiteral("%1%2").arg(QChar(u'A' + column - 1)).arg(row);
}

// Takes the cells as they stream in: the extent of the used cells, and the
// rows from row 2 on converted into log rows. Which rows count (2 to R) and
// whether the range is six columns wide is known only at the end, so a
// conversion failure is kept with its row and judged then.
class ImportSink final : public SheetCellSink {
public:
    ImportSink(const QLocale& locale, LogRowBuffer& rows)
        : locale_(locale), rows_(rows), converter_(std::in_place, locale) {}

    void start(bool date1904) override { converter_.emplace(locale_, date1904); }

    void cell(int row, int column, const SheetCell& value) override {
        minRow_ = std::min(minRow_, row);
        maxRow_ = std::max(maxRow_, row);
        minColumn_ = std::min(minColumn_, column);
        maxColumn_ = std::max(maxColumn_, column);
        if (row < 2 || column > 6 || failedRow_ > 0) {
            return;
        }
        if (row != row_) {
            flush(row);
        }
        cells_[static_cast<std::size_t>(column - 1)] = value;
    }

    // Once the used columns are more than six, no later cell makes them six.
    bool wantsMoreCells() const override {
        return maxColumn_ == 0 || maxColumn_ - minColumn_ + 1 <= 6;
    }

    // Ends the reading: the result and whether the range is six columns.
    LogFileResult finish(bool* sixColumns) {
        const bool any = maxRow_ > 0;
        const int usedRows = any ? maxRow_ - minRow_ + 1 : 1;
        const int usedColumns = any ? maxColumn_ - minColumn_ + 1 : 1;
        *sixColumns = usedColumns == 6;
        if (!*sixColumns) {
            return LogFileResult::success();
        }
        if (failedRow_ == 0) {
            flush(usedRows + 1);
        }
        if (failedRow_ > 0 && failedRow_ <= usedRows) {
            return LogFileResult::failure(failure_);
        }
        rows_.truncate(std::max(usedRows - 1, 0));
        return LogFileResult::success();
    }

private:
    // Converts the row gathered so far and the empty rows up to `next`.
    void flush(int next) {
        if (row_ >= 2) {
            if (!convert(row_)) {
                return;
            }
        }
        const int firstBlank = std::max(row_ + 1, 2);
        if (next > firstBlank) {
            for (auto& c : cells_) {
                c = SheetCell();
            }
            for (int r = firstBlank; r < next; ++r) {
                if (!convert(r)) {
                    return;
                }
            }
        }
        row_ = next;
        for (auto& c : cells_) {
            c = SheetCell();
        }
    }

    bool convert(int row) {
        QString why;
        LogRecord rec;
        QString* texts[6] = {nullptr, &rec.Time, &rec.DCAC, &rec.Value, &rec.Unit, &rec.Auto};
        bool ok = converter_->integer(cells_[0], &rec.No, &why);
        int column = 1;
        if (ok) {
            column = 2;
            ok = converter_->timeText(cells_[1], texts[1], &why);
        }
        for (int c = 3; ok && c <= 6; ++c) {
            column = c;
            ok = converter_->text(cells_[static_cast<std::size_t>(c - 1)], texts[c - 1], &why);
        }
        if (!ok) {
            failedRow_ = row;
            failure_ = QStringLiteral("セル %1: %2").arg(cellName(row, column), why);
            return false;
        }
        rows_.append(rec);
        return true;
    }

    const QLocale& locale_;
    LogRowBuffer& rows_;
    std::optional<CellConverter> converter_;
    int minRow_ = INT_MAX;
    int maxRow_ = 0;
    int minColumn_ = INT_MAX;
    int maxColumn_ = 0;
    int row_ = 1; // the row whose cells are gathered
    std::array<SheetCell, 6> cells_;
    int failedRow_ = 0;
    QString failure_;
};

} // namespace

LogFileResult readLogWorkbook(const QString& fileName, const QLocale& locale, LogRowBuffer* rows,
                              bool* sixColumns) {
    *sixColumns = false;
    LogRowBuffer read;
    ImportSink sink(locale, read);
    LogFileResult r;
    try {
        r = readFirstSheet(fileName, sink);
        if (r) {
            r = sink.finish(sixColumns);
        }
    } catch (const std::bad_alloc&) {
        r = LogFileResult::failure(QStringLiteral("メモリが足りません"));
    }
    if (!r) {
        *sixColumns = false;
        return r;
    }
    *rows = std::move(read);
    return r;
}

} // namespace velkor
