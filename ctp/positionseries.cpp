#include "positionseries.h"

#include "globalvars.h"

#include <ThostFtdcUserApiDataType.h>

#include <atomic>

namespace {

struct SideSums
{
    std::atomic<int> &position, &today, &yesterday, &openVolume, &closeVolume;
    std::atomic<double> &openAmount, &closeAmount, &positionProfit, &closeProfit, &positionCost;
};

const SideSums longSums{GlobalVars::longPosition,    GlobalVars::longTodayPosition,
                        GlobalVars::longYdPosition,  GlobalVars::longOpenVolume,
                        GlobalVars::longCloseVolume, GlobalVars::longOpenAmount,
                        GlobalVars::longCloseAmount, GlobalVars::longPositionProfit,
                        GlobalVars::longCloseProfit, GlobalVars::longPositionCost};
const SideSums shortSums{GlobalVars::shortPosition,    GlobalVars::shortTodayPosition,
                         GlobalVars::shortYdPosition,  GlobalVars::shortOpenVolume,
                         GlobalVars::shortCloseVolume, GlobalVars::shortOpenAmount,
                         GlobalVars::shortCloseAmount, GlobalVars::shortPositionProfit,
                         GlobalVars::shortCloseProfit, GlobalVars::shortPositionCost};

template <class Side> void store(const Side &side, const SideSums &sums)
{
    sums.position = side.position;
    sums.today = side.today;
    sums.yesterday = side.yesterday;
    sums.openVolume = side.openVolume;
    sums.closeVolume = side.closeVolume;
    sums.openAmount = side.openAmount;
    sums.closeAmount = side.closeAmount;
    sums.positionProfit = side.positionProfit;
    sums.closeProfit = side.closeProfit;
    sums.positionCost = side.positionCost;
}

} // namespace

void PositionSeries::Side::add(const CThostFtdcInvestorPositionField &record)
{
    position += record.Position;
    today += record.TodayPosition;
    yesterday += record.YdPosition;
    openVolume += record.OpenVolume;
    closeVolume += record.CloseVolume;
    openAmount += record.OpenAmount;
    closeAmount += record.CloseAmount;
    positionProfit += record.PositionProfit;
    closeProfit += record.CloseProfit;
    positionCost += record.PositionCost;
}

void PositionSeries::add(const CThostFtdcInvestorPositionField &record)
{
    if (record.PosiDirection == THOST_FTDC_PD_Long) {
        longSide.add(record);
    } else if (record.PosiDirection == THOST_FTDC_PD_Short) {
        shortSide.add(record);
    }
    answered = true;
    GlobalVars::positionQueryStart = false;
}

void PositionSeries::addNothing()
{
    answered = true;
}

void PositionSeries::complete()
{
    if (answered) {
        store(longSide, longSums);
        store(shortSide, shortSums);
    }
    discard();
}

void PositionSeries::discard()
{
    *this = PositionSeries();
    GlobalVars::positionQueryStart = true;
}

void PositionSeries::rollDay()
{
    for (const SideSums *sums : {&longSums, &shortSums}) {
        sums->yesterday = sums->yesterday + sums->today;
        sums->today = 0;
    }
}
