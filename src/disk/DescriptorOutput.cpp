#include "disk/DescriptorOutput.h"

#include "platform/posix/SystemErrorText.h"

#include <cerrno>

namespace velkor {

DescriptorOutput::DescriptorOutput(FileSystem& fs, int fd) : fs_(fs), fd_(fd) {}

void DescriptorOutput::close() {
    if (isOpen()) {
        drain();
    }
    QIODevice::close();
}

bool DescriptorOutput::drain() {
    if (error_ != 0) {
        return false;
    }
    const qint64 n = used_;
    used_ = 0;
    return writeAll(buffer_.get(), n);
}

qint64 DescriptorOutput::readData(char*, qint64) {
    return -1;
}

qint64 DescriptorOutput::writeData(const char* data, qint64 size) {
    if (error_ != 0) {
        return -1;
    }
    if (used_ + size > kBufferBytes) {
        if (!drain()) {
            return -1;
        }
        // A piece as large as the buffer goes out as it is.
        if (size >= kBufferBytes) {
            return writeAll(data, size) ? size : -1;
        }
    }
    if (!buffer_) {
        buffer_.reset(new char[kBufferBytes]);
    }
    std::memcpy(buffer_.get() + used_, data, static_cast<std::size_t>(size));
    used_ += size;
    return size;
}

bool DescriptorOutput::writeAll(const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = fs_.write(fd_, data, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // No progress without a reason is taken for an I/O error, so
            // the loop cannot spin.
            error_ = n < 0 && errno != 0 ? errno : EIO;
            setErrorString(systemErrorText(error_));
            return false;
        }
        data += n;
        size -= n;
        written_ += n;
    }
    if (written_ - writtenBack_ >= kWritebackBytes) {
        // Only a hint: what fails here fails again at the fsync, which says so.
        fs_.startWriteback(fd_, writtenBack_, written_ - writtenBack_);
        writtenBack_ = written_;
    }
    return true;
}

} // namespace velkor
