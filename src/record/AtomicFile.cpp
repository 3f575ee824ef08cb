#include "record/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velkor {

namespace {

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The rename is in the directory: flushing it makes the new name survive a
// power cut too.
void syncDirectoryOf(const QString& fileName) {
    const QString target = QFileInfo(fileName).isSymLink() ? QFileInfo(fileName).symLinkTarget()
                                                           : QFileInfo(fileName).absoluteFilePath();
    const QByteArray dir = QFile::encodeName(QFileInfo(target).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

LogFileResult writeFileAtomically(const QString& fileName,
                                  const std::function<LogFileResult(QIODevice&)>& write) {
    const QFileInfo existing(fileName);
    if (existing.exists() && !existing.isFile()) {
        return LogFileResult::failure(QStringLiteral("not a regular file"));
    }
    QSaveFile file(fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        return LogFileResult::failure(file.errorString());
    }
    LogFileResult r = write(file);
    if (!r) {
        file.cancelWriting();
        return r;
    }
    if (!file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return LogFileResult::failure(why);
    }
    if (::fsync(file.handle()) != 0) {
        const int e = errno;
        file.cancelWriting();
        return LogFileResult::failure(systemText(e));
    }
    if (!file.commit()) {
        return LogFileResult::failure(file.errorString());
    }
    syncDirectoryOf(fileName);
    return r;
}

} // namespace velkor
