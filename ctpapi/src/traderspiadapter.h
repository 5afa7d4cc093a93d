#pragma once

#include "ThostFtdcTraderApi.h"
#include "flowstate.h"
#include "spiadapter.h"

#include <memory>

namespace velmora::ctpapi {

// Also tells the flow what the client has been handed: the day of each login and the number of
// each private notice once its callback has returned.
class TraderSpiAdapter final : public SpiAdapterFor<CThostFtdcTraderSpi>
{
public:
    explicit TraderSpiAdapter(std::shared_ptr<FlowState> flow) : flow_(std::move(flow)) {}
    void frame(const wire::Frame &frame) override;

private:
    void deliver(CThostFtdcTraderSpi *spi, const wire::Frame &frame);

    const std::shared_ptr<FlowState> flow_;
};

} // namespace velmora::ctpapi
