// The log's journal: every logged row kept on disk until it is saved, the
// count of rows no file holds yet, and the offer to restore the rows of a
// run that did not end cleanly.

#include "app/TFCOMM.h"

#include "app/UnsavedRows.h"
#include "logfiles/commands/LogFileCommands.h"
#include "logfiles/sqlite/LogSqliteJournal.h"
#include "pipeline/MeterSession.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "record/DeclinedJournals.h"
#include "record/RowDates.h"
#include "version/VelkorVersion.h"

#include <QAbstractItemModel>
#include <QFileInfo>

namespace velkor {

namespace {

// What each answer to the offer does; `removal`: when rows kept aside go.
QString offerAnswersText(const QDateTime& removal) {
    return QStringLiteral("\n\n「復元する」: 記録に加えます。\n"
                          "「残しておく」: 今は復元せず、次に起動したときにもう一度たずねます。"
                          "%1 を過ぎると削除します。\n"
                          "「削除する」: 記録を削除します。元には戻せません。")
        .arg(removal.toLocalTime().toString(QStringLiteral("yyyy/MM/dd")));
}

} // namespace

void TFCOMM::wireJournalArea() {
    rowDates = std::make_unique<RowDates>();
    unsavedRows =
        std::make_unique<UnsavedRows>(boxes_, [this] { return fileCommands->saveasClick(); });
    fileCommands->rowDates = [this](qsizetype row) { return rowDates->dateOf(row); };
    // An opened XML file takes the place of the rows: the unsaved ones are
    // asked about first.
    fileCommands->beforeReplacingRows = [this] {
        return unsavedRows->mayDrop(UnsavedRows::Action::Opening);
    };
    session().log.onRowLogged = [this](const Reading&, const QDateTime& moment) {
        journalRowLogged(moment);
    };
    // New, or an opened file in the place of the rows: the logged rows are
    // gone from the log, and so from the journal.
    connect(&session().cds1, &QAbstractItemModel::modelReset, this, [this] {
        rowDates->clear();
        unsavedRows->none();
        if (journal) {
            journal->clear();
        }
    });
    // A save in any form holds every row.
    fileCommands->onSaved = [this] {
        unsavedRows->none();
        if (journal) {
            journal->clear();
        }
    };
    // What the window writes into an SQLite file, its journal's and a
    // saved log's, says it came from the window.
    LogRunInfo run;
    run.program = QStringLiteral("velkor " VELKOR_VERSION);
    run.variant = QString::fromLatin1(variantName(variant_));
    fileCommands->describeRun = [run] { return run; };
    if (services_.journalDirectory.isEmpty()) {
        return;
    }
    journal = std::make_unique<LogSqliteJournal>(services_.journalDirectory, run);
    journal->onFailure = [this](const QString& reason) {
        // Not in the middle of the frame path: once it has returned.
        QMetaObject::invokeMethod(
            this, [this, reason] { tellJournalFailure(reason); }, Qt::QueuedConnection);
    };
    journal->open();
}

void TFCOMM::journalRowLogged(const QDateTime& moment) {
    MeasurementTable& table = session().cds1;
    const qsizetype last = table.rowCount() - 1;
    rowDates->noteLogged(last, moment.date());
    unsavedRows->added(1);
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
    for (JournalLeftover& l : journal->leftovers()) {
        offerLeftover(l, nullptr);
    }
    // Those kept aside, of this form and of the line format earlier
    // versions wrote.
    for (const QString& suffix : LogSqliteJournal::nameSuffixes()) {
        const DeclinedJournals declined(journal->directory(), suffix);
        declined.removeExpired(clock_.now());
        for (const DeclinedJournals::Kept& k : declined.list()) {
            JournalLeftover l = LogSqliteJournal::read(k.path);
            if (!l.inUse) { // another window has it in hand
                offerLeftover(l, &k.declined);
            }
        }
    }
}

void TFCOMM::offerLeftover(JournalLeftover& l, const QDateTime* declined) {
    if (l.damaged) {
        const QString aside = LogSqliteJournal::setAside(l);
        boxes_.show(QStringLiteral("前回の記録のジャーナルが壊れているため、復元できません。\n"
                                   "%1 に移しました。\n%2")
                        .arg(aside, l.reason),
                    QStringLiteral("VELKOR"), MessageBoxes::Icon::Warning,
                    MessageBoxes::Buttons::Ok);
        return;
    }
    const qsizetype rows = l.rows.rowCount();
    if (rows == 0) {
        LogSqliteJournal::discard(l);
        return;
    }
    const QDateTime now = clock_.now();
    const QString question =
        declined ? QStringLiteral("%1 に復元しなかった記録が%2件残っています。記録に復元しますか？")
                       .arg(declined->toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")))
                       .arg(rows)
                 : QStringLiteral("前回は正しく終了しなかったため、保存されていない記録が%1件"
                                  "残っています。記録に復元しますか？")
                       .arg(rows);
    const QString text =
        question + offerAnswersText(DeclinedJournals::removal(declined ? *declined : now));
    using Answer = MessageBoxes::Answer;
    switch (boxes_.ask(text, QStringLiteral("インフォメーション"), MessageBoxes::Icon::Question,
                       {{Answer::Yes, QStringLiteral("復元する(&R)")},
                        {Answer::No, QStringLiteral("残しておく(&K)")},
                        {Answer::Discard, QStringLiteral("削除する(&D)")}},
                       Answer::No)) {
    case Answer::Yes: {
        // The rows join the log as an opened file's do (not drawn, not
        // counted against the size limit); numbering goes on after them.
        MeasurementTable& table = session().cds1;
        const qsizetype first = table.rowCount();
        table.appendRows(l.rows);
        rowDates->append(first, l.dates);
        unsavedRows->added(rows);
        journal->carryOver(l);
        if (const auto no = l.rows.no(rows - 1)) {
            session().log.NextRecordNo =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(*no) + 1u);
        }
        LogSqliteJournal::discard(l);
        break;
    }
    case Answer::Discard: LogSqliteJournal::discard(l); break;
    default:
        // Kept aside, restorable at the next start; one kept already keeps
        // the day it was first declined.
        if (!declined) {
            const QString suffix = QLatin1Char('.') + QFileInfo(l.path).suffix();
            DeclinedJournals(journal->directory(), suffix).keepAside(l.path, now);
        }
        break;
    }
}

void TFCOMM::finishJournal() {
    if (journal) {
        journal->finish();
    }
}

} // namespace velkor
