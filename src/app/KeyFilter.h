#pragma once

#include <QChar>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>

#include <functional>
#include <utility>

namespace velkor {

// Lets a typed character reach the watched edit only when the rule accepts
// it. Keys that type no character (arrows, Home, End, Delete, function keys)
// always pass, as they never reach a key-press handler of an edit; control
// characters (Ctrl+V, Enter ...) are characters and go through the rule.
// Install with edit->installEventFilter(filter).
class CharKeyFilter : public QObject {
public:
    using Rule = std::function<bool(QChar)>;

    explicit CharKeyFilter(Rule rule, QObject* parent = nullptr)
        : QObject(parent), rule_(std::move(rule)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Delete) {
                for (const QChar c : key->text()) {
                    if (!rule_(c)) {
                        return true; // swallowed
                    }
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    Rule rule_;
};

// The rule of the numeric edits (page length, sampling interval): the
// digits "0" to "9" and Backspace.
inline bool isDigitOrBackspace(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QChar(8);
}

} // namespace velkor
