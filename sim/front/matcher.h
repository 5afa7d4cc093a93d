#pragma once

#include "quotebook.h"

#include <vector>

namespace simfront {

// One resting order taken (wholly or in part): a trade of its own at its level's price.
struct Fill
{
    double price = 0;
    int volume = 0;
};

// An immediate-or-cancel limit order against the depth of one instrument: it takes the
// opposite levels in price order up to its limit, and within a level the orders resting there
// in turn; what it takes is gone from the book until the next quote step. The volume condition
// decides whether it may take anything at all.
class Matcher
{
public:
    struct Order
    {
        bool buy = true;
        double limitPrice = 0;
        int volume = 0;
        char volumeCondition = '3'; // '1' any volume, '2' at least minVolume, '3' all of it
        int minVolume = 1;
    };

    static std::vector<Fill> match(Quote &book, const Order &order);
};

} // namespace simfront
