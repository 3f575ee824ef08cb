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
    std::uint8_t buf[4096];
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
        for (std::size_t i = 0; i < n; ++i) {
            try {
                pipeline.receive(&data[i], 1);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "frame %lld: %s\n", pipeline.framesOffered(), e.what());
            }
        }
        std::fflush(stdout);
    };
}

} // namespace velkor::cli
