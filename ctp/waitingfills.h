#pragma once

#include <ThostFtdcUserApiStruct.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

// Fills that came before the notice that numbers their order: a fill names its order only by
// the exchange's number, so until that notice nobody can tell whether it is ours. Kept until the
// notice comes; the oldest go first once many wait, since other terminals' fills wait here too.
class WaitingFills
{
public:
    void keep(const CThostFtdcTradeField &trade);
    // The fills of that order, taken out of the waiting ones.
    std::vector<CThostFtdcTradeField> takeFor(const std::string &exchangeId,
                                              const std::string &orderSysId);
    void clear();

private:
    static constexpr std::size_t kLimit = 1000;

    std::mutex mutex;
    std::deque<CThostFtdcTradeField> fills;
};
