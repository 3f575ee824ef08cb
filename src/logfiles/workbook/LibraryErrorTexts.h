#pragma once

#include "platform/posix/SystemErrorText.h"

#include <QString>
#include <xlsxwriter.h>
#include <zip.h>

namespace velkor {

// The failures of the workbook libraries in the program's words: what went
// wrong in Japanese, then the system's reason where there is one (the
// meaning of its errno value), never the libraries' own English texts.

// A failure of libxlsxwriter; `systemError` is errno as the library left it
// (0: none).
QString workbookWriteErrorText(lxw_error error, int systemError);
// A failure of libzip.
QString zipErrorText(const zip_error_t& error);
// A libzip error code with the errno of the call that failed (0: none).
QString zipErrorText(int zipCode, int systemError);

} // namespace velkor
