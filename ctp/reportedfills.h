#pragma once

#include <mutex>
#include <set>
#include <string>
#include <tuple>

// The fills already shown and reported by this process. The front replays the day's private
// stream after every reconnection, and a replayed fill must not reach the platform twice.
class ReportedFills
{
public:
    // True the first time a fill is seen. A fill is known by its trading day (exchanges number
    // trades afresh each day), its exchange, its trade number and its side: a trade between two
    // of the investor's own orders is a fill of each.
    bool firstTime(const std::string &tradingDay, const std::string &exchangeId,
                   const std::string &tradeId, char direction);
    // How many fills came again (a replayed stream) and were kept from being shown twice.
    int repeats() const;

private:
    mutable std::mutex mutex;
    int repeated = 0;
    std::set<std::tuple<std::string, std::string, std::string, char>> seen;
};
