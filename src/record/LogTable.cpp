#include "record/LogTable.h"

#include "record/LogRowBuffer.h"

namespace velkor {

qsizetype LogTable::rowCount() const {
    return store().rowCount();
}

LogRecord LogTable::row(qsizetype index) const {
    return store().row(index);
}

int LogTable::fieldIndex(const QString& name) {
    for (int i = 0; i < 7; ++i) {
        if (name.compare(QLatin1String(kLogFieldNames[i]), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace velkor
