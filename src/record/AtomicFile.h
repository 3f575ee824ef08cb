#pragma once

#include "record/LogFileResult.h"

#include <QIODevice>
#include <QString>
#include <functional>

namespace velkor {

// Every file the log writes whole (CSV, and the command line's saves and
// checkpoints in CSV) goes through here: `write` fills a new file beside
// the target, which is flushed to the disk and only then takes the target's
// place in one step, so a crash, a power cut or a failing `write` leaves the
// old file or the new one, never a mix or a half. A target that exists and
// is no regular file (a device, a pipe, a directory) is refused and left
// alone; a symbolic link is written through.
LogFileResult writeFileAtomically(const QString& fileName,
                                  const std::function<LogFileResult(QIODevice&)>& write);

} // namespace velkor
