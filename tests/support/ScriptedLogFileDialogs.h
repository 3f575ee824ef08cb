#pragma once

#include "platform/LogFileDialogs.h"

#include <deque>
#include <vector>

namespace velkor {

// Answers from a script and records every dialog shown. With no answer left
// a dialog is cancelled.
class ScriptedLogFileDialogs final : public LogFileDialogs {
public:
    struct Shown {
        bool save;
        Options options;
    };

    std::optional<QString> saveFileName(const Options& options) override {
        return answer(true, options);
    }
    std::optional<QString> openFileName(const Options& options) override {
        return answer(false, options);
    }

    std::deque<std::optional<QString>> answers;
    std::vector<Shown> shown;

private:
    std::optional<QString> answer(bool save, const Options& options) {
        shown.push_back({save, options});
        if (answers.empty()) {
            return std::nullopt;
        }
        const bool chosen = answers.front().has_value();
        const QString name = chosen ? *answers.front() : QString();
        answers.pop_front();
        if (!chosen) {
            return std::nullopt;
        }
        return name;
    }
};

} // namespace velkor
