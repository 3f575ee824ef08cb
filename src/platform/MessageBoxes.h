#pragma once

#include <QString>

namespace velkor {

// Message boxes, behind one small interface: the program shows real ones,
// tests answer them without a human.
class MessageBoxes {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~MessageBoxes() = default;
    // Shows a modal box and returns the button pressed.
    virtual Answer show(const QString& text, const QString& caption, Icon icon,
                        Buttons buttons) = 0;

    Answer information(const QString& text, const QString& caption) {
        return show(text, caption, Icon::Information, Buttons::Ok);
    }
    bool askYesNo(const QString& text, const QString& caption) {
        return show(text, caption, Icon::Question, Buttons::YesNo) == Answer::Yes;
    }
};

} // namespace velkor
