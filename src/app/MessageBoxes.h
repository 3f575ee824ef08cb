#pragma once

#include <QString>
#include <deque>
#include <vector>

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
    virtual Answer show(const QString& text, const QString& caption, Icon icon, Buttons buttons) = 0;

    Answer information(const QString& text, const QString& caption) {
        return show(text, caption, Icon::Information, Buttons::Ok);
    }
    bool askYesNo(const QString& text, const QString& caption) {
        return show(text, caption, Icon::Question, Buttons::YesNo) == Answer::Yes;
    }
};

// Answers from a script and records every box shown. With no scripted answer
// left, a Yes/No box is answered No and an OK box with OK.
class ScriptedMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        QString text;
        QString caption;
        Icon icon;
        Buttons buttons;
    };

    Answer show(const QString& text, const QString& caption, Icon icon, Buttons buttons) override {
        shown.push_back({text, caption, icon, buttons});
        if (!answers.empty()) {
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }

    std::deque<Answer> answers;
    std::vector<Shown> shown;
};

} // namespace velkor
