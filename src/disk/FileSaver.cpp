#include "disk/FileSaver.h"

#include "platform/posix/SystemErrorText.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace velkor {

namespace {

LogFileResult failure(int code) {
    return LogFileResult::failure(systemErrorText(code));
}

QByteArray directoryOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        return QByteArrayLiteral(".");
    }
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

} // namespace

FileSaver::FileSaver(const QString& fileName, FileSystem& fs)
    : fs_(fs), target_(QFile::encodeName(QFileInfo(fileName).absoluteFilePath())) {}

FileSaver::~FileSaver() {
    discard();
}

// Follows symbolic links to the file they name, which may not exist yet.
bool FileSaver::resolveLinks(int* error) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (fs_.lstat(target_.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return true;
        }
        char buf[PATH_MAX];
        const ssize_t n = fs_.readlink(target_.constData(), buf, sizeof buf);
        if (n < 0 || n == static_cast<ssize_t>(sizeof buf)) {
            *error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        QByteArray next(buf, n);
        if (!next.startsWith('/')) {
            next = directoryOf(target_) + '/' + next;
        }
        target_ = next;
    }
    *error = ELOOP;
    return false;
}

QByteArray FileSaver::randomName() const {
    return directory_ + QByteArrayLiteral("/.velkor-") +
           QByteArray::number(QRandomGenerator::global()->generate64(), 16) +
           QByteArrayLiteral(".tmp");
}

void FileSaver::syncDirectory() {
    const int fd = fs_.open(directory_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd >= 0) {
        fs_.fsync(fd);
        fs_.close(fd);
    }
}

LogFileResult FileSaver::open() {
    int error = 0;
    if (!resolveLinks(&error)) {
        return failure(error);
    }
    directory_ = directoryOf(target_);
    struct stat st {};
    if (fs_.stat(target_.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            return LogFileResult::failure(notRegularFileText());
        }
        if (fs_.access(target_.constData(), W_OK) != 0) {
            return failure(errno);
        }
        mode_ = st.st_mode & 07777;
        keepMode_ = true;
    } else if (errno != ENOENT) {
        return failure(errno);
    }
    fd_ = fs_.open(directory_.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // No unnamed files here: a named one, removed again on failure.
        do {
            named_ = randomName();
            fd_ = fs_.open(named_.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        } while (fd_ < 0 && errno == EEXIST);
        if (fd_ < 0) {
            named_.clear();
        }
    }
    if (fd_ < 0) {
        return failure(errno);
    }
    if (keepMode_ && fs_.fchmod(fd_, mode_) != 0) {
        const int e = errno;
        discard();
        return failure(e);
    }
    return LogFileResult::success();
}

QByteArray FileSaver::libraryPath() const {
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd_);
}

LogFileResult FileSaver::commit() {
    if (fd_ < 0) {
        return failure(EBADF);
    }
    if (fs_.fsync(fd_) != 0) {
        const int e = errno;
        discard();
        return failure(e);
    }
    QByteArray name = named_;
    if (name.isEmpty()) {
        // Linked in, then renamed over the target in one step. The name is
        // the target's own, so the one a save killed between the two steps
        // leaves is taken by the next save of the same file.
        name = directory_ + QByteArrayLiteral("/.") +
               QCryptographicHash::hash(target_, QCryptographicHash::Sha1).toHex().left(20) +
               QByteArrayLiteral(".velkor-new");
        for (int attempt = 0;; ++attempt) {
            if (fs_.linkat(AT_FDCWD, libraryPath().constData(), AT_FDCWD, name.constData(),
                           AT_SYMLINK_FOLLOW) == 0) {
                break;
            }
            if (errno != EEXIST || attempt > 0 || fs_.unlink(name.constData()) != 0) {
                const int e = errno;
                discard();
                return failure(e);
            }
        }
    }
    // A network file system may tell of a failed write only at close: the
    // file is then not put in place. An interrupted close has closed the
    // file all the same, and its data is synced.
    const int closed = fs_.close(fd_);
    const int closeError = errno;
    fd_ = -1;
    named_.clear();
    if (closed != 0 && closeError != EINTR) {
        fs_.unlink(name.constData());
        return failure(closeError);
    }
    if (fs_.rename(name.constData(), target_.constData()) != 0) {
        const int e = errno;
        fs_.unlink(name.constData());
        return failure(e);
    }
    syncDirectory();
    return LogFileResult::success();
}

void FileSaver::discard() {
    if (fd_ >= 0) {
        fs_.close(fd_);
        fd_ = -1;
    }
    if (!named_.isEmpty()) {
        fs_.unlink(named_.constData());
        named_.clear();
    }
}

} // namespace velkor
