#include "decode/LimitJudge.h"

#include "decode/LocaleNumber.h"
#include "meter/Reading.h"
#include "platform/HandlerTimer.h"

namespace velkor {

std::optional<double> limitValue(const QString& text, const QString& fsDot) {
    const double v = parseLocaleNumber(text, fsDot);
    if (v == kUnparsedNumber) {
        return std::nullopt;
    }
    return v;
}

QString normalisedSeparator(const QString& text, const QString& fsDot) {
    const QString foreign = fsDot == QLatin1String(".") ? QStringLiteral(",") : QStringLiteral(".");
    const qsizetype at = text.indexOf(foreign);
    if (at < 0) {
        return text;
    }
    QString result = text;
    result.replace(at, foreign.size(), fsDot);
    return result;
}

bool limitKeyAccepted(QChar key, const QString& editText, const QString& systemSeparator,
                      const QString& fsDot) {
    // At most one decimal separator.
    const QString system = systemSeparator.trimmed();
    const QString separator = system.isEmpty() ? fsDot : system;
    if (!separator.isEmpty() && key == separator[0] && editText.contains(separator[0])) {
        return false;
    }
    // The keys a signed decimal number needs (and two the edit always took).
    switch (key.unicode()) {
    case 8:  // Backspace
    case 39: // '
    case 43: // +
    case 45: // -
    case 96: // `
        return true;
    default: break;
    }
    if (key >= QLatin1Char('0') && key <= QLatin1Char('9')) {
        return true;
    }
    return !fsDot.isEmpty() && key == fsDot[0] && fsDot[0].unicode() < 256;
}

LimitJudge::LimitJudge(HandlerTimer& Timer1, HandlerTimer& Timer4)
    : hi_{QStringLiteral("6000"), Timer1, UpperLimitText}, lo_{QStringLiteral("-6000"), Timer4,
                                                               LowerLimitText} {}

void LimitJudge::change(Edit& edit, const QString& text) {
    edit.text = text;
    edit.timer.restart();
}

// A text the judge writes into an edit is a change like a typed one; writing
// the text the edit already holds changes nothing.
void LimitJudge::write(Edit& edit, const QString& text) {
    if (text != edit.text) {
        change(edit, text);
    }
}

void LimitJudge::validate(Edit& edit) {
    if (!limitValue(edit.text, FsDot)) {
        write(edit, edit.accepted);
    }
    edit.accepted = edit.text;
    edit.timer.setEnabled(false);
}

bool LimitJudge::keyAccepted(const Edit& edit, QChar key) const {
    return limitKeyAccepted(key, edit.text, systeminfomation, FsDot);
}

void LimitJudge::normaliseSeparators(const QString& fsDot) {
    FsDot = fsDot;
    write(hi_, normalisedSeparator(hi_.text, fsDot));
    write(lo_, normalisedSeparator(lo_.text, fsDot));
}

void LimitJudge::judge(Reading& reading) {
    panel.T1VALUE = reading.ValueText;
    // Without two readable limits there is no verdict.
    const std::optional<double> hi = limitValue(hi_.text, FsDot);
    if (!hi) {
        return;
    }
    const std::optional<double> lo = limitValue(lo_.text, FsDot);
    if (!lo) {
        return;
    }
    // Both limits count as inside; a value that does not parse fails.
    const double v = parseLocaleNumber(reading.ValueText, FsDot);
    const bool pass = v != kUnparsedNumber && !(*lo > v || v > *hi);
    panel.verdict = pass ? Verdict::Pass : Verdict::Fail;
    panel.judgeCaption = pass ? QStringLiteral("Pass") : QStringLiteral("Fail");
    reading.JudgeText = pass ? QStringLiteral("pass") : QStringLiteral("Fail");
}

} // namespace velkor
