#pragma once

#include "ThostFtdcMdApi.h"
#include "spiadapter.h"

#include <atomic>

namespace velmora::ctpapi {

class MdSpiAdapter final : public SpiAdapter
{
public:
    void setSpi(CThostFtdcMdSpi *spi) { spi_ = spi; }
    void clearSpi() override { spi_ = nullptr; }
    void frontConnected() override;
    void frontDisconnected(int reason) override;
    void heartBeatWarning(int seconds) override;
    void frame(const wire::Frame &frame) override;

private:
    std::atomic<CThostFtdcMdSpi *> spi_{nullptr};
};

} // namespace velmora::ctpapi
