#pragma once

#include "platform/MessageBoxes.h"

#include <QStringList>
#include <deque>
#include <vector>

namespace velkor {

// Answers from a script and records every box shown. With no scripted answer
// left, a Yes/No box is answered No, an OK box with OK and a question of
// choices with its escape answer.
class ScriptedMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        QString text;
        QString caption;
        Icon icon;
        Buttons buttons;
        QStringList choices; // the buttons' texts of a question of choices
    };

    Answer show(const QString& text, const QString& caption, Icon icon, Buttons buttons) override {
        shown.push_back({text, caption, icon, buttons, {}});
        return next(buttons == Buttons::YesNo ? Answer::No : Answer::Ok);
    }

    Answer ask(const QString& text, const QString& caption, Icon icon,
               const std::vector<Choice>& choices, Answer escape) override {
        QStringList texts;
        for (const Choice& c : choices) {
            texts.push_back(c.text);
        }
        shown.push_back({text, caption, icon, Buttons::Choices, texts});
        return next(escape);
    }

    std::deque<Answer> answers;
    std::vector<Shown> shown;

private:
    Answer next(Answer otherwise) {
        if (answers.empty()) {
            return otherwise;
        }
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};

} // namespace velkor
