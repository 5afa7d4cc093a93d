#pragma once

#include <ThostFtdcUserApiStruct.h>

// One answer series of the position query, collected apart and put into the session record
// only when its last record has come: a series cut short by a dropped connection would show,
// and size a close for, only part of the position. Only the trading callback thread uses it.
class PositionSeries
{
public:
    // A record of the traded instrument (the caller filters); other directions are ignored.
    void add(const CThostFtdcInvestorPositionField &record);
    // The account holds no position at all.
    void addNothing();
    // The last record came: the sums replace the record's ones, unless the series held nothing
    // for the traded instrument, which leaves them as they were.
    void complete();
    // The connection dropped before the last record: what came of the series is dropped.
    void discard();
    // A new trading day: the cached today's lots are yesterday's now. A close sent before the
    // next query answers would otherwise close today's lots the broker no longer has.
    static void rollDay();

private:
    struct Side
    {
        int position = 0, today = 0, yesterday = 0, openVolume = 0, closeVolume = 0;
        double openAmount = 0, closeAmount = 0, positionProfit = 0, closeProfit = 0,
               positionCost = 0;

        void add(const CThostFtdcInvestorPositionField &record);
    };

    Side longSide;
    Side shortSide;
    bool answered = false;
};
