#pragma once

#include "disk/LogFileResult.h"
#include "platform/FileSystem.h"
#include "platform/posix/PosixFileSystem.h"

#include <QIODevice>
#include <QString>
#include <functional>

namespace velkor {

// Every file the program writes whole (the log's XML and CSV, the command
// line's saves and checkpoints, the report's PDF, the chart's picture) goes
// through here: `write` fills an unnamed file in the target's directory
// through a FileSaver, which flushes it to the disk and only then puts it in
// the target's place in one step, so a crash, a power cut or a failing
// `write` leaves the old file or the new one, never a mix, a half or a
// temporary file. A target that exists and is no regular file (a device, a
// pipe, a directory) or that the user may not write is refused and left
// alone; a replaced file keeps its mode; a symbolic link is written through.
// The device `write` is given is sequential and buffered; when the system
// refuses a write (a full disk), the result gives the system's reason, even
// if `write` itself took no notice.
LogFileResult writeFileAtomically(const QString& fileName,
                                  const std::function<LogFileResult(QIODevice&)>& write,
                                  FileSystem& fs = PosixFileSystem::instance());

} // namespace velkor
