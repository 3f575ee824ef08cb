// The log's journal: every logged row kept on disk until it is saved, and
// the offer to restore the rows of a run that did not end cleanly.

#include "app/TFCOMM.h"

#include "pipeline/MeterSession.h"
#include "platform/MessageBoxes.h"
#include "record/LogJournal.h"
#include "record/RowDates.h"
#include "logfiles/commands/LogFileCommands.h"

#include <QAbstractItemModel>

namespace velkor {

void TFCOMM::wireJournalArea() {
    rowDates = std::make_unique<RowDates>();
    fileCommands->rowDates = [this](qsizetype row) { return rowDates->dateOf(row); };
    session().log.onRowLogged = [this](const Reading&, const QDateTime& moment) {
        journalRowLogged(moment);
    };
    // New, or an opened file in the place of the rows: the logged rows are
    // gone from the log, and so from the journal.
    connect(&session().cds1, &QAbstractItemModel::modelReset, this, [this] {
        rowDates->clear();
        if (journal) {
            journal->clear();
        }
    });
    if (services_.journalDirectory.isEmpty()) {
        return;
    }
    journal = std::make_unique<LogJournal>(services_.journalDirectory);
    journal->onFailure = [this](const QString& reason) {
        // Not in the middle of the frame path: once it has returned.
        QMetaObject::invokeMethod(
            this, [this, reason] { tellJournalFailure(reason); }, Qt::QueuedConnection);
    };
    fileCommands->onSaved = [this] {
        if (journal) {
            journal->clear();
        }
    };
    journal->open();
}

void TFCOMM::journalRowLogged(const QDateTime& moment) {
    MeasurementTable& table = session().cds1;
    const qsizetype last = table.rowCount() - 1;
    rowDates->noteLogged(last, moment.date());
    if (journal) {
        journal->append(table.row(last), moment);
    }
}

void TFCOMM::tellJournalFailure(const QString& reason) {
    if (journalFailureTold_) {
        return;
    }
    journalFailureTold_ = true;
    boxes_.show(QStringLiteral("記録のジャーナルに書き込めません。記録は保存するまでメモリにだけ"
                               "残ります。\n") +
                    reason,
                QStringLiteral("VELKOR"), MessageBoxes::Icon::Warning, MessageBoxes::Buttons::Ok);
}

void TFCOMM::offerJournalRestore() {
    if (!journal || journalOffered_) {
        return;
    }
    journalOffered_ = true;
    if (!journal->isOpen()) {
        tellJournalFailure(journal->error());
    }
    for (LogJournal::Leftover& l : journal->leftovers()) {
        if (l.damaged) {
            const QString aside = LogJournal::setAside(l);
            boxes_.show(QStringLiteral("前回の記録のジャーナルが壊れているため、復元できません。\n"
                                       "%1 に移しました。\n%2")
                            .arg(aside, l.reason),
                        QStringLiteral("VELKOR"), MessageBoxes::Icon::Warning,
                        MessageBoxes::Buttons::Ok);
            continue;
        }
        const qsizetype rows = l.rows.rowCount();
        if (rows > 0 &&
            boxes_.askYesNo(QStringLiteral("前回は正しく終了しなかったため、保存されていない記録が"
                                           "%1件残っています。記録に復元しますか？")
                                .arg(rows),
                            QStringLiteral("インフォメーション"))) {
            // The rows join the log as an opened file's do (not drawn, not
            // counted against the size limit); numbering goes on after them.
            MeasurementTable& table = session().cds1;
            const qsizetype first = table.rowCount();
            table.appendRows(l.rows);
            rowDates->append(first, l.dates);
            journal->carryOver(l);
            if (const auto no = l.rows.no(rows - 1)) {
                session().log.NextRecordNo =
                    static_cast<std::int32_t>(static_cast<std::uint32_t>(*no) + 1u);
            }
        }
        LogJournal::discard(l);
    }
}

void TFCOMM::finishJournal() {
    if (journal) {
        journal->finish();
    }
}

} // namespace velkor
