// The statistics window, opened from the record menu and the grid's context
// menu, and the alarm sound on the judge's turn to Fail.

#include "app/TFCOMM.h"

#include "alarm/AlarmWatch.h"
#include "pipeline/MeterSession.h"
#include "platform/AlarmSound.h"
#include "platform/widgets/DesktopAlarmSound.h"
#include "stats/view/StatisticsWindow.h"

#include <QAction>
#include <QMenu>
#include <QTableView>

namespace velkor {

void TFCOMM::wireStatisticsArea() {
    recordMenu->addSeparator();
    RecordStats = recordMenu->addAction(QStringLiteral("統計"));
    RecordStats->setObjectName(QStringLiteral("RecordStats"));
    FailSound = recordMenu->addAction(QStringLiteral("Fail時に警告音"));
    FailSound->setObjectName(QStringLiteral("FailSound"));
    FailSound->setCheckable(true);
    connect(RecordStats, &QAction::triggered, this, handler(&TFCOMM::RecordStatsClick));

    // The grid's context menu offers the statistics too (of the rows
    // selected in it, when there are several).
    gridMenu = new QMenu(this);
    gridMenu->setObjectName(QStringLiteral("gridMenu"));
    gridMenu->addAction(RecordStats);
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { gridMenu->popup(DBGrid1->viewport()->mapToGlobal(at)); });

    alarmSound = services_.alarmSound;
    if (!alarmSound) {
        ownAlarmSound = std::make_unique<DesktopAlarmSound>();
        alarmSound = ownAlarmSound.get();
    }
    // The verdicts are watched whether or not the sound is on, so that
    // turning it on while the judge says Fail does not sound at once.
    failWatch = std::make_unique<AlarmWatch>(1);
    session().onJudged = [this](const Reading&, Verdict verdict) {
        if (failWatch->judged(verdict) == AlarmTransition::ToFail && FailSound->isChecked()) {
            alarmSound->play();
        }
    };
}

void TFCOMM::RecordStatsClick() {
    if (!statisticsWindow) {
        auto* w = new StatisticsWindow(session().cds1, DBGrid1->selectionModel(), this);
        w->setAttribute(Qt::WA_DeleteOnClose);
        statisticsWindow = w;
    }
    statisticsWindow->show();
    statisticsWindow->raise();
    statisticsWindow->activateWindow();
}

} // namespace velkor
