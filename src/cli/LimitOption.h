#pragma once

#include <QString>

namespace velkor::cli {

// Why `text`, given to the option `option` (--hi, --lo), is no limit, or an
// empty text when it is one. A limit is read as the window's limit edits are
// read (limitValue): with the decimal separator of the locale the program
// runs in, `fsDot`, and no other, so that a limit means the same in the
// window and on the command line.
QString limitOptionError(const QString& option, const QString& text, const QString& fsDot);

} // namespace velkor::cli
