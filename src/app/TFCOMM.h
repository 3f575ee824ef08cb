#pragma once

#include "link/connection/LinkCounters.h"
#include "meter/MeterVariant.h"
#include "pipeline/PassHost.h"

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class QToolButton;

namespace velkor {

class AlarmSound;
class AlarmWatch;
class Clock;
class DisplayPacer;
class HandlerTimer;
class ConnectionControl;
class LcdPicture;
class MeterSession;
class TChartControl;
class TrendChartView;
class SavePictureDialog;
class LocaleSource;
class SerialPortNames;
class SerialSystem;
class LogFileCommands;
class LogFileDialogs;
class LogSqliteJournal;
struct JournalLeftover;
class UnsavedRows;
class RowDates;
class LogReportPreview;
class MessageBoxes;
class MeterPanel;
class MeterPipeline;
class PanelButton;
class ShapeWidget;
class StatisticsWindow;
struct StartValues;
class TCommPortDriver;
class HidPlatform;
class TJvHidDeviceController;
class UsbCableLink;

// What the main window takes from the platform. The program passes the
// machine's own facilities; tests put substitutes in. The dialogs are the
// exception: without one the window shows its own Qt file dialog.
struct TFCOMMServices {
    MessageBoxes& boxes;
    const LocaleSource& locale;
    const Clock& clock;
    SerialSystem& serial;
    const SerialPortNames& portNames;
    HidPlatform& hid;
    MeterVariant variant = buildVariant();
    SavePictureDialog* savePictureDialog = nullptr;
    LogFileDialogs* fileDialogs = nullptr;
    // Where the log's journal is kept ($XDG_STATE_HOME/velkor); empty: no
    // journal.
    QString journalDirectory = {};
    // The alarm sound; none: the desktop's own.
    AlarmSound* alarmSound = nullptr;
};

// FCOMM, the one main window. It owns every component for the whole run and
// carries the program's handlers, each named control plus event. The logic
// lives in the core; the handlers here connect widgets to it.
//
// The window is split over files by area, each file holding that area's
// handlers and its part of the start-up:
//   TFCOMM.cpp            construction, FormCreate, closing, error boundary,
//                         the frame path and the meter panel
//   TFCOMMLayout.cpp      building every control at its place
//   TFCOMMConnection.cpp  connection bar, link marks, ConTimer
//   TFCOMMUsb.cpp         USB cable link
//   TFCOMMJudge.cpp       limit judge
//   TFCOMMRecord.cpp      measurement log, record panel, record menu
//   TFCOMMFiles.cpp       log files and the printed report
//   TFCOMMChart.cpp       trend chart and its toolbar
//   TFCOMMJournal.cpp     the log's journal and the offer to restore it
//   TFCOMMStatistics.cpp  the statistics window and the alarm sound
// Each area declares its members in its own block below and connects its
// controls in its wire...Area() function, which the constructor calls after
// the layout is built and before FormCreate. Handlers connected to widgets
// go through handler()/guarded() so that an error shows the error box.
class TFCOMM : public QMainWindow, private PassHost {
    Q_OBJECT
public:
    explicit TFCOMM(const TFCOMMServices& services, QWidget* parent = nullptr);
    ~TFCOMM() override;

    // ===== Application shell (TFCOMM.cpp) =================================
    MessageBoxes& boxes() const { return boxes_; }
    const LocaleSource& locale() const { return locale_; }
    MeterVariant variant() const { return variant_; }
    MeterPipeline& pipeline() { return *pipeline_; }
    const StartValues& startValues() const;

    // The serial receive handlers: the port driver hands received bytes to
    // the variant's handler (StartValues::assembler says which). The panel
    // follows the decoder after every chunk, also when a frame failed.
    void RECEIVE_COM_Data(const std::uint8_t* data, std::ptrdiff_t size);
    void RECEIVE_NIBBLE_Data(const std::uint8_t* data, std::ptrdiff_t size);
    // Runs one step of the frame path (a serial chunk, a USB report). What
    // its frames changed is shown at display rate (DisplayPacer): at once
    // after a quiet spell, else at most every 40 ms. A frame that fails to
    // decode shows the error box once, over a display brought up to date;
    // further failing frames show nothing until a frame decodes again, so
    // a meter that keeps sending bad frames does not stack one box per frame.
    void runFramePath(const std::function<void()>& step);
    // Makes the panel, the data mark and the MIN/MAX captions match the
    // decoder's display state.
    void refreshMeterPanel();
    // Brings the panel, the judge panel, the bar, the grid and the chart up
    // to date with the state the last frame left.
    void showFrameState();
    // Shows now what frames left to show (handlers outside the frame path).
    void showNow();
    // True while frames have left something that is not shown yet.
    bool displayPending() const;

    // Runs fn; an exception it throws is shown in the error box and the
    // program goes on.
    void guarded(const std::function<void()>& fn);
    // A slot that runs a handler of this window under guarded().
    template <typename Handler> auto handler(Handler h) {
        return [this, h] { guarded([this, h] { (this->*h)(); }); };
    }
    // Shows the error box for an error that ended a handler.
    void showError(const std::exception& e);

    void FormCreate(QObject* Sender);
    void FormCloseQuery(QObject* Sender, bool& CanClose);
    void BitBtn1Click();

    LinkCounters linkCounters;

    // ===== Controls (objectName = member name) ============================
    // Connection bar.
    QFrame* Panel5 = nullptr;
    PanelButton* BtCOM1 = nullptr;
    PanelButton* BtCOM2 = nullptr;
    PanelButton* BtCOM3 = nullptr;
    PanelButton* BtCOM4 = nullptr;
    QPushButton* COMCon = nullptr;
    QPushButton* USBCon = nullptr;
    QPushButton* BitBtn1 = nullptr;
    // Meter display and magnitude bar.
    MeterPanel* Panel1 = nullptr;
    QProgressBar* PBar2 = nullptr;
    // Record panel.
    QFrame* Panel2 = nullptr;
    QCheckBox* RepeatSet = nullptr;
    QCheckBox* RecordSI = nullptr;
    QLineEdit* RecordSITime = nullptr;
    QLabel* Label4 = nullptr;
    QToolButton* RecordNew = nullptr;
    QToolButton* OpenDataFiles = nullptr;
    QToolButton* saveas = nullptr;
    QToolButton* BtPrint = nullptr;
    // Log grid (the record area gives it its model).
    QTableView* DBGrid1 = nullptr;
    // Judge panel with the link marks.
    QFrame* Panel4 = nullptr;
    QLabel* T1_HI = nullptr;
    QLineEdit* T1HI = nullptr;
    QLabel* T1_Value = nullptr;
    QLineEdit* T1VALUE = nullptr;
    QLabel* T1_LO = nullptr;
    QLineEdit* T1LO = nullptr;
    ShapeWidget* Shape1 = nullptr;
    QLabel* judge = nullptr;
    LcdPicture* CONok = nullptr;
    LcdPicture* CONokN = nullptr;
    // Chart toolbar.
    QFrame* TntPanel1 = nullptr;
    QCheckBox* BtFill = nullptr;
    QLineEdit* Maxrecord = nullptr;
    QToolButton* BtSave = nullptr;
    QToolButton* BtFirst = nullptr;
    QToolButton* BTPrevious = nullptr;
    QPushButton* Bt10 = nullptr;
    QToolButton* BtNext = nullptr;
    QToolButton* BTlast = nullptr;
    QToolButton* TbFd = nullptr;
    QToolButton* TbSx = nullptr;
    // The trend chart.
    TrendChartView* Chtshow = nullptr;
    // Record menu "記録".
    QMenu* recordMenu = nullptr;
    QActionGroup* recordSizeGroup = nullptr;
    QAction* N10001 = nullptr;
    QAction* N50001 = nullptr;
    QAction* N100001 = nullptr;
    QAction* N500001 = nullptr;
    QAction* N1000001 = nullptr;
    QAction* limitess = nullptr;
    // Hidden controls that carry state.
    QLineEdit* systeminfomation = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QFrame* Panel3 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* MinText = nullptr;
    QLabel* MinTextU = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* MaxText = nullptr;
    QLabel* MaxTextU = nullptr;
    // Timers.
    QTimer* ConTimer = nullptr; // 100 ms, running from start
    QTimer* Timer1 = nullptr;   // 500 ms, stopped
    QTimer* Timer4 = nullptr;   // 500 ms, stopped
    QTimer* Timer3 = nullptr;   // 1000 ms, stopped
    QTimer* Timer2 = nullptr;   // 1000 ms, running from start
    QTimer* Trecord = nullptr;  // no handler, never started

    // ===== Connection control and serial link (TFCOMMConnection.cpp) ======
    void wireConnectionArea();
    // The variant's receive handler and line speed for the serial component.
    void applySerialStartValues(const StartValues& start);
    // The serial port component (designed: COM1, 2400 baud, polled every
    // 100 ms) and the connection bar's logic over it. Members, so that the
    // control (declared last) goes before the component it uses.
    std::unique_ptr<TCommPortDriver> COMM2;
    std::unique_ptr<ConnectionControl> connection;
    // Port panel clicks: BtCOM4 selects COM1, BtCOM1 COM2, BtCOM2 COM3,
    // BtCOM3 COM4.
    void COM11Click();
    void COM21Click();
    void COM31Click();
    void COM41Click();
    // COMCon after an activation (a click, a key, the accessibility
    // interface) changed its state.
    void COMConClick();
    void ConTimerTimer();
    // Shows the connection bar and the link mark as the connection control
    // has them (the panels' tooltips name their device paths).
    void mirrorConnectionBar();

    // ===== USB cable link (TFCOMMUsb.cpp) =================================
    void wireUsbArea();
    // USBCon after an activation changed its state.
    void USBConClick();
    // Stops every reader and lets go of every HID device (the window is
    // closing); USBCon does nothing afterwards.
    void releaseUsb();
    // The HID device controller and the cable link over it; the link goes
    // before the controller whose handlers it holds.
    std::unique_ptr<TJvHidDeviceController> HidCtl;
    std::unique_ptr<UsbCableLink> usbLink;

    // ===== Limit judge (TFCOMMJudge.cpp) ==================================
    void wireJudgeArea();
    // At start-up: the last accepted limit texts.
    void applyLimitStartValues(const StartValues& start);
    // The limit edits: every change restarts the edit's validation timer.
    void T1HIChange(const QString& text);
    void T1LOChange(const QString& text);
    void Timer1Timer();
    void Timer4Timer();
    // Key filters: true when the typed character may reach the edit.
    bool T1HIKeyPress(QChar Key);
    bool T1LOKeyPress(QChar Key);
    // The limit texts follow the locale; every reading is judged (PassHost).
    void normaliseLimitSeparators(const QString& fsDot) override;
    void judgeReading(Reading& reading) override;

    // ===== Measurement log (TFCOMMRecord.cpp) =============================
    void wireRecordArea();
    // At start-up: the measurement table, empty and open.
    void createMeasurementTable();
    // At start-up: NextRecordNo and MaxRecords.
    void applyRecordStartValues(const StartValues& start);
    // The judge, the measurement table cds1 with its record rules, as the
    // decoding pass and velkor-cli share them; the widgets show its state.
    MeterSession& session();
    const Clock& clock() const { return clock_; }
    // The chart controller that receives every logged value and whose page
    // Bt10 shows after each row and New (the chart area attaches chartCtrl
    // once it has made it).
    void attachChartToLog(TChartControl* chartCtrl);
    void Timer3Timer();
    void RecordSITimeChange(const QString& text);
    bool RecordSITimeKeyPress(QChar Key);
    void RepeatSetClick();
    void RecordSIClick();
    void N10001Click();
    void N50001Click();
    void N100001Click();
    void N500001Click();
    void N1000001Click();
    void limitessClick();
    void RecordNewClick();
    // The hand-off of every reading to the log (PassHost).
    bool samplingChecked() const override;
    void setSamplingTimerEnabled(bool on) override;
    void setBarMaximum(int maximum) override;
    void INDataToTable(int index) override;

    // ===== Log files and printed report (TFCOMMFiles.cpp) =================
    void wireFilesArea();
    // The save and open commands over cds1 (made when the area is wired).
    std::unique_ptr<LogFileCommands> fileCommands;
    // saveas: saves the log as an XML data packet or a workbook.
    void saveasClick();
    // OpenDataFiles: opens a log file into cds1.
    void SpeedButton2Click();
    // BtPrint: opens the report's preview window over a copy of the log,
    // unless one is open already or the log is empty. The window is not
    // modal: frames go on being decoded and logged while it is open.
    void BtPrintClick();
    // The preview window while it is open (it deletes itself when closed).
    QPointer<LogReportPreview> reportPreview;

    // ===== Journal of the log (TFCOMMJournal.cpp) =========================
    // Every logged row goes to the journal and its day is noted (CSV saves
    // it); a new log, an opened file that replaces the rows, a successful
    // save and a clean close remove the journal's file. The rows no file
    // holds yet are counted: closing, New and opening a file in their place
    // ask first whether to save them.
    void wireJournalArea();
    // Offers the rows of a run that did not end cleanly, and those the user
    // kept aside at an earlier offer, once the window is up; a damaged
    // journal is told and set aside.
    void offerJournalRestore();
    // The journal ends with the program closed on purpose.
    void finishJournal();
    std::unique_ptr<LogSqliteJournal> journal;
    std::unique_ptr<RowDates> rowDates;
    std::unique_ptr<UnsavedRows> unsavedRows;

    // ===== Statistics and the alarm sound (TFCOMMStatistics.cpp) =========
    // The record menu's "統計" (also in the grid's context menu) opens the
    // statistics window; the checkable "Fail時に警告音" sounds the desktop's
    // alarm when the judge turns Fail.
    void wireStatisticsArea();
    QAction* RecordStats = nullptr;
    QAction* FailSound = nullptr;
    QMenu* gridMenu = nullptr;
    void RecordStatsClick();
    // The statistics window while it is open (it deletes itself when closed).
    QPointer<StatisticsWindow> statisticsWindow;
    std::unique_ptr<AlarmWatch> failWatch;
    std::unique_ptr<AlarmSound> ownAlarmSound;
    AlarmSound* alarmSound = nullptr;

    // ===== Trend chart (TFCOMMChart.cpp) ==================================
    void wireChartArea();
    // At start-up: the paged chart controller over Chtshow.
    void createChartControl(int range);
    // At start-up: every series emptied to one placeholder point.
    void fillSampleValues();
    // Shows series index of Chtshow and hides the others.
    void ShowSeries(int index);
    // The paged chart controller over Chtshow (100 points a page at start).
    std::unique_ptr<TChartControl> chartCtrl;
    // Asks where to save the chart picture.
    SavePictureDialog* SavePictureDialog1 = nullptr;
    void btFillClick();
    void BtFirstClick();
    void BTPreviousClick();
    void BtNextClick();
    void BTlastClick();
    // The page length: every change restarts Timer2, which applies it.
    void MaxrecordChange();
    void Timer2Timer();
    void TbFdClick();
    void TbSxClick();
    void BtSaveClick();
    // Tracker reset and range table (PassHost).
    bool fillChecked() const override;
    void showSeries(int index) override;
    double verticalAxisMaximum() const override;
    void setVerticalAxis(double maximum, double minimum) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The decoding pass reaches the window through these (PassHost).
    void frameArriving() override;

    void buildLayout();
    void buildConnectionBar(QWidget* client);
    void buildRecordPanel(QWidget* client);
    void buildJudgePanel(QWidget* client);
    void buildChartToolbar(QWidget* client);
    void buildRecordMenu();
    void buildHiddenControls(QWidget* client);
    void buildTimers();
    void placeWindow();
    void centreOnScreen();
    void framePassEnded();

    const TFCOMMServices services_;
    MessageBoxes& boxes_;
    const LocaleSource& locale_;
    MeterVariant variant_;
    std::unique_ptr<MeterPipeline> pipeline_;
    // Set when a failing frame has shown its box; cleared by a good frame.
    bool frameErrorShown_ = false;
    std::unique_ptr<DisplayPacer> displayPacer_;
    bool centredWhenShown_ = false;

    // Limit judge and measurement log.
    void showLimitTexts();
    void showJudgePanel();
    void showRecordState();
    const Clock& clock_;
    std::unique_ptr<HandlerTimer> timer1Handle_, timer4Handle_, timer3Handle_;
    std::unique_ptr<MeterSession> session_;
    int shownVerdict_ = 0;

    // Trend chart.
    void showCurPage();
    std::unique_ptr<SavePictureDialog> ownSavePictureDialog_;
    QRect chartGeometry_; // the chart's place while it is enlarged

    // Log files.
    LogFileDialogs* fileDialogs_ = nullptr;
    std::unique_ptr<LogFileDialogs> ownFileDialogs_;

    // Journal.
    void journalRowLogged(const QDateTime& moment);
    void tellJournalFailure(const QString& reason);
    // Offers the rows of one earlier journal; `declined`: when the user
    // kept it aside (none for a run that did not end cleanly).
    void offerLeftover(JournalLeftover& leftover, const QDateTime* declined);
    bool journalOffered_ = false;
    bool journalFailureTold_ = false;
};

} // namespace velkor
