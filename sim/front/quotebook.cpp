#include "quotebook.h"

#include "calendar.h"

#include <algorithm>
#include <cmath>

namespace simfront {

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
    q.bid = q.last;
    q.ask = snap(q.last + q.priceTick, q.priceTick);
    q.bidVolume = 50;
    q.askVolume = 50;
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

void QuoteBook::walk()
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> size(1, 300);
    std::uniform_int_distribution<int> lots(0, 40);
    for (auto &[id, q] : quotes) {
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
        q.bid = q.last;
        q.ask = snap(q.last + tick, tick);
        q.bidVolume = size(rng);
        q.askVolume = size(rng);
        const int traded = lots(rng);
        trade(q, traded);
        q.openInterest = std::max(0.0, q.openInterest + (unit(rng) < 0.5 ? traded : -traded) / 2);
        stamp(q);
    }
}

bool QuoteBook::apply(const QuoteUpdate &u, std::string &error)
{
    auto it = quotes.find(u.instrumentId);
    if (it == quotes.end()) {
        error = "unknown instrument " + u.instrumentId;
        return false;
    }
    for (const auto *p : {&u.last, &u.bid, &u.ask}) {
        if (*p && !(**p > 0 && std::isfinite(**p))) {
            error = "prices must be positive";
            return false;
        }
    }
    for (const auto *v : {&u.bidVolume, &u.askVolume, &u.volume}) {
        if (*v && **v < 0) {
            error = "volumes must not be negative";
            return false;
        }
    }
    Quote &q = it->second;
    const double tick = q.priceTick;
    if (u.last) {
        q.last = snap(*u.last, tick);
        q.high = std::max(q.high, q.last);
        q.low = std::min(q.low, q.last);
    }
    q.bid = u.bid ? snap(*u.bid, tick) : (u.last ? q.last : q.bid);
    q.ask = u.ask ? snap(*u.ask, tick) : (u.last ? snap(q.last + tick, tick) : q.ask);
    if (u.bidVolume) {
        q.bidVolume = *u.bidVolume;
    }
    if (u.askVolume) {
        q.askVolume = *u.askVolume;
    }
    trade(q, u.volume.value_or(0));
    stamp(q);
    return true;
}

} // namespace simfront
