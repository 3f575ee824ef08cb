// The limit judge: limit edits, their key filter and validation timers, and
// the judge panel showing the verdict of the latest frame.

#include "app/TFCOMM.h"

#include "app/KeyFilter.h"
#include "app/ShapeWidget.h"
#include "decode/StartValues.h"
#include "pipeline/MeterSession.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

namespace velkor {

namespace {

// Writes a text the judge changed into its edit. The judge has already
// counted it as a change, so the edit's own change signal stays quiet.
void showText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) {
        const QSignalBlocker quiet(edit);
        edit->setText(text);
    }
}

void paintBackground(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, c);
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
}

} // namespace

// Connects the limit edits and Timer1, Timer4 to their handlers.
void TFCOMM::wireJudgeArea() {
    connect(T1HI, &QLineEdit::textChanged, this,
            [this](const QString& text) { guarded([&] { T1HIChange(text); }); });
    connect(T1LO, &QLineEdit::textChanged, this,
            [this](const QString& text) { guarded([&] { T1LOChange(text); }); });
    connect(Timer1, &QTimer::timeout, this, handler(&TFCOMM::Timer1Timer));
    connect(Timer4, &QTimer::timeout, this, handler(&TFCOMM::Timer4Timer));
    T1HI->installEventFilter(new CharKeyFilter([this](QChar c) { return T1HIKeyPress(c); }, T1HI));
    T1LO->installEventFilter(new CharKeyFilter([this](QChar c) { return T1LOKeyPress(c); }, T1LO));
}

// The last accepted limit texts (start.UpperLimitText, start.LowerLimitText),
// with the separators the filter and the validation read.
void TFCOMM::applyLimitStartValues(const StartValues& start) {
    session().applyLimitStartValues(start);
    session().limits.systeminfomation = systeminfomation->text();
}

void TFCOMM::T1HIChange(const QString& text) {
    session().limits.T1HIChange(text);
}

void TFCOMM::T1LOChange(const QString& text) {
    session().limits.T1LOChange(text);
}

void TFCOMM::Timer1Timer() {
    session().limits.Timer1Timer();
    showLimitTexts();
}

void TFCOMM::Timer4Timer() {
    session().limits.Timer4Timer();
    showLimitTexts();
}

bool TFCOMM::T1HIKeyPress(QChar Key) {
    return session().limits.T1HIKeyPress(Key);
}

bool TFCOMM::T1LOKeyPress(QChar Key) {
    return session().limits.T1LOKeyPress(Key);
}

void TFCOMM::normaliseLimitSeparators(const QString& fsDot) {
    session().normaliseLimitSeparators(fsDot);
    showLimitTexts();
}

// The judge panel follows at display rate.
void TFCOMM::judgeReading(Reading& reading) {
    session().judgeReading(reading);
}

void TFCOMM::showLimitTexts() {
    showText(T1HI, session().limits.T1HI());
    showText(T1LO, session().limits.T1LO());
}

// The value, and once there is a verdict its colour on the value, the circle
// and the label, and its caption.
void TFCOMM::showJudgePanel() {
    const JudgePanel& panel = session().limits.panel;
    if (T1VALUE->text() != panel.T1VALUE) {
        T1VALUE->setText(panel.T1VALUE);
    }
    const int verdict = static_cast<int>(panel.verdict);
    if (panel.verdict == Verdict::None || verdict == shownVerdict_) {
        return;
    }
    shownVerdict_ = verdict;
    const QColor colour =
        QColor::fromRgb(panel.verdict == Verdict::Pass ? kPassColour : kFailColour);
    paintBackground(T1VALUE, colour);
    Shape1->setBrush(colour);
    paintBackground(judge, colour);
    judge->setText(panel.judgeCaption);
}

} // namespace velkor
