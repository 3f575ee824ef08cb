#pragma once

#include <QString>
#include <optional>

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

} // namespace velkor
