#pragma once

#include "framecodec.h"

namespace velmora::ctpapi {

// Turns connection events and received frames into calls of one kind of Spi. Called only on the
// callback thread; the Spi pointer may be replaced or cleared from any thread.
class SpiAdapter
{
public:
    virtual ~SpiAdapter() = default;
    virtual void clearSpi() = 0;
    virtual void frontConnected() = 0;
    virtual void frontDisconnected(int reason) = 0;
    virtual void heartBeatWarning(int seconds) = 0;
    virtual void frame(const wire::Frame &frame) = 0;
};

// A copy of the frame's record as R, handed to fn as a pointer: null when the frame has none.
template <class R, class Fn> void withRecord(const wire::Frame &frame, Fn &&fn)
{
    R record{};
    const bool present = frame.recordAs(record);
    fn(present ? &record : nullptr);
}

} // namespace velmora::ctpapi
