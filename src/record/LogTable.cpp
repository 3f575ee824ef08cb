#include "record/LogTable.h"

namespace velkor {

int LogTable::fieldIndex(const QString& name) {
    for (int i = 0; i < 7; ++i) {
        if (name.compare(QLatin1String(kLogFieldNames[i]), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace velkor
