#include "reportedfills.h"

bool ReportedFills::firstTime(const std::string &tradingDay, const std::string &exchangeId,
                              const std::string &tradeId, char direction)
{
    std::lock_guard<std::mutex> lock(mutex);
    const bool first = seen.emplace(tradingDay, exchangeId, tradeId, direction).second;
    repeated += first ? 0 : 1;
    return first;
}

int ReportedFills::repeats() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return repeated;
}
