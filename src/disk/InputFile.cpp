#include "disk/InputFile.h"

#include "platform/posix/SystemErrorText.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

LogFileResult checkInputFile(const QString& fileName) {
    const QByteArray name = QFile::encodeName(fileName);
    // Non-blocking, so a pipe with no writer opens at once to be refused.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int e = errno;
        // A missing file is the reader's to tell.
        return e == ENOENT ? LogFileResult::success() : LogFileResult::failure(systemErrorText(e));
    }
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0;
    const int e = errno;
    ::close(fd);
    if (!ok) {
        return LogFileResult::failure(systemErrorText(e));
    }
    if (!S_ISREG(st.st_mode)) {
        return LogFileResult::failure(notRegularFileText());
    }
    return LogFileResult::success();
}

} // namespace velkor
