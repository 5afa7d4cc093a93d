#pragma once

#include "framecodec.h"

#include <atomic>

namespace velmora::ctpapi {

// Turns connection events and received frames into calls of one kind of Spi. Called only on the
// API's I/O thread; the Spi pointer may be replaced or cleared from any thread.
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

// The connection events, which every kind of Spi receives alike; the kind's own adapter turns
// frames into its callbacks.
template <class Spi> class SpiAdapterFor : public SpiAdapter
{
public:
    void setSpi(Spi *spi) { spi_ = spi; }
    void clearSpi() override { spi_ = nullptr; }

    void frontConnected() override
    {
        if (Spi *spi = spi_.load()) {
            spi->OnFrontConnected();
        }
    }

    void frontDisconnected(int reason) override
    {
        if (Spi *spi = spi_.load()) {
            spi->OnFrontDisconnected(reason);
        }
    }

    void heartBeatWarning(int seconds) override
    {
        if (Spi *spi = spi_.load()) {
            spi->OnHeartBeatWarning(seconds);
        }
    }

protected:
    std::atomic<Spi *> spi_{nullptr};
};

// A copy of the frame's record as R, handed to fn as a pointer: null when the frame has none.
template <class R, class Fn> void withRecord(const wire::Frame &frame, Fn &&fn)
{
    R record{};
    const bool present = frame.recordAs(record);
    fn(present ? &record : nullptr);
}

} // namespace velmora::ctpapi
