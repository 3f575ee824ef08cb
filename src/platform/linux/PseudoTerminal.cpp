#include "platform/linux/PseudoTerminal.h"

#include <QElapsedTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace velkor {

namespace {
QString systemText(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

PseudoTerminal::~PseudoTerminal() {
    close();
}

bool PseudoTerminal::open() {
    close();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0) {
        error_ = systemText("posix_openpt");
        return false;
    }
    char name[128];
    if (::grantpt(master_) < 0 || ::unlockpt(master_) < 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        error_ = systemText("pseudo-terminal slave");
        close();
        return false;
    }
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0) {
        error_ = systemText(name);
        close();
        return false;
    }
    termios t{};
    if (::tcgetattr(slave_, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    slavePath_ = QString::fromLocal8Bit(name);
    return true;
}

int PseudoTerminal::unread() const {
    int n = 0;
    if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &n) < 0) {
        return 0;
    }
    return n;
}

bool PseudoTerminal::drain(int timeoutMs) const {
    // Bytes written to the master reach the slave's queue a moment later,
    // so the queue must stay empty for a while to count as drained.
    constexpr qint64 kSettledMs = 50;
    QElapsedTimer t;
    t.start();
    qint64 emptySince = -1;
    while (t.elapsed() < timeoutMs) {
        if (unread() > 0) {
            emptySince = -1;
        } else if (emptySince < 0) {
            emptySince = t.elapsed();
        } else if (t.elapsed() - emptySince >= kSettledMs) {
            return true;
        }
        ::usleep(5000);
    }
    return false;
}

bool PseudoTerminal::send(const std::uint8_t* data, std::size_t size) {
    if (master_ < 0) {
        return false;
    }
    bool flushed = false;
    while (size > 0) {
        const ssize_t n = ::write(master_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error_ = systemText("write");
            return false;
        }
        // The line is full of bytes nobody read: drop them once, then wait
        // briefly for the reader.
        if (!flushed && slave_ >= 0) {
            ::tcflush(slave_, TCIFLUSH);
            flushed = true;
            continue;
        }
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, 100) <= 0) {
            error_ = QStringLiteral("write: the line stays full");
            return false;
        }
    }
    return true;
}

void PseudoTerminal::closeMaster() {
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void PseudoTerminal::close() {
    closeMaster();
    slavePath_.clear();
}

} // namespace velkor
