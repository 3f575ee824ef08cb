#include "app/TFCOMM.h"

#include "alarm/AlarmWatch.h"
#include "platform/AlarmSound.h"
#include "app/DisplayPacer.h"
#include "app/ErrorBox.h"
#include "app/LcdPicture.h"
#include "app/MeterPanel.h"
#include "app/UnsavedRows.h"
#include "chart/TChartControl.h"
#include "chart/view/TrendChartView.h"
#include "link/connection/ConnectionControl.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/UsbCableLink.h"
#include "link/serial/TCommPortDriver.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/MeterSession.h"
#include "platform/Clock.h"
#include "platform/HandlerTimer.h"
#include "platform/HidPlatform.h"
#include "platform/MessageBoxes.h"
#include "platform/SavePictureDialog.h"
#include "logfiles/sqlite/LogSqliteJournal.h"
#include "record/RowDates.h"
#include "logfiles/commands/LogFileCommands.h"
#include "record/view/LogGrid.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace velkor {

TFCOMM::TFCOMM(const TFCOMMServices& services, QWidget* parent)
    : QMainWindow(parent), SavePictureDialog1(services.savePictureDialog), services_(services),
      boxes_(services.boxes), locale_(services.locale), variant_(services.variant),
      clock_(services.clock), fileDialogs_(services.fileDialogs) {
    setObjectName(QStringLiteral("FCOMM"));
    // The designed components with their designed properties.
    buildLayout();
    pipeline_ = std::make_unique<MeterPipeline>(variant_, locale_, static_cast<PassHost&>(*this));
    pipeline_->setOnDecoded([this] { framePassEnded(); });
    displayPacer_ = std::make_unique<DisplayPacer>(clock_, [this] { showFrameState(); });
    connect(BitBtn1, &QPushButton::clicked, this, handler(&TFCOMM::BitBtn1Click));
    wireConnectionArea();
    wireUsbArea();
    wireJudgeArea();
    wireRecordArea();
    wireStatisticsArea();
    wireFilesArea();
    wireJournalArea();
    wireChartArea();
    guarded([this] { FormCreate(this); });
    placeWindow();
}

// The readers go first: a report in flight when a reader stops still runs the
// frame path, which needs the pipeline and the panel.
TFCOMM::~TFCOMM() {
    releaseUsb();
}

const StartValues& TFCOMM::startValues() const {
    return pipeline_->startValues();
}

// The start-up sequence. The pipeline has already worked out the values of
// the build's variant (StartValues); here they reach the window's
// components in their fixed order.
void TFCOMM::FormCreate(QObject* /*Sender*/) {
    const StartValues& start = startValues();
    createChartControl(start.chartRange);
    systeminfomation->setText(start.systeminfomation);
    // The decoder already holds FsDot and the tracker's start values.
    createMeasurementTable();
    applyRecordStartValues(start);
    fillSampleValues();
    ComboBox1->setCurrentIndex(0);
    ShowSeries(0);
    ShowSeries(BtFill->isChecked() ? 0 : 1);
    applyLimitStartValues(start);
    // The variant's receive handler and line speed, and its caption.
    applySerialStartValues(start);
    setWindowTitle(start.caption);
    // LcdDa and the MIN/MAX captions of the variant's display profile, from
    // the decoder's start state.
    refreshMeterPanel();
    setVerticalAxis(start.verticalAxisMaximum, start.verticalAxisMinimum);
    showNow();
}

// Rows that no file holds are asked about (save, let go, stay) in place of
// the plain question.
void TFCOMM::FormCloseQuery(QObject* /*Sender*/, bool& CanClose) {
    if (unsavedRows->count() > 0) {
        CanClose = unsavedRows->mayDrop(UnsavedRows::Action::Closing);
        return;
    }
    CanClose = boxes_.askYesNo(QStringLiteral("プログラムを終了しますか？"),
                               QStringLiteral("インフォメーション"));
}

void TFCOMM::BitBtn1Click() {
    close();
}

void TFCOMM::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous() && !centredWhenShown_) {
        centredWhenShown_ = true;
        centreOnScreen();
        // Once the window is up: the rows a crash left behind.
        QMetaObject::invokeMethod(this, handler(&TFCOMM::offerJournalRestore),
                                  Qt::QueuedConnection);
    }
}

void TFCOMM::closeEvent(QCloseEvent* event) {
    bool CanClose = true;
    guarded([&] { FormCloseQuery(this, CanClose); });
    if (CanClose) {
        // The program ends with every HID reader stopped, and on purpose:
        // the journal goes.
        releaseUsb();
        finishJournal();
        event->accept();
    } else {
        event->ignore();
    }
}

void TFCOMM::guarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        showError(e);
    }
}

void TFCOMM::showError(const std::exception& e) {
    showErrorBox(boxes_, QString::fromUtf8(e.what()));
}

// ----- The frame path -----------------------------------------------------

void TFCOMM::RECEIVE_COM_Data(const std::uint8_t* data, std::ptrdiff_t size) {
    runFramePath([&] { pipeline_->assembler().RECEIVE_COM_Data(data, size); });
}

void TFCOMM::RECEIVE_NIBBLE_Data(const std::uint8_t* data, std::ptrdiff_t size) {
    runFramePath([&] { pipeline_->assembler().RECEIVE_NIBBLE_Data(data, size); });
}

void TFCOMM::runFramePath(const std::function<void()>& step) {
    const long long offered = pipeline_->framesOffered();
    bool failed = false;
    QString message;
    try {
        step();
    } catch (const std::exception& e) {
        failed = true;
        message = QString::fromUtf8(e.what());
    }
    // A pass that stopped keeps what its earlier steps showed.
    if (failed && !frameErrorShown_) {
        frameErrorShown_ = true;
        showNow();
        showErrorBox(boxes_, message);
    } else if (failed || pipeline_->framesOffered() != offered) {
        displayPacer_->frameArrived();
    }
}

void TFCOMM::showFrameState() {
    refreshMeterPanel();
    showJudgePanel();
    showRecordState();
    if (auto* grid = qobject_cast<LogGridView*>(DBGrid1)) {
        grid->followNewestRow();
    }
    Chtshow->refresh();
}

void TFCOMM::showNow() {
    displayPacer_->showNow();
}

bool TFCOMM::displayPending() const {
    return displayPacer_->pending();
}

void TFCOMM::framePassEnded() {
    frameErrorShown_ = false;
}

void TFCOMM::refreshMeterPanel() {
    const DisplayState& d = pipeline_->decoder().display;
    Panel1->showDisplay(d);
    MaxText->setText(d.MaxText);
    MinText->setText(d.MinText);
    MaxTextU->setText(d.MaxTextU);
    MinTextU->setText(d.MinTextU);
}

// A frame is being decoded, so the link mark shows data.
void TFCOMM::frameArriving() {
    connection->frameArriving();
}

} // namespace velkor
