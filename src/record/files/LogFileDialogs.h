#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <vector>

namespace velkor {

// The save and open file dialogs of the log commands, behind one small
// interface: the program shows Qt file dialogs, tests answer from a script.
class LogFileDialogs {
public:
    struct Options {
        // Filter in the "Description|pattern|Description|pattern" form.
        QString filter;
        // Appended (with a period) to a typed name that has no extension.
        QString defaultExtension;
        // Ask before a file that exists is replaced.
        bool confirmOverwrite = false;
        // The name the dialog starts with.
        QString fileName;
    };

    virtual ~LogFileDialogs() = default;
    // The chosen file name, or nothing when the user cancels.
    virtual std::optional<QString> saveFileName(const Options& options) = 0;
    virtual std::optional<QString> openFileName(const Options& options) = 0;
};

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

// A "Description|pattern|..." filter in Qt's file dialog syntax: one
// "Description (pattern)" entry per pair, joined by ";;". A description
// that already ends in "(pattern)" is kept as it is.
QString qtFileDialogFilter(const QString& filter);

} // namespace velkor
