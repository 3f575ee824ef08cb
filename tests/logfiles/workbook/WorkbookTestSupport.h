#pragma once

#include "record/LogTestSupport.h"
#include "logfiles/workbook/WorkbookSheet.h"

#include <QLocale>
#include <map>
#include <string>
#include <variant>
#include <vector>
#include <xlsxwriter.h>

namespace velkor::test {

// A cell for writeWorkbook: a number, or a text.
using Cell = std::variant<std::monostate, double, std::string>;

// Writes a workbook whose first sheet holds `rows` from A1, with
// libxlsxwriter directly (not through the export).
inline void writeWorkbook(const QString& path, const std::vector<std::vector<Cell>>& rows,
                          int firstColumn = 0) {
    lxw_workbook* wb = workbook_new(QFile::encodeName(path).constData());
    ASSERT_NE(wb, nullptr);
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const auto col = static_cast<lxw_col_t>(c + static_cast<std::size_t>(firstColumn));
            if (const double* d = std::get_if<double>(&rows[r][c])) {
                worksheet_write_number(ws, static_cast<lxw_row_t>(r), col, *d, nullptr);
            } else if (const std::string* s = std::get_if<std::string>(&rows[r][c])) {
                worksheet_write_string(ws, static_cast<lxw_row_t>(r), col, s->c_str(), nullptr);
            }
        }
    }
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
}

// Collects the cells of a sheet as "row,column:kind:value" lines.
class CellCollector final : public SheetCellSink {
public:
    void start(bool date1904) override { this->date1904 = date1904; }
    void cell(int row, int column, const SheetCell& v) override {
        QString kind;
        QString value;
        switch (v.kind) {
        case SheetCell::Kind::Empty: kind = QStringLiteral("empty"); break;
        case SheetCell::Kind::Number:
            kind = v.dateFormatted ? QStringLiteral("date") : QStringLiteral("number");
            value = QString::number(v.number, 'g', 15);
            break;
        case SheetCell::Kind::Text: kind = QStringLiteral("text"); value = v.text; break;
        case SheetCell::Kind::Boolean: kind = QStringLiteral("bool"); value = QString::number(v.number); break;
        case SheetCell::Kind::Error: kind = QStringLiteral("error"); value = v.text; break;
        }
        cells.push_back(QStringLiteral("%1,%2:%3:%4").arg(row).arg(column).arg(kind, value).toStdString());
    }
    bool date1904 = false;
    std::vector<std::string> cells;
};

} // namespace velkor::test
