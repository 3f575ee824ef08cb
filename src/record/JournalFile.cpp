#include "record/JournalFile.h"

#include "platform/posix/SystemErrorText.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velkor {

JournalFile::JournalFile(JournalFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

JournalFile& JournalFile::operator=(JournalFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
    }
    return *this;
}

JournalFile::~JournalFile() {
    close();
}

void JournalFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

JournalFile::Taken JournalFile::take(const QString& path, QString* why) {
    close();
    size_ = 0;
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd_ < 0) {
        *why = systemErrorText(errno);
        return Taken::Failed;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        close();
        if (e == EWOULDBLOCK) {
            return Taken::InUse;
        }
        *why = systemErrorText(e);
        return Taken::Failed;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = notRegularFileText();
        return Taken::Failed;
    }
    size_ = st.st_size;
    return Taken::Held;
}

} // namespace velkor
