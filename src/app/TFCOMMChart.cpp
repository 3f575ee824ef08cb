// The trend chart Chtshow, its paged controller and its toolbar.

#include "app/TFCOMM.h"

#include "app/KeyFilter.h"
#include "chart/TChartControl.h"
#include "chart/view/TrendChartView.h"
#include "platform/MessageBoxes.h"
#include "platform/widgets/QtSavePictureDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace velkor {

// Connects the chart toolbar and Timer2 to their handlers.
void TFCOMM::wireChartArea() {
    // The chart draws what the frames left at display rate, with the rest
    // of the window (showFrameState).
    Chtshow->setPaced(true);
    if (!SavePictureDialog1) {
        ownSavePictureDialog_ = std::make_unique<QtSavePictureDialog>(this);
        SavePictureDialog1 = ownSavePictureDialog_.get();
    }
    connect(BtFill, &QCheckBox::clicked, this, handler(&TFCOMM::btFillClick));
    connect(BtFirst, &QToolButton::clicked, this, handler(&TFCOMM::BtFirstClick));
    connect(BTPrevious, &QToolButton::clicked, this, handler(&TFCOMM::BTPreviousClick));
    connect(BtNext, &QToolButton::clicked, this, handler(&TFCOMM::BtNextClick));
    connect(BTlast, &QToolButton::clicked, this, handler(&TFCOMM::BTlastClick));
    connect(Maxrecord, &QLineEdit::textChanged, this, handler(&TFCOMM::MaxrecordChange));
    connect(Timer2, &QTimer::timeout, this, handler(&TFCOMM::Timer2Timer));
    connect(TbFd, &QToolButton::clicked, this, handler(&TFCOMM::TbFdClick));
    connect(TbSx, &QToolButton::clicked, this, handler(&TFCOMM::TbSxClick));
    connect(BtSave, &QToolButton::clicked, this, handler(&TFCOMM::BtSaveClick));
    // The page length's keys go through the sampling interval's filter.
    Maxrecord->installEventFilter(
        new CharKeyFilter([this](QChar c) { return RecordSITimeKeyPress(c); }, Maxrecord));
}

// chartCtrl over Chtshow with a page of range readings.
// Every logged value goes to it.
void TFCOMM::createChartControl(int range) {
    chartCtrl = std::make_unique<TChartControl>(Chtshow->model(), range, boxes_);
    attachChartToLog(chartCtrl.get());
}

// Every series of Chtshow emptied to one placeholder point.
void TFCOMM::fillSampleValues() {
    Chtshow->model().fillSampleValues(1);
}

// Shows series index (0 area, 1 line) and hides the other.
void TFCOMM::ShowSeries(int index) {
    showOnlySeries(Chtshow->model(), index);
}

// ----- What the decoding pass asks of the chart ----------------------------

bool TFCOMM::fillChecked() const {
    return BtFill->isChecked();
}

void TFCOMM::showSeries(int index) {
    ShowSeries(index);
}

double TFCOMM::verticalAxisMaximum() const {
    return Chtshow->model().verticalMaximum();
}

void TFCOMM::setVerticalAxis(double maximum, double minimum) {
    Chtshow->model().setVerticalRange(minimum, maximum);
}

// ----- Toolbar -------------------------------------------------------------

void TFCOMM::btFillClick() {
    ShowSeries(BtFill->isChecked() ? 0 : 1);
    showNow();
}

void TFCOMM::showCurPage() {
    Bt10->setText(QString::number(chartCtrl->CurPage()));
    showNow();
}

void TFCOMM::BtFirstClick() {
    chartCtrl->First();
    showCurPage();
}

void TFCOMM::BTPreviousClick() {
    chartCtrl->Previous();
    showCurPage();
}

void TFCOMM::BtNextClick() {
    chartCtrl->Next();
    showCurPage();
}

void TFCOMM::BTlastClick() {
    chartCtrl->Last();
    showCurPage();
}

// A new page length is applied a second after the last change of the text.
void TFCOMM::MaxrecordChange() {
    Timer2->stop();
    Timer2->start();
}

void TFCOMM::Timer2Timer() {
    Timer2->stop();
    bool ok = false;
    const int range = Maxrecord->text().toInt(&ok, 10);
    // A page length below 1 is refused like text that is no number: the
    // page count divides by it.
    if (ok && range >= 1) {
        chartCtrl->setRange(range);
        showCurPage();
        return;
    }
    boxes_.show(Maxrecord->text() + QStringLiteral(" は無効な設定値です."),
                QStringLiteral("VELKOR"), MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
    Maxrecord->setFocus();
}

// Enlarges the chart over the window: the meter panel and the grid stay
// where they are, under the chart; the other panels are hidden.
void TFCOMM::TbFdClick() {
    TbFd->hide();
    TbSx->show();
    chartGeometry_ = Chtshow->geometry();
    // Sized from the window's outer size as the layout was designed, kept
    // inside the client area where a window manager's frame is larger.
    const QSize outer = frameGeometry().size();
    const QSize client = Chtshow->parentWidget()->size();
    const int left = 2;
    const int top = 28;
    Chtshow->setGeometry(left, top, std::min(outer.width() - 12, client.width() - left - 2),
                         std::min(outer.height() - 55, client.height() - top - 2));
    TntPanel1->move(2, 0);
    Panel2->hide();
    Panel4->hide();
    Panel5->hide();
    Chtshow->raise();
    TntPanel1->raise(); // the toolbar's buttons stay above the chart's top
}

void TFCOMM::TbSxClick() {
    TbSx->hide();
    TbFd->show();
    Chtshow->setGeometry(chartGeometry_);
    TntPanel1->move(312, 141);
    Panel2->show();
    Panel4->show();
    Panel5->show();
}

// Saves the chart as drawn as a Windows bitmap. A write error reaches the
// error box and the success message is not shown.
void TFCOMM::BtSaveClick() {
    if (!SavePictureDialog1->Execute()) {
        return;
    }
    const QString path = QFileInfo(SavePictureDialog1->FileName).absoluteFilePath();
    Chtshow->saveBitmap(path);
    boxes_.information(QStringLiteral("%1 に保存しました").arg(path),
                       QStringLiteral("インフォメーション"));
}

} // namespace velkor
