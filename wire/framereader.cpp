#include "framereader.h"

namespace velmora::wire {

void FrameReader::append(const unsigned char *data, std::size_t size)
{
    if (failure_ != DecodeError::None) {
        return;
    }
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

FrameReader::Status FrameReader::next(Frame &out, DecodeError &error)
{
    error = failure_;
    if (failure_ != DecodeError::None) {
        return Status::Error;
    }
    const std::size_t available = buffer_.size() - start_;
    if (available < 4) {
        return Status::NeedMore;
    }
    std::uint32_t bodyLength = 0;
    error = FrameCodec::decodeLength(buffer_.data() + start_, bodyLength);
    if (error == DecodeError::None) {
        if (available - 4 < bodyLength) {
            return Status::NeedMore;
        }
        error = FrameCodec::decodeBody(buffer_.data() + start_ + 4, bodyLength, expected_, out);
    }
    if (error != DecodeError::None) {
        failure_ = error;
        buffer_.clear();
        start_ = 0;
        return Status::Error;
    }
    start_ += 4 + bodyLength;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return Status::Ready;
}

} // namespace velmora::wire
