#pragma once

#include <QString>
#include <vector>

namespace velkor {

// Message boxes, behind one small interface: the program shows real ones,
// tests answer them without a human.
class MessageBoxes {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    // Choices: the buttons of ask(), in the caller's words.
    enum class Buttons { Ok, YesNo, Choices };
    enum class Answer { Ok, Yes, No, Save, Discard, Cancel };
    // One button of ask(): the answer it gives and its text.
    struct Choice {
        Answer answer;
        QString text;
    };

    virtual ~MessageBoxes() = default;
    // Shows a modal box and returns the button pressed.
    virtual Answer show(const QString& text, const QString& caption, Icon icon,
                        Buttons buttons) = 0;
    // Asks a question whose buttons say what each answer does, as the
    // desktop's own save/discard/cancel questions do. The first choice is
    // the default button; Esc and closing the box give `escape`.
    virtual Answer ask(const QString& text, const QString& caption, Icon icon,
                       const std::vector<Choice>& choices, Answer escape) = 0;

    Answer information(const QString& text, const QString& caption) {
        return show(text, caption, Icon::Information, Buttons::Ok);
    }
    bool askYesNo(const QString& text, const QString& caption) {
        return show(text, caption, Icon::Question, Buttons::YesNo) == Answer::Yes;
    }
};

} // namespace velkor
