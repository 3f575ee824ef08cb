#include "disk/FileSaver.h"
#include "logfiles/LogCellText.h"
#include "logfiles/workbook/LibraryErrorTexts.h"
#include "logfiles/workbook/LogWorkbook.h"
#include "record/LogRowBuffer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <xlsxwriter.h>

namespace velkor {

const char* const kWorkbookHeader[6] = {"No.", "時間", "機能", "数値", "単位", "判定"};

namespace {

class WorkbookWriter {
public:
    WorkbookWriter(lxw_workbook* wb, lxw_worksheet* ws) : wb_(wb), ws_(ws) {}

    lxw_error write(lxw_row_t row, lxw_col_t col, const WorkbookValue& v) {
        switch (v.kind) {
        case WorkbookValue::Kind::Empty: return LXW_NO_ERROR;
        case WorkbookValue::Kind::Number:
            return worksheet_write_number(ws_, row, col, v.number, nullptr);
        case WorkbookValue::Kind::Time:
            return worksheet_write_number(ws_, row, col, v.number, timeFormat(v.format));
        case WorkbookValue::Kind::Text: return text(row, col, v.text);
        }
        return LXW_NO_ERROR;
    }

    lxw_error text(lxw_row_t row, lxw_col_t col, const QString& s) {
        utf8_ = s.toUtf8();
        return worksheet_write_string(ws_, row, col, utf8_.constData(), nullptr);
    }

private:
    lxw_format* timeFormat(const char* code) {
        auto it = formats_.find(code);
        if (it == formats_.end()) {
            lxw_format* f = workbook_add_format(wb_);
            format_set_num_format(f, code);
            it = formats_.emplace(code, f).first;
        }
        return it->second;
    }

    lxw_workbook* wb_;
    lxw_worksheet* ws_;
    std::map<std::string, lxw_format*> formats_;
    QByteArray utf8_;
};

} // namespace

WorkbookExportStatus exportLogWorkbook(const LogTable& table, const QString& fileName,
                                       QString* reason) {
    const LogRowBuffer& held = table.store();
    const qsizetype rows = held.rowCount();
    if (rows > kMaxWorkbookLogRows) {
        *reason = QStringLiteral("ログの %1 行はワークシートに入る %2 行を超えます。"
                                 "XML (*.xml) で保存してください。")
                      .arg(rows)
                      .arg(kMaxWorkbookLogRows);
        return WorkbookExportStatus::Failed;
    }
    if (!QFileInfo(QFileInfo(fileName).absolutePath()).isDir()) {
        *reason =
            QStringLiteral("フォルダ %1 がありません").arg(QFileInfo(fileName).absolutePath());
        return WorkbookExportStatus::Failed;
    }
    FileSaver saver(fileName);
    if (const LogFileResult opened = saver.open(); !opened) {
        *reason = (QFileInfo::exists(fileName) ? QStringLiteral("ファイルを置き換えられません (%1)")
                                               : QStringLiteral("ファイルを作成できません (%1)"))
                      .arg(opened.reason);
        return WorkbookExportStatus::Failed;
    }
    // The library writes the unnamed file by a name that opens it; its own
    // scratch files go beside it.
    const QByteArray tempName = saver.libraryPath();
    const QByteArray tempDir = QFile::encodeName(QFileInfo(fileName).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(tempDir.constData());
    lxw_workbook* wb = workbook_new_opt(tempName.constData(), &options);
    if (!wb) {
        return WorkbookExportStatus::LibraryUnavailable;
    }
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    if (!ws) {
        workbook_close(wb);
        *reason = QStringLiteral("一時ファイルを作成できません");
        return WorkbookExportStatus::Failed;
    }

    WorkbookWriter writer(wb, ws);
    lxw_error err = LXW_NO_ERROR;
    for (lxw_col_t c = 0; c < 6 && err == LXW_NO_ERROR; ++c) {
        err = writer.text(0, c, QString::fromUtf8(kWorkbookHeader[c]));
    }
    for (qsizetype i = 0; i < rows && err == LXW_NO_ERROR; ++i) {
        const LogRecord r = held.row(i);
        const auto row = static_cast<lxw_row_t>(i + 1);
        if (r.No) {
            err = worksheet_write_number(ws, row, 0, *r.No, nullptr);
        }
        const QString* texts[5] = {&r.Time, &r.DCAC, &r.Value, &r.Unit, &r.Auto};
        for (lxw_col_t c = 1; c < 6 && err == LXW_NO_ERROR; ++c) {
            err = writer.write(row, c, workbookValue(*texts[c - 1]));
        }
    }
    // The workbook is written out (or its memory freed) by the close in
    // any case.
    errno = 0;
    const lxw_error closed = workbook_close(wb);
    const int closeErrno = errno; // the file's creation and writing happen here
    if (err == LXW_NO_ERROR) {
        err = closed;
    }
    if (err != LXW_NO_ERROR) {
        *reason = workbookWriteErrorText(err, closed != LXW_NO_ERROR ? closeErrno : 0);
        return WorkbookExportStatus::Failed;
    }
    if (const LogFileResult committed = saver.commit(); !committed) {
        *reason = QStringLiteral("ファイルを置き換えられません (%1)").arg(committed.reason);
        return WorkbookExportStatus::Failed;
    }
    return WorkbookExportStatus::Saved;
}

} // namespace velkor
