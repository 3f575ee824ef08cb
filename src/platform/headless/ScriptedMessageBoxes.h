#pragma once

#include "platform/MessageBoxes.h"

#include <deque>
#include <vector>

namespace velkor {

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
