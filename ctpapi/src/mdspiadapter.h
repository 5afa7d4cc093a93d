#pragma once

#include "ThostFtdcMdApi.h"
#include "spiadapter.h"

namespace velmora::ctpapi {

class MdSpiAdapter final : public SpiAdapterFor<CThostFtdcMdSpi>
{
public:
    void frame(const wire::Frame &frame) override;
};

} // namespace velmora::ctpapi
