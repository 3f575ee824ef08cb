#include "record/AtomicFile.h"

#include "record/FileSaver.h"

#include <QFile>
#include <cerrno>
#include <cstring>

namespace velkor {

LogFileResult writeFileAtomically(const QString& fileName,
                                  const std::function<LogFileResult(QIODevice&)>& write) {
    FileSaver saver(fileName);
    if (LogFileResult r = saver.open(); !r) {
        return r;
    }
    QFile file;
    if (!file.open(saver.handle(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        return LogFileResult::failure(file.errorString());
    }
    LogFileResult r = write(file);
    if (!r) {
        return r;
    }
    if (!file.flush()) {
        const int e = errno;
        return LogFileResult::failure(e != 0 ? QString::fromLocal8Bit(std::strerror(e))
                                             : file.errorString());
    }
    file.close();
    return saver.commit();
}

} // namespace velkor
