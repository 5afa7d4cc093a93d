#include "quotebook.h"

#include "calendar.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace simfront {

std::vector<int> Level::resting() const
{
    if (volume <= 0) {
        return {};
    }
    return orders.empty() ? std::vector<int>{volume} : orders;
}

QuoteBook::QuoteBook(const std::vector<InstrumentSpec> &instruments, std::uint64_t seed) : rng(seed)
{
    for (const auto &spec : instruments) {
        Quote q;
        q.instrumentId = spec.id;
        q.exchangeId = spec.exchangeId;
        q.priceTick = spec.priceTick;
        q.volumeMultiple = spec.volumeMultiple;
        quotes[spec.id] = q;
        ratios[spec.id] = spec.limitRatio;
        startDay({spec.id, spec.preSettlementPrice, spec.preSettlementPrice, 0}, "");
    }
}

double QuoteBook::snap(double price, double tick)
{
    const double steps = std::round(price / tick);
    // Rounding the product again removes the binary noise of ticks such as 0.2.
    return std::round(steps * tick * 1e6) / 1e6;
}

double QuoteBook::upperLimitOf(double preSettlement, double ratio, double tick)
{
    const double steps = std::floor(preSettlement * (1 + ratio) / tick + 1e-9);
    return std::round(steps * tick * 1e6) / 1e6;
}

double QuoteBook::lowerLimitOf(double preSettlement, double ratio, double tick)
{
    const double steps = std::ceil(preSettlement * (1 - ratio) / tick - 1e-9);
    return std::round(steps * tick * 1e6) / 1e6;
}

namespace {

// What a level holds when nobody says otherwise: enough for small orders, not for every order.
constexpr int kDefaultVolume = 50;

bool insideLimits(const Quote &q, double price)
{
    return price >= q.lowerLimit - 1e-9 && price <= q.upperLimit + 1e-9;
}

// Quoted levels first, in the order given; a level without volume is dropped.
Side compact(const Side &side)
{
    Side out;
    std::size_t n = 0;
    for (const Level &l : side) {
        if (l.volume > 0) {
            out[n++] = l;
        }
    }
    return out;
}

} // namespace

Side QuoteBook::ladder(const Quote &q, double best, bool bidSide, const Side &volumes)
{
    Side out;
    for (std::size_t i = 0; i < kDepth; ++i) {
        const double price =
            snap(best + (bidSide ? -1.0 : 1.0) * double(i) * q.priceTick, q.priceTick);
        if (!insideLimits(q, price)) {
            break;
        }
        out[i] = volumes[i].volume > 0 ? Level{price, volumes[i].volume, volumes[i].orders}
                                       : Level{price, kDefaultVolume, {}};
    }
    return out;
}

void QuoteBook::startDay(const InstrumentDay &day, const std::string &tradingDay)
{
    auto it = quotes.find(day.instrumentId);
    if (it == quotes.end()) {
        return;
    }
    Quote &q = it->second;
    const double ratio = ratios[q.instrumentId];
    q.tradingDay = tradingDay;
    q.preSettlement = snap(day.preSettlement, q.priceTick);
    q.preClose = day.preClose > 0 ? snap(day.preClose, q.priceTick) : q.preSettlement;
    q.preOpenInterest = day.preOpenInterest;
    q.upperLimit = upperLimitOf(q.preSettlement, ratio, q.priceTick);
    q.lowerLimit = lowerLimitOf(q.preSettlement, ratio, q.priceTick);
    q.last = q.preSettlement;
    q.bids = ladder(q, q.last, true, {});
    q.asks = ladder(q, snap(q.last + q.priceTick, q.priceTick), false, {});
    q.open = q.high = q.low = q.last;
    q.volume = 0;
    q.turnover = 0;
    q.openInterest = day.preOpenInterest;
    stamp(q);
}

const Quote *QuoteBook::find(const std::string &instrumentId) const
{
    auto it = quotes.find(instrumentId);
    return it == quotes.end() ? nullptr : &it->second;
}

Quote *QuoteBook::book(const std::string &instrumentId)
{
    auto it = quotes.find(instrumentId);
    return it == quotes.end() ? nullptr : &it->second;
}

void QuoteBook::stamp(Quote &q)
{
    q.updateTime = Calendar::nowTime();
    q.updateMillisec = Calendar::nowMillisecond();
}

void QuoteBook::trade(Quote &q, int lots)
{
    if (lots <= 0) {
        return;
    }
    q.volume += lots;
    q.turnover += q.last * lots * q.volumeMultiple;
}

std::vector<int> QuoteBook::restingOrders(int volume)
{
    // Real books queue several orders at a price, so a level taken whole fills as several
    // trades; from one to three here, each of at least one lot.
    const int count = std::min(std::uniform_int_distribution<int>(1, 3)(rng), volume);
    std::vector<int> out;
    int left = volume;
    for (int i = count; i > 1; --i) {
        const int piece = std::uniform_int_distribution<int>(1, left - (i - 1))(rng);
        out.push_back(piece);
        left -= piece;
    }
    out.push_back(left);
    return out;
}

void QuoteBook::walk(const std::function<bool(const std::string &)> &moves)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // The best level is often thinner than an order of some tens of lots, so such an order
    // regularly walks into the second level or deeper.
    std::uniform_int_distribution<int> bestSize(1, 80);
    std::uniform_int_distribution<int> deepSize(5, 150);
    std::uniform_int_distribution<int> lots(0, 40);
    for (auto &[id, q] : quotes) {
        if (moves && !moves(id)) {
            continue;
        }
        const double tick = q.priceTick;
        // Keep the best quotes one tick inside the band, so an order priced one tick inside
        // the limit always meets them.
        const double floor = snap(q.lowerLimit + tick, tick);
        const double ceiling = snap(q.upperLimit - 2 * tick, tick);
        // A pull towards the pre-settlement price keeps a long walk from parking at a limit.
        const double band = std::max(q.upperLimit - q.preSettlement, tick);
        const double pull = std::clamp((q.last - q.preSettlement) / band, -1.0, 1.0) * 0.3;
        const double u = unit(rng);
        int steps = 0;
        if (u < 0.35 + pull) {
            steps = unit(rng) < 0.2 ? -2 : -1;
        } else if (u > 0.65 + pull) {
            steps = unit(rng) < 0.2 ? 2 : 1;
        }
        if (ceiling >= floor) {
            q.last = std::clamp(snap(q.last + steps * tick, tick), floor, ceiling);
        }
        q.high = std::max(q.high, q.last);
        q.low = std::min(q.low, q.last);
        Side bidSizes;
        Side askSizes;
        for (std::size_t i = 0; i < kDepth; ++i) {
            for (Level *l : {&bidSizes[i], &askSizes[i]}) {
                l->volume = i == 0 ? bestSize(rng) : deepSize(rng);
                l->orders = restingOrders(l->volume);
            }
        }
        q.bids = ladder(q, q.last, true, bidSizes);
        q.asks = ladder(q, snap(q.last + tick, tick), false, askSizes);
        const int traded = lots(rng);
        trade(q, traded);
        q.openInterest = std::max(0.0, q.openInterest + (unit(rng) < 0.5 ? traded : -traded) / 2);
        stamp(q);
    }
}

namespace {

// A side given level by level: at most kDepth levels, each with volume, strictly moving away
// from the best price, inside the limits.
bool sideFromLevels(const Quote &q, const std::vector<Level> &levels, bool bidSide, Side &out,
                    std::string &error)
{
    if (levels.size() > kDepth) {
        error = "at most five levels a side";
        return false;
    }
    out = Side();
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const double price = QuoteBook::snap(levels[i].price, q.priceTick);
        if (!(levels[i].price > 0 && std::isfinite(levels[i].price))) {
            error = "prices must be positive";
            return false;
        }
        if (!insideLimits(q, price)) {
            error = "prices must lie within the day's limits";
            return false;
        }
        const std::vector<int> &pieces = levels[i].orders;
        const bool piecesOk =
            std::all_of(pieces.begin(), pieces.end(), [](int v) { return v >= 1; }) &&
            (pieces.empty() ||
             std::accumulate(pieces.begin(), pieces.end(), 0) == levels[i].volume);
        if (levels[i].volume < 1 || !piecesOk) {
            error = "every level and every resting order needs a volume of at least 1";
            return false;
        }
        if (i > 0 && (bidSide ? price >= out[i - 1].price : price <= out[i - 1].price)) {
            error = "levels go from the best price outwards";
            return false;
        }
        out[i] = {price, levels[i].volume, levels[i].orders};
    }
    return true;
}

} // namespace

bool QuoteBook::apply(const QuoteUpdate &u, std::string &error)
{
    auto it = quotes.find(u.instrumentId);
    if (it == quotes.end()) {
        error = "unknown instrument " + u.instrumentId;
        return false;
    }
    Quote &q = it->second;
    const double tick = q.priceTick;
    for (const auto *p : {&u.last, &u.bid, &u.ask}) {
        if (*p && !(**p > 0 && std::isfinite(**p))) {
            error = "prices must be positive";
            return false;
        }
        if (*p && !insideLimits(q, snap(**p, tick))) {
            error = "prices must lie within the day's limits";
            return false;
        }
    }
    for (const auto *v : {&u.bidVolume, &u.askVolume, &u.volume}) {
        if (*v && **v < 0) {
            error = "volumes must not be negative";
            return false;
        }
    }
    const double last = u.last ? snap(*u.last, tick) : q.last;
    Side bids = q.bids;
    Side asks = q.asks;
    if (u.bids) {
        if (!sideFromLevels(q, *u.bids, true, bids, error)) {
            return false;
        }
    } else if (u.bid || u.last) {
        bids = ladder(q, u.bid ? snap(*u.bid, tick) : last, true, {});
    }
    if (!u.bids && u.bidVolume && bids[0].price > 0) {
        bids[0] = {bids[0].price, *u.bidVolume, {}};
    }
    if (u.asks) {
        if (!sideFromLevels(q, *u.asks, false, asks, error)) {
            return false;
        }
    } else if (u.ask || u.last) {
        asks = ladder(q, u.ask ? snap(*u.ask, tick) : snap(last + tick, tick), false, {});
    }
    if (!u.asks && u.askVolume && asks[0].price > 0) {
        asks[0] = {asks[0].price, *u.askVolume, {}};
    }
    bids = compact(bids);
    asks = compact(asks);
    if (bids[0].volume > 0 && asks[0].volume > 0 && bids[0].price >= asks[0].price - 1e-9) {
        error = "the best bid must lie below the best ask";
        return false;
    }
    q.bids = bids;
    q.asks = asks;
    if (u.last) {
        q.last = last;
        q.high = std::max(q.high, q.last);
        q.low = std::min(q.low, q.last);
    }
    trade(q, u.volume.value_or(0));
    stamp(q);
    return true;
}

} // namespace simfront
