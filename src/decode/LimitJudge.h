#pragma once

#include <QChar>
#include <QString>
#include <cstdint>
#include <optional>

namespace velkor {

class HandlerTimer;
struct Reading;

// The verdict the judge panel shows; None until the first judged frame.
enum class Verdict { None, Pass, Fail };

// Colours of the value edit, the circle and the caption label (0xRRGGBB).
// Before the first verdict they keep the info-tip background of the window.
inline constexpr std::uint32_t kPassColour = 0x008000;
inline constexpr std::uint32_t kFailColour = 0xFF0000;

// What the judge panel shows: the value edit T1VALUE and the verdict, which
// colours T1VALUE, the circle Shape1 and the label judge and captions judge.
struct JudgePanel {
    QString T1VALUE = QStringLiteral("0");
    Verdict verdict = Verdict::None;
    QString judgeCaption; // "Pass", "Fail", empty before the first verdict
};

// A limit text as the judge reads it: a number written with the user's
// decimal separator fsDot (an optional sign and exponent, blanks around
// it), and no other separator. None when the text is no limit: the judge
// then makes no verdict and the validation puts the last accepted text
// back. Every reader of a limit (the window's edits, velkor-cli --hi/--lo)
// goes through here.
std::optional<double> limitValue(const QString& text, const QString& fsDot);

// One limit text at the start of a decoding pass: the first foreign decimal separator
// ("," when fsDot is ".", else ".") becomes fsDot; later ones stay.
QString normalisedSeparator(const QString& text, const QString& fsDot);

// Key filter of a limit edit. At most one system decimal separator (the
// first character of the trimmed `systemSeparator`; when that is empty the
// user's separator takes its place); otherwise only Backspace, "'", "+",
// "-", "0"-"9", "`" and the first character of fsDot below code 256 pass.
bool limitKeyAccepted(QChar key, const QString& editText, const QString& systemSeparator,
                      const QString& fsDot);

// The limit judge: the two limit edits T1HI and T1LO with their validation
// timers Timer1 and Timer4, the last accepted limit texts, and the judge
// panel. The limits live only as the edits' texts and are parsed at every
// frame with the user's decimal separator.
//
// The edits' texts are held here. The window hands every change the user
// makes to T1HIChange/T1LOChange and shows T1HI()/T1LO() after the judge
// changed them (separator normalisation, validation).
class LimitJudge {
public:
    LimitJudge(HandlerTimer& Timer1, HandlerTimer& Timer4);
    LimitJudge(const LimitJudge&) = delete;
    LimitJudge& operator=(const LimitJudge&) = delete;

    const QString& T1HI() const { return hi_.text; }
    const QString& T1LO() const { return lo_.text; }

    // The text of an edit has changed: keep it and restart its validation
    // timer, so that the check runs 500 ms after the last change.
    void T1HIChange(const QString& text) { change(hi_, text); }
    void T1LOChange(const QString& text) { change(lo_, text); }

    // Validation: an unparsable limit text is put back to the last accepted
    // one; then the edit's text becomes the accepted one and the timer stops.
    void Timer1Timer() { validate(hi_); }
    void Timer4Timer() { validate(lo_); }

    // The key filter of each edit: true when the key may reach the edit.
    bool T1HIKeyPress(QChar key) const { return keyAccepted(hi_, key); }
    bool T1LOKeyPress(QChar key) const { return keyAccepted(lo_, key); }

    // At the start of every pass: the user's separator of this frame, and the foreign
    // separator in both limit texts replaced by it.
    void normaliseSeparators(const QString& fsDot);
    // Every decoded reading: shows the value, judges it against the limits (both
    // inclusive) and sets JudgeText. An unparsable limit makes no verdict;
    // an unparsable value (an overload) fails.
    void judge(Reading& reading);

    // Last accepted limit texts ("6000" and "-6000" from the start).
    QString UpperLimitText = QStringLiteral("6000");
    QString LowerLimitText = QStringLiteral("-6000");
    // The hidden edit with the system decimal separator.
    QString systeminfomation;
    // The user's decimal separator as the last pass read it.
    QString FsDot = QStringLiteral(".");

    JudgePanel panel;

private:
    struct Edit {
        QString text;
        HandlerTimer& timer;
        QString& accepted;
    };

    void change(Edit& edit, const QString& text);
    void write(Edit& edit, const QString& text);
    void validate(Edit& edit);
    bool keyAccepted(const Edit& edit, QChar key) const;

    Edit hi_;
    Edit lo_;
};

} // namespace velkor
