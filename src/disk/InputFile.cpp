#include "disk/InputFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

LogFileResult checkInputFile(const QString& fileName) {
    const QByteArray name = QFile::encodeName(fileName);
    // Non-blocking, so a pipe with no writer opens at once to be refused.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return LogFileResult::success(); // the reader tells why it cannot open it
    }
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0;
    const int e = errno;
    ::close(fd);
    if (!ok) {
        return LogFileResult::failure(QString::fromLocal8Bit(std::strerror(e)));
    }
    if (!S_ISREG(st.st_mode)) {
        return LogFileResult::failure(QStringLiteral("not a regular file"));
    }
    return LogFileResult::success();
}

} // namespace velkor
