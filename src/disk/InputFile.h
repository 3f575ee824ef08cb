#pragma once

#include "disk/LogFileResult.h"

#include <QString>

namespace velkor {

// Whether `fileName` can be read as a log file: it must be a regular file.
// A pipe or a device is refused at once, without waiting for a writer
// (opening a pipe for reading would wait for ever). A missing file passes:
// the reader that opens it says so. Any other reason a file cannot be
// opened (no permission) is given here, in the program's words.
LogFileResult checkInputFile(const QString& fileName);

} // namespace velkor
