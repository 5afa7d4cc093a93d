#pragma once

#include "ThostFtdcTraderApi.h"
#include "spiadapter.h"

#include <atomic>

namespace velmora::ctpapi {

class TraderSpiAdapter final : public SpiAdapter
{
public:
    void setSpi(CThostFtdcTraderSpi *spi) { spi_ = spi; }
    void clearSpi() override { spi_ = nullptr; }
    void frontConnected() override;
    void frontDisconnected(int reason) override;
    void heartBeatWarning(int seconds) override;
    void frame(const wire::Frame &frame) override;

private:
    std::atomic<CThostFtdcTraderSpi *> spi_{nullptr};
};

} // namespace velmora::ctpapi
