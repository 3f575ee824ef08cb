#pragma once

#include <string>

namespace velkor {

// Where a link delivers the frames it cuts from the meter's stream: it puts
// the frame into frameHex() as upper-case hex text, two digits per byte, and
// calls decodeFrame(), which decodes it and passes the reading on. Both the
// serial and the USB link feed the pipeline this way.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual std::string& frameHex() = 0;
    // May throw when the frame cannot be decoded.
    virtual void decodeFrame() = 0;
};

} // namespace velkor
