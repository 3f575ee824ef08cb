#include "cli/LimitOption.h"

#include "decode/LimitJudge.h"

namespace velkor::cli {

QString limitOptionError(const QString& option, const QString& text, const QString& fsDot) {
    if (limitValue(text, fsDot)) {
        return {};
    }
    return QStringLiteral("%1: '%2' is no limit: write a number with this locale's decimal "
                          "separator '%3' (LC_ALL, LC_NUMERIC, LANG), as the window's limit "
                          "edits take it")
        .arg(option, text, fsDot);
}

} // namespace velkor::cli
