#include "reportedfills.h"

bool ReportedFills::firstTime(const std::string &exchangeId, const std::string &tradeDate,
                              const std::string &tradeId)
{
    std::lock_guard<std::mutex> lock(mutex);
    const bool first = seen.emplace(exchangeId, tradeDate, tradeId).second;
    repeated += first ? 0 : 1;
    return first;
}

int ReportedFills::repeats() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return repeated;
}
