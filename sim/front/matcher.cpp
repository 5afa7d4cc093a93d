#include "matcher.h"

#include <algorithm>
#include <cstddef>

namespace simfront {

namespace {

// How many lots the opposite side holds at prices the limit accepts.
int reachable(const Side &side, const Matcher::Order &o)
{
    int lots = 0;
    for (const Level &l : side) {
        const bool accepted =
            o.buy ? l.price <= o.limitPrice + 1e-9 : l.price >= o.limitPrice - 1e-9;
        if (l.volume <= 0 || !accepted) {
            break;
        }
        lots += l.volume;
    }
    return lots;
}

} // namespace

std::vector<Fill> Matcher::match(Quote &book, const Order &o)
{
    Side &side = o.buy ? book.asks : book.bids;
    const int available = std::min(reachable(side, o), o.volume);
    int wanted = 0;
    switch (o.volumeCondition) {
    case '1':
        wanted = available;
        break;
    case '2':
        wanted = available >= o.minVolume ? available : 0;
        break;
    default:
        wanted = available == o.volume ? available : 0;
        break;
    }
    std::vector<Fill> fills;
    std::size_t emptied = 0;
    for (Level &l : side) {
        if (wanted == 0) {
            break;
        }
        // The resting orders in turn, oldest first; one partly taken keeps its place.
        std::vector<int> queue = l.resting();
        std::size_t taken = 0;
        while (wanted > 0 && taken < queue.size()) {
            const int lots = std::min(wanted, queue[taken]);
            fills.push_back({l.price, lots});
            queue[taken] -= lots;
            l.volume -= lots;
            wanted -= lots;
            taken += queue[taken] == 0 ? 1 : 0;
        }
        l.orders.assign(queue.begin() + std::ptrdiff_t(taken), queue.end());
        emptied += l.volume == 0 ? 1 : 0;
    }
    // The next level becomes the best once a level is used up.
    std::rotate(side.begin(), side.begin() + emptied, side.end());
    for (std::size_t i = side.size() - emptied; i < side.size(); ++i) {
        side[i] = Level();
    }
    return fills;
}

} // namespace simfront
