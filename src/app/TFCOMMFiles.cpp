// Log files (open, save) and the printed report.

#include "app/TFCOMM.h"

#include "pipeline/MeterSession.h"
#include "platform/widgets/QtLogFileDialogs.h"
#include "logfiles/commands/LogFileCommands.h"
#include "record/report/LogReport.h"
#include "record/report/preview/LogReportPreview.h"

#include <QToolButton>

namespace velkor {

// Connects OpenDataFiles, saveas and BtPrint to their handlers.
void TFCOMM::wireFilesArea() {
    if (!fileDialogs_) {
        ownFileDialogs_ = std::make_unique<QtLogFileDialogs>(this);
        fileDialogs_ = ownFileDialogs_.get();
    }
    fileCommands =
        std::make_unique<LogFileCommands>(session().cds1, *fileDialogs_, boxes_, locale_);
    connect(saveas, &QToolButton::clicked, this, handler(&TFCOMM::saveasClick));
    connect(OpenDataFiles, &QToolButton::clicked, this, handler(&TFCOMM::SpeedButton2Click));
    connect(BtPrint, &QToolButton::clicked, this, handler(&TFCOMM::BtPrintClick));
}

void TFCOMM::saveasClick() {
    fileCommands->saveasClick();
}

// The loaded rows join the grid; NextRecordNo, the bar and the chart stay
// as they were, so logging goes on with the numbering it had.
void TFCOMM::SpeedButton2Click() {
    fileCommands->SpeedButton2Click();
    showNow(); // the grid follows the rows appended to the first ones
}

void TFCOMM::BtPrintClick() {
    if (reportPreview || session().cds1.rowCount() == 0) {
        return;
    }
    reportPreview = new LogReportPreview(std::make_unique<LogReport>(session().cds1), this);
    reportPreview->show();
}

} // namespace velkor
