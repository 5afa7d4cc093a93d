#pragma once

#include <QString>

#include <mutex>
#include <set>
#include <string>
#include <tuple>

// The fills already shown and reported. The front replays the day's private stream after every
// reconnection and after a restart, and a replayed fill must not reach the platform twice: this
// process keeps them in memory, earlier processes in the session store.
class ReportedFills
{
public:
    // True the first time a fill is seen. A fill is known by its trading day (exchanges number
    // trades afresh each day), its exchange, its trade number and its side: a trade between two
    // of the investor's own orders is a fill of each.
    bool firstTime(const std::string &tradingDay, const std::string &exchangeId,
                   const std::string &tradeId, char direction);
    // Into the session store once the fill's report is queued: a kill in between reports the
    // fill again under the same idempotency key, which the platform stores once.
    static void reported(const std::string &tradingDay, const std::string &exchangeId,
                         const std::string &tradeId, char direction);
    // The name a fill's report is known by across processes.
    static QString name(const std::string &tradingDay, const std::string &exchangeId,
                        const std::string &tradeId, char direction);
    // How many fills came again (a replayed stream) and were kept from being shown twice.
    int repeats() const;

private:
    mutable std::mutex mutex;
    int repeated = 0;
    std::set<std::tuple<std::string, std::string, std::string, char>> seen;
};
