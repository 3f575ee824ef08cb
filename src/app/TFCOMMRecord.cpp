// The measurement log: record panel, grid, record menu, Timer3 and the
// magnitude bar.

#include "app/TFCOMM.h"

#include "app/KeyFilter.h"
#include "app/UnsavedRows.h"
#include "app/WindowFonts.h"
#include "chart/TChartControl.h"
#include "decode/StartValues.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/MeterSession.h"
#include "platform/Clock.h"
#include "platform/HandlerTimer.h"
#include "platform/MessageBoxes.h"
#include "platform/linux/QtHandlerTimer.h"
#include "record/view/LogGrid.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace velkor {

namespace {

// What the user reads when the log is full: the limit, and how to go on.
QString logFullText(std::int32_t limit) {
    return QStringLiteral("記録件数が上限の %1 件に達したため、これ以上は記録されません。"
                          "続けて記録するには、「記録」メニューで上限を大きくするか、"
                          "「新規」でデータをクリアしてください。")
        .arg(limit);
}

} // namespace

// The session is made on first use: the wiring of the judge and the log
// and the first decoding pass all need it, whichever comes first.
MeterSession& TFCOMM::session() {
    if (!session_) {
        timer1Handle_ = std::make_unique<QtHandlerTimer>(*Timer1);
        timer4Handle_ = std::make_unique<QtHandlerTimer>(*Timer4);
        timer3Handle_ = std::make_unique<QtHandlerTimer>(*Timer3);
        session_ = std::make_unique<MeterSession>(
            MeterSession::Timers{*timer1Handle_, *timer4Handle_, *timer3Handle_}, clock_, locale_);
        session_->bindReading(pipeline_->decoder().reading);
    }
    return *session_;
}

// Connects the record panel, the record menu and Timer3 to their handlers.
void TFCOMM::wireRecordArea() {
    connect(RepeatSet, &QCheckBox::toggled, this, handler(&TFCOMM::RepeatSetClick));
    connect(RecordSI, &QCheckBox::toggled, this, handler(&TFCOMM::RecordSIClick));
    connect(RecordSITime, &QLineEdit::textChanged, this,
            [this](const QString& text) { guarded([&] { RecordSITimeChange(text); }); });
    RecordSITime->installEventFilter(
        new CharKeyFilter([this](QChar c) { return RecordSITimeKeyPress(c); }, RecordSITime));
    connect(RecordNew, &QToolButton::clicked, this, handler(&TFCOMM::RecordNewClick));
    connect(Timer3, &QTimer::timeout, this, handler(&TFCOMM::Timer3Timer));
    connect(N10001, &QAction::triggered, this, handler(&TFCOMM::N10001Click));
    connect(N50001, &QAction::triggered, this, handler(&TFCOMM::N50001Click));
    connect(N100001, &QAction::triggered, this, handler(&TFCOMM::N100001Click));
    connect(N500001, &QAction::triggered, this, handler(&TFCOMM::N500001Click));
    connect(N1000001, &QAction::triggered, this, handler(&TFCOMM::N1000001Click));
    connect(limitess, &QAction::triggered, this, handler(&TFCOMM::limitessClick));
    // A full log says so once. The box waits until the frame that was
    // turned away has been handled: its event loop must not run the next
    // frame inside this one.
    session().log.onLimitReached = [this] {
        const std::int32_t limit = session().log.MaxRecords;
        QTimer::singleShot(0, this, [this, limit] {
            boxes_.information(logFullText(limit), QStringLiteral("インフォメーション"));
        });
    };
}

void TFCOMM::attachChartToLog(TChartControl* chartCtrl) {
    session().log.attachChart(chartCtrl);
    showRecordState();
}

// The measurement table cds1, empty, shown in DBGrid1 (the Unit column in
// the font that draws the unit symbols).
void TFCOMM::createMeasurementTable() {
    if (auto* grid = qobject_cast<LogGridView*>(DBGrid1)) {
        grid->bind(session().cds1, symbolFont(12));
    } else {
        bindLogGrid(*DBGrid1, session().cds1, symbolFont(12));
    }
}

// NextRecordNo and MaxRecords (start.NextRecordNo, start.MaxRecords).
void TFCOMM::applyRecordStartValues(const StartValues& start) {
    session().applyRecordStartValues(start);
    MeasurementLog& log = session().log;
    log.RepeatSet = RepeatSet->isChecked();
    log.RecordSI = RecordSI->isChecked();
    showRecordState();
}

void TFCOMM::Timer3Timer() {
    session().Timer3Timer();
    showNow();
}

void TFCOMM::RecordSITimeChange(const QString& text) {
    MeasurementLog& log = session().log;
    log.RecordSITimeChange(text);
    if (RecordSITime->text() != log.RecordSITime()) {
        const QSignalBlocker quiet(RecordSITime); // already handled as a change
        RecordSITime->setText(log.RecordSITime());
    }
}

bool TFCOMM::RecordSITimeKeyPress(QChar Key) {
    return isDigitOrBackspace(Key);
}

void TFCOMM::RepeatSetClick() {
    session().log.RepeatSet = RepeatSet->isChecked();
}

void TFCOMM::RecordSIClick() {
    session().log.RecordSI = RecordSI->isChecked();
}

void TFCOMM::N10001Click() {
    session().log.N10001Click();
    showRecordState();
}

void TFCOMM::N50001Click() {
    session().log.N50001Click();
    showRecordState();
}

void TFCOMM::N100001Click() {
    session().log.N100001Click();
    showRecordState();
}

void TFCOMM::N500001Click() {
    session().log.N500001Click();
    showRecordState();
}

void TFCOMM::N1000001Click() {
    session().log.N1000001Click();
    showRecordState();
}

void TFCOMM::limitessClick() {
    session().log.limitessClick();
    showRecordState();
}

// Rows that no file holds are asked about (save, let go, stay) in place of
// the plain question.
void TFCOMM::RecordNewClick() {
    if (unsavedRows->count() > 0) {
        if (unsavedRows->mayDrop(UnsavedRows::Action::Clearing)) {
            session().log.clearLog();
        }
    } else {
        session().log.RecordNewClick(boxes_);
    }
    showNow();
}

bool TFCOMM::samplingChecked() const {
    return RecordSI->isChecked();
}

void TFCOMM::setSamplingTimerEnabled(bool on) {
    session().setSamplingTimerEnabled(on);
}

// The bar, the grid and the chart follow at display rate.
void TFCOMM::setBarMaximum(int maximum) {
    session().setBarMaximum(maximum);
}

void TFCOMM::INDataToTable(int index) {
    session().INDataToTable(index);
}

// The bar, the checked size limit, the chart page.
void TFCOMM::showRecordState() {
    const MeasurementLog& log = session().log;
    // A progress bar shows a position beyond its maximum as full.
    const int maximum = std::max(log.PBar2.maximum, 0);
    const int position = std::clamp(log.PBar2.position, 0, maximum);
    if (PBar2->maximum() != maximum || PBar2->value() != position) {
        // QProgressBar repaints itself (and with it whatever else of the
        // window is waiting) at once on a new value; the bar is only marked
        // for the next paint instead.
        const bool updates = PBar2->updatesEnabled();
        PBar2->setUpdatesEnabled(false);
        if (PBar2->maximum() != maximum) {
            PBar2->setRange(0, maximum);
        }
        PBar2->setValue(position);
        PBar2->setUpdatesEnabled(updates);
    }
    QAction* const items[] = {N10001, N50001, N100001, N500001, N1000001, limitess};
    if (QAction* checked = items[static_cast<int>(log.checkedLimit)]; !checked->isChecked()) {
        checked->setChecked(true);
    }
    // A button repaints itself for any text it is given, the same one too.
    if (const TChartControl* chart = log.chartControl()) {
        if (const QString page = QString::number(chart->CurPage()); Bt10->text() != page) {
            Bt10->setText(page);
        }
    }
}

} // namespace velkor
