#include "record/FileSaver.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

namespace {

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

LogFileResult failure(int code) {
    return LogFileResult::failure(systemText(code));
}

QByteArray directoryOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        return QByteArrayLiteral(".");
    }
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Follows symbolic links to the file they name, which may not exist yet.
bool resolveLinks(QByteArray* path, int* error) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path->constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return true;
        }
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(path->constData(), buf, sizeof buf);
        if (n < 0 || n == static_cast<ssize_t>(sizeof buf)) {
            *error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        QByteArray next(buf, n);
        if (!next.startsWith('/')) {
            next = directoryOf(*path) + '/' + next;
        }
        *path = next;
    }
    *error = ELOOP;
    return false;
}

QByteArray randomName(const QByteArray& directory) {
    return directory + QByteArrayLiteral("/.velkor-") +
           QByteArray::number(QRandomGenerator::global()->generate64(), 16) +
           QByteArrayLiteral(".tmp");
}

void syncDirectory(const QByteArray& directory) {
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

FileSaver::FileSaver(const QString& fileName)
    : target_(QFile::encodeName(QFileInfo(fileName).absoluteFilePath())) {}

FileSaver::~FileSaver() {
    discard();
}

LogFileResult FileSaver::open() {
    int error = 0;
    if (!resolveLinks(&target_, &error)) {
        return failure(error);
    }
    directory_ = directoryOf(target_);
    struct stat st {};
    if (::stat(target_.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            return LogFileResult::failure(QStringLiteral("not a regular file"));
        }
        if (::access(target_.constData(), W_OK) != 0) {
            return failure(errno);
        }
        mode_ = st.st_mode & 07777;
        keepMode_ = true;
    } else if (errno != ENOENT) {
        return failure(errno);
    }
    fd_ = ::open(directory_.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // No unnamed files here: a named one, removed again on failure.
        do {
            named_ = randomName(directory_);
            fd_ = ::open(named_.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        } while (fd_ < 0 && errno == EEXIST);
        if (fd_ < 0) {
            named_.clear();
        }
    }
    if (fd_ < 0) {
        return failure(errno);
    }
    if (keepMode_ && ::fchmod(fd_, mode_) != 0) {
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
    if (::fsync(fd_) != 0) {
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
            if (::linkat(AT_FDCWD, libraryPath().constData(), AT_FDCWD, name.constData(),
                         AT_SYMLINK_FOLLOW) == 0) {
                break;
            }
            if (errno != EEXIST || attempt > 0 || ::unlink(name.constData()) != 0) {
                const int e = errno;
                discard();
                return failure(e);
            }
        }
    }
    ::close(fd_);
    fd_ = -1;
    named_.clear();
    if (::rename(name.constData(), target_.constData()) != 0) {
        const int e = errno;
        ::unlink(name.constData());
        return failure(e);
    }
    syncDirectory(directory_);
    return LogFileResult::success();
}

void FileSaver::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!named_.isEmpty()) {
        ::unlink(named_.constData());
        named_.clear();
    }
}

} // namespace velkor
