#include "cli/FatalRelay.h"

#include "cli/CliOptions.h"

#include <QMetaObject>

namespace velkor::cli {

void FatalRelay::say(const QString& message, bool isFatal) {
    reportError(message);
    if (isFatal && !failed_.exchange(true)) {
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                if (fatal) {
                    fatal();
                }
            },
            Qt::QueuedConnection);
    }
}

} // namespace velkor::cli
