#pragma once

#include "framecodec.h"

#include <cstddef>
#include <vector>

namespace velmora::wire {

// Cuts a byte stream into validated frames. The length prefix is checked as soon as its four
// bytes are in, so an oversized announcement is refused before its body is awaited. After the
// first error the reader stays failed: the stream has lost its framing.
class FrameReader
{
public:
    enum class Status
    {
        NeedMore,
        Ready,
        Error,
    };

    explicit FrameReader(Direction expected) : expected_(expected) {}

    void append(const unsigned char *data, std::size_t size);
    Status next(Frame &out, DecodeError &error);
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    Direction expected_;
    std::vector<unsigned char> buffer_;
    std::size_t start_ = 0;
    DecodeError failure_ = DecodeError::None;
};

} // namespace velmora::wire
