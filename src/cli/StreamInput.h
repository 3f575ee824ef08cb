#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace velkor {
class MeterPipeline;
}

namespace velkor::cli {

// A byte stream read to its end: a file, or standard input for "-".
class StreamInput {
public:
    using Feed = std::function<void(const std::uint8_t*, std::size_t)>;

    StreamInput() = default;
    StreamInput(const StreamInput&) = delete;
    StreamInput& operator=(const StreamInput&) = delete;
    ~StreamInput();

    // False, with a message on standard error, when it cannot be opened.
    bool open(const QString& path);
    // Hands every chunk to `feed` as soon as it has been read (a pipe from a
    // live meter delivers a few bytes at a time). Returns kExitOk at the end
    // of the stream and kExitInput, with a message, when reading fails.
    int pump(const Feed& feed);

private:
    QString path_;
    int fd_ = -1;
    bool ownsFd_ = false;
};

// Feeds a chunk to the pipeline's serial receive handler in pieces that end
// at a frame end, so that a frame that fails to decode costs only itself:
// the failure goes to standard error as "frame N: MESSAGE" and decoding goes
// on with the next byte. Standard
// output is flushed after the chunk, so that a live stream shows its lines
// as they come.
StreamInput::Feed pipelineFeed(MeterPipeline& pipeline);

} // namespace velkor::cli
