#include "cli/StreamInput.h"

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "pipeline/MeterPipeline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velkor::cli {

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

StreamInput::~StreamInput() {
    if (ownsFd_) {
        ::close(fd_);
    }
}

bool StreamInput::open(const QString& path) {
    path_ = path;
    if (path == QLatin1String("-")) {
        fd_ = STDIN_FILENO;
        return true;
    }
    fd_ = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        reportError(QStringLiteral("cannot open %1: %2").arg(path, systemError()));
        return false;
    }
    ownsFd_ = true;
    return true;
}

int StreamInput::pump(const Feed& feed) {
    std::uint8_t buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            feed(buf, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return kExitOk;
        } else if (errno != EINTR) {
            reportError(QStringLiteral("cannot read %1: %2").arg(path_, systemError()));
            return kExitInput;
        }
    }
}

StreamInput::Feed pipelineFeed(MeterPipeline& pipeline) {
    return [&pipeline](const std::uint8_t* data, std::size_t n) {
        // A frame that fails ends the piece of the chunk it came in: each
        // piece given to the assembler ends at a frame end (0D), so no byte
        // after a failing frame is lost.
        std::size_t start = 0;
        while (start < n) {
            std::size_t end = start;
            while (end < n && data[end] != 0x0D) {
                ++end;
            }
            end = end < n ? end + 1 : n;
            try {
                pipeline.receive(data + start, static_cast<std::ptrdiff_t>(end - start));
            } catch (const std::exception& e) {
                std::fprintf(stderr, "frame %lld: %s\n", pipeline.framesOffered(), e.what());
            }
            start = end;
        }
        std::fflush(stdout);
    };
}

} // namespace velkor::cli
