#pragma once

#include <QString>

namespace velkor {

// How a log file operation ended: success, or the reason it failed, in words
// for the user (the caller names the file).
struct LogFileResult {
    QString reason; // empty on success

    static LogFileResult success() { return {}; }
    static LogFileResult failure(QString why) { return {std::move(why)}; }
    bool ok() const { return reason.isEmpty(); }
    explicit operator bool() const { return ok(); }
};

} // namespace velkor
