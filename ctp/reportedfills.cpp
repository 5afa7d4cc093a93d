#include "reportedfills.h"

bool ReportedFills::firstTime(const std::string &exchangeId, const std::string &tradeDate,
                              const std::string &tradeId)
{
    std::lock_guard<std::mutex> lock(mutex);
    return seen.emplace(exchangeId, tradeDate, tradeId).second;
}
