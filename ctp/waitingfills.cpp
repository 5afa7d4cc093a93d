#include "waitingfills.h"

#include "fieldtext.h"

#include <algorithm>

void WaitingFills::keep(const CThostFtdcTradeField &trade)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (fills.size() >= kLimit) {
        fills.pop_front();
    }
    fills.push_back(trade);
}

std::vector<CThostFtdcTradeField> WaitingFills::takeFor(const std::string &exchangeId,
                                                        const std::string &orderSysId)
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<CThostFtdcTradeField> taken;
    const auto belongs = [&](const CThostFtdcTradeField &trade) {
        return fieldBytes(trade.ExchangeID) == exchangeId &&
               fieldBytes(trade.OrderSysID) == orderSysId;
    };
    std::copy_if(fills.begin(), fills.end(), std::back_inserter(taken), belongs);
    fills.erase(std::remove_if(fills.begin(), fills.end(), belongs), fills.end());
    return taken;
}

void WaitingFills::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    fills.clear();
}
