#pragma once

#include "frontconfig.h"
#include "ledger.h"

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace simfront {

// The live quote of one instrument. Open, high and low start at the pre-settlement price, so
// every price field that the day defines has a value; the close and settlement prices do not
// exist during the day and go out as DBL_MAX.
struct Quote
{
    std::string instrumentId;
    std::string exchangeId;
    std::string tradingDay;
    double priceTick = 1;
    int volumeMultiple = 1;
    double preSettlement = 0;
    double preClose = 0;
    double preOpenInterest = 0;
    double upperLimit = 0;
    double lowerLimit = 0;
    double last = 0;
    double open = 0;
    double high = 0;
    double low = 0;
    double bid = 0;
    double ask = 0;
    int bidVolume = 0;
    int askVolume = 0;
    int volume = 0;
    double turnover = 0;
    double openInterest = 0;
    std::string updateTime;
    int updateMillisec = 0;
};

// What an operator or a replay file can set; absent members keep or derive their value.
struct QuoteUpdate
{
    std::string instrumentId;
    std::optional<double> last;
    std::optional<double> bid;
    std::optional<double> ask;
    std::optional<int> bidVolume;
    std::optional<int> askVolume;
    std::optional<int> volume; // traded in this step
};

class QuoteBook
{
public:
    QuoteBook(const std::vector<InstrumentSpec> &instruments, std::uint64_t seed);

    // Opens a trading day for one instrument: limits from the pre-settlement price, the walk
    // restarts there.
    void startDay(const InstrumentDay &day, const std::string &tradingDay);

    const Quote *find(const std::string &instrumentId) const;
    const std::map<std::string, Quote> &all() const { return quotes; }

    // One step of the seeded random walk for every instrument; prices stay on the tick grid and
    // the best quotes strictly inside the limits.
    void walk();
    // Applies a set price; false with a reason when the instrument is unknown or a price is not
    // positive. Prices are put on the tick grid.
    bool apply(const QuoteUpdate &update, std::string &error);

    static double snap(double price, double tick);
    static double upperLimitOf(double preSettlement, double ratio, double tick);
    static double lowerLimitOf(double preSettlement, double ratio, double tick);

private:
    void stamp(Quote &q);
    void trade(Quote &q, int lots);

    std::map<std::string, Quote> quotes;
    std::map<std::string, double> ratios;
    std::mt19937_64 rng;
};

} // namespace simfront
