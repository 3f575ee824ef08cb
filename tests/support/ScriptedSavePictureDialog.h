#pragma once

#include "platform/SavePictureDialog.h"

#include <deque>

namespace velkor {

// Answers from a script: a file name, or a null QString for Cancel; with
// nothing left, Cancel. Counts the runs.
class ScriptedSavePictureDialog final : public SavePictureDialog {
public:
    std::deque<QString> answers;
    int runs = 0;

protected:
    std::optional<QString> ask() override {
        ++runs;
        if (answers.empty()) {
            return std::nullopt;
        }
        const QString name = answers.front();
        answers.pop_front();
        if (name.isNull()) {
            return std::nullopt;
        }
        return name;
    }
};

} // namespace velkor
