#pragma once

#include "frontconfig.h"
#include "ledger.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace simfront {

// One price level of the book. A level without volume is not quoted: it goes out as DBL_MAX.
// Its volume rests as one or more orders, oldest first, and an order that takes the level meets
// them in turn, one trade each; `orders` empty means one resting order of the whole volume.
struct Level
{
    double price = 0;
    int volume = 0;
    std::vector<int> orders{};

    // The resting orders' volumes, oldest first.
    std::vector<int> resting() const;
};

constexpr std::size_t kDepth = 5;
using Side = std::array<Level, kDepth>; // best first; quoted levels before the empty ones

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
    Side bids;
    Side asks;
    int volume = 0;
    double turnover = 0;
    double openInterest = 0;
    std::string updateTime;
    int updateMillisec = 0;

    // The best price of a side, 0 when the side is empty (a market locked at its limit).
    double bid() const { return bids[0].volume > 0 ? bids[0].price : 0; }
    double ask() const { return asks[0].volume > 0 ? asks[0].price : 0; }
};

// What an operator or a replay file can set; absent members keep or derive their value.
// `bids`/`asks` give a side level by level (best first, an empty list empties the side); the
// single best prices `bid`/`ask` build a side one tick per level behind the best.
struct QuoteUpdate
{
    std::string instrumentId;
    std::optional<double> last;
    std::optional<double> bid;
    std::optional<double> ask;
    std::optional<int> bidVolume;
    std::optional<int> askVolume;
    std::optional<std::vector<Level>> bids;
    std::optional<std::vector<Level>> asks;
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
    // For the matcher, which takes volume off the book until the next step brings new depth.
    Quote *book(const std::string &instrumentId);
    const std::map<std::string, Quote> &all() const { return quotes; }

    // One step of the seeded random walk for the instruments `moves` accepts (all without it):
    // prices stay on the tick grid, the best quotes strictly inside the limits, and five levels
    // a side are quoted afresh.
    void walk(const std::function<bool(const std::string &instrumentId)> &moves = {});
    // Applies a set quote; false with a reason when the instrument is unknown, a price is not
    // positive or lies beyond the day's limits, a volume is negative, levels are out of order or
    // the sides cross. Prices are put on the tick grid.
    bool apply(const QuoteUpdate &update, std::string &error);

    static double snap(double price, double tick);
    static double upperLimitOf(double preSettlement, double ratio, double tick);
    static double lowerLimitOf(double preSettlement, double ratio, double tick);

private:
    void stamp(Quote &q);
    void trade(Quote &q, int lots);
    // A level's volume cut into the orders resting there, drawn from the walk's generator.
    std::vector<int> restingOrders(int volume);
    // A side of kDepth levels one tick apart going away from `best`, inside the limits.
    static Side ladder(const Quote &q, double best, bool bidSide, const Side &volumes);

    std::map<std::string, Quote> quotes;
    std::map<std::string, double> ratios;
    std::mt19937_64 rng;
};

} // namespace simfront
