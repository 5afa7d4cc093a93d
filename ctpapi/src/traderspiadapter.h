#pragma once

#include "ThostFtdcTraderApi.h"
#include "spiadapter.h"

namespace velmora::ctpapi {

class TraderSpiAdapter final : public SpiAdapterFor<CThostFtdcTraderSpi>
{
public:
    void frame(const wire::Frame &frame) override;
};

} // namespace velmora::ctpapi
