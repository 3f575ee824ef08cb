#pragma once

#include "record/LogFileResult.h"

#include <QIODevice>
#include <QString>
#include <functional>

namespace velkor {

// Every file the log writes whole (XML, CSV, and the command line's saves
// and checkpoints) goes through here: `write` fills an unnamed file in the
// target's directory through a FileSaver, which flushes it to the disk and
// only then puts it in the target's place in one step, so a crash, a power
// cut or a failing `write` leaves the old file or the new one, never a mix,
// a half or a temporary file. A target that exists and is no regular file
// (a device, a pipe, a directory) or that the user may not write is refused
// and left alone; a replaced file keeps its mode; a symbolic link is
// written through.
LogFileResult writeFileAtomically(const QString& fileName,
                                  const std::function<LogFileResult(QIODevice&)>& write);

} // namespace velkor
