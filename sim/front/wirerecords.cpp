#include "wirerecords.h"

#include "calendar.h"
#include "gb2312.h"

#include <cfloat>
#include <cstring>

namespace simfront {

std::string WireRecords::upToNul(const char *field, std::size_t size)
{
    return std::string(field, strnlen(field, size));
}

void WireRecords::setText(char *field, std::size_t size, const std::string &text)
{
    Gb2312::copyToField(field, size, text);
}

std::string WireRecords::paddedOrderRef(const std::string &ref)
{
    constexpr std::size_t width = sizeof(TThostFtdcOrderRefType) - 1;
    return ref.size() >= width ? ref : std::string(width - ref.size(), ' ') + ref;
}

CThostFtdcRspInfoField WireRecords::rspInfo(const RspError &error)
{
    CThostFtdcRspInfoField info{};
    info.ErrorID = error.id;
    set(info.ErrorMsg, Gb2312::fromUtf8(error.id == 0 ? std::string("正确") : error.msg));
    return info;
}

OrderRequest WireRecords::orderRequest(const CThostFtdcInputOrderField &in, int requestId)
{
    OrderRequest r;
    r.brokerId = text(in.BrokerID);
    r.investorId = text(in.InvestorID);
    r.userId = text(in.UserID);
    r.instrumentId = text(in.InstrumentID);
    if (r.instrumentId.empty()) {
        r.instrumentId = text(in.reserve1); // older clients fill the narrow field
    }
    r.orderRef = text(in.OrderRef);
    r.priceType = in.OrderPriceType;
    r.direction = in.Direction;
    r.offset = in.CombOffsetFlag[0];
    r.hedge = in.CombHedgeFlag[0];
    r.limitPrice = in.LimitPrice;
    r.volume = in.VolumeTotalOriginal;
    r.timeCondition = in.TimeCondition;
    r.volumeCondition = in.VolumeCondition;
    r.minVolume = in.MinVolume;
    r.contingentCondition = in.ContingentCondition;
    r.forceCloseReason = in.ForceCloseReason;
    r.requestId = requestId;
    return r;
}

CThostFtdcOrderField WireRecords::order(const Order &o)
{
    CThostFtdcOrderField f{};
    set(f.BrokerID, o.brokerId);
    set(f.InvestorID, o.investorId);
    set(f.reserve1, o.instrumentId);
    set(f.InstrumentID, o.instrumentId);
    set(f.ExchangeInstID, o.instrumentId);
    set(f.OrderRef, paddedOrderRef(o.orderRef));
    set(f.UserID, o.userId);
    f.OrderPriceType = o.priceType;
    f.Direction = o.direction;
    f.CombOffsetFlag[0] = o.offset;
    f.CombHedgeFlag[0] = o.hedge;
    f.LimitPrice = o.limitPrice;
    f.VolumeTotalOriginal = o.volume;
    f.TimeCondition = o.timeCondition;
    f.VolumeCondition = o.volumeCondition;
    f.MinVolume = o.minVolume;
    f.ContingentCondition = '1';
    f.ForceCloseReason = '0';
    f.RequestID = o.requestId;
    set(f.OrderLocalID, o.orderLocalId);
    set(f.ExchangeID, o.exchangeId);
    set(f.ClientID, o.investorId);
    f.OrderSubmitStatus = o.submitStatus;
    set(f.TradingDay, o.tradingDay);
    set(f.OrderSysID, o.orderSysId);
    f.OrderSource = '0';
    f.OrderStatus = o.status;
    f.OrderType = '0';
    f.VolumeTraded = o.volumeTraded;
    // What is neither traded nor cancelled is still working; an IOC order never works on.
    f.VolumeTotal = (o.status == '5' || o.status == '0') ? 0 : o.volume - o.volumeTraded;
    set(f.InsertDate, o.insertDate);
    set(f.InsertTime, o.insertTime);
    set(f.UpdateTime, o.updateTime);
    set(f.CancelTime, o.cancelTime);
    f.SequenceNo = static_cast<int>(o.seq);
    f.FrontID = o.frontId;
    f.SessionID = o.sessionId;
    set(f.StatusMsg, Gb2312::fromUtf8(o.statusMsg));
    set(f.ActiveUserID, o.userId);
    f.BrokerOrderSeq = o.brokerOrderSeq;
    set(f.CurrencyID, "CNY");
    set(f.AccountID, o.investorId);
    return f;
}

CThostFtdcTradeField WireRecords::trade(const Trade &t)
{
    CThostFtdcTradeField f{};
    set(f.BrokerID, t.brokerId);
    set(f.InvestorID, t.investorId);
    set(f.reserve1, t.instrumentId);
    set(f.InstrumentID, t.instrumentId);
    set(f.ExchangeInstID, t.instrumentId);
    set(f.OrderRef, paddedOrderRef(t.orderRef));
    set(f.UserID, t.userId);
    set(f.ExchangeID, t.exchangeId);
    set(f.TradeID, t.tradeId);
    f.Direction = t.direction;
    set(f.OrderSysID, t.orderSysId);
    set(f.ClientID, t.investorId);
    f.TradingRole = '1';
    f.OffsetFlag = t.offset;
    f.HedgeFlag = t.hedge;
    f.Price = t.price;
    f.Volume = t.volume;
    set(f.TradeDate, t.tradeDate);
    set(f.TradeTime, t.tradeTime);
    f.TradeType = '0';
    f.PriceSource = '0';
    set(f.OrderLocalID, t.orderLocalId);
    f.SequenceNo = static_cast<int>(t.seq);
    set(f.TradingDay, t.tradingDay);
    f.BrokerOrderSeq = t.brokerOrderSeq;
    f.TradeSource = '0';
    return f;
}

CThostFtdcInstrumentField WireRecords::instrument(const InstrumentSpec &s)
{
    CThostFtdcInstrumentField f{};
    set(f.reserve1, s.id);
    set(f.InstrumentID, s.id);
    set(f.ExchangeInstID, s.id);
    set(f.ExchangeID, s.exchangeId);
    set(f.InstrumentName, Gb2312::fromUtf8(s.name));
    set(f.ProductID, s.productId);
    f.ProductClass = '1';
    f.DeliveryYear = s.deliveryYear;
    f.DeliveryMonth = s.deliveryMonth;
    f.MaxMarketOrderVolume = s.maxLimitOrderVolume;
    f.MinMarketOrderVolume = 1;
    f.MaxLimitOrderVolume = s.maxLimitOrderVolume;
    f.MinLimitOrderVolume = 1;
    f.VolumeMultiple = s.volumeMultiple;
    f.PriceTick = s.priceTick;
    set(f.CreateDate, s.createDate);
    set(f.OpenDate, s.openDate);
    set(f.ExpireDate, s.expireDate);
    set(f.StartDelivDate, s.startDelivDate);
    set(f.EndDelivDate, s.endDelivDate);
    f.InstLifePhase = s.instLifePhase;
    f.IsTrading = s.isTrading ? 1 : 0;
    f.PositionType = s.positionType;
    f.PositionDateType = s.splitsTodayYesterday() ? '1' : '2';
    f.LongMarginRatio = s.marginRatio;
    f.ShortMarginRatio = s.marginRatio;
    f.MaxMarginSideAlgorithm = '0';
    f.StrikePrice = DBL_MAX;
    f.OptionsType = '\0';
    f.UnderlyingMultiple = s.underlyingMultiple;
    f.CombinationType = '0';
    set(f.UnderlyingInstrID, s.underlyingInstrId);
    return f;
}

CThostFtdcInvestorPositionField WireRecords::position(const PositionRecord &p,
                                                      const std::string &brokerId,
                                                      const std::string &investorId,
                                                      const std::string &tradingDay)
{
    CThostFtdcInvestorPositionField f{};
    set(f.reserve1, p.instrumentId);
    set(f.InstrumentID, p.instrumentId);
    set(f.BrokerID, brokerId);
    set(f.InvestorID, investorId);
    f.PosiDirection = p.direction;
    f.HedgeFlag = '1';
    f.PositionDate = p.positionDate;
    f.YdPosition = p.ydPosition;
    f.Position = p.position;
    f.OpenVolume = p.openVolume;
    f.CloseVolume = p.closeVolume;
    f.OpenAmount = p.openAmount;
    f.CloseAmount = p.closeAmount;
    f.PositionCost = p.positionCost;
    f.UseMargin = p.useMargin;
    f.Commission = p.commission;
    f.CloseProfit = p.closeProfit;
    f.PositionProfit = p.positionProfit;
    f.PreSettlementPrice = p.preSettlementPrice;
    f.SettlementPrice = p.settlementPrice;
    set(f.TradingDay, tradingDay);
    f.SettlementID = 1;
    f.OpenCost = p.openCost;
    f.ExchangeMargin = p.exchangeMargin;
    f.CloseProfitByDate = p.closeProfit;
    f.TodayPosition = p.todayPosition;
    f.MarginRateByMoney = p.marginRatio;
    set(f.ExchangeID, p.exchangeId);
    return f;
}

CThostFtdcTradingAccountField WireRecords::account(const AccountRecord &a,
                                                   const std::string &brokerId,
                                                   const std::string &tradingDay)
{
    CThostFtdcTradingAccountField f{};
    set(f.BrokerID, brokerId);
    set(f.AccountID, a.account.investorId);
    f.PreBalance = a.account.preBalance;
    f.PreMargin = a.account.preMargin;
    f.Deposit = a.account.deposit;
    f.Withdraw = a.account.withdraw;
    f.CurrMargin = a.currMargin;
    f.Commission = a.account.commission;
    f.CloseProfit = a.account.closeProfit;
    f.PositionProfit = a.positionProfit;
    f.Balance = a.balance;
    f.Available = a.available;
    f.WithdrawQuota = a.available > 0 ? a.available : 0;
    set(f.TradingDay, tradingDay);
    f.SettlementID = 1;
    f.ExchangeMargin = a.exchangeMargin;
    set(f.CurrencyID, "CNY");
    f.BizType = '1';
    return f;
}

CThostFtdcDepthMarketDataField WireRecords::depth(const Quote &q)
{
    CThostFtdcDepthMarketDataField f{};
    set(f.TradingDay, q.tradingDay);
    // The calendar day: in a night session it is the day before the trading day.
    set(f.ActionDay, Calendar::today());
    set(f.reserve1, q.instrumentId);
    set(f.InstrumentID, q.instrumentId);
    set(f.ExchangeID, q.exchangeId);
    f.LastPrice = q.last;
    f.PreSettlementPrice = q.preSettlement;
    f.PreClosePrice = q.preClose;
    f.PreOpenInterest = q.preOpenInterest;
    f.OpenPrice = q.open;
    f.HighestPrice = q.high;
    f.LowestPrice = q.low;
    f.Volume = q.volume;
    f.Turnover = q.turnover;
    f.OpenInterest = q.openInterest;
    // The day has no close or settlement yet; the vendor's front fills such fields with the
    // largest double, and so do we, together with the depth levels that are not quoted.
    f.ClosePrice = DBL_MAX;
    f.SettlementPrice = DBL_MAX;
    f.UpperLimitPrice = q.upperLimit;
    f.LowerLimitPrice = q.lowerLimit;
    f.PreDelta = 0;
    f.CurrDelta = DBL_MAX;
    set(f.UpdateTime, q.updateTime);
    f.UpdateMillisec = q.updateMillisec;
    // Levels nobody quotes, and a whole side of a market locked at its limit, go out as the
    // largest double with no volume.
    double *bidPrices[] = {&f.BidPrice1, &f.BidPrice2, &f.BidPrice3, &f.BidPrice4, &f.BidPrice5};
    double *askPrices[] = {&f.AskPrice1, &f.AskPrice2, &f.AskPrice3, &f.AskPrice4, &f.AskPrice5};
    int *bidVolumes[] = {&f.BidVolume1, &f.BidVolume2, &f.BidVolume3, &f.BidVolume4, &f.BidVolume5};
    int *askVolumes[] = {&f.AskVolume1, &f.AskVolume2, &f.AskVolume3, &f.AskVolume4, &f.AskVolume5};
    for (std::size_t i = 0; i < kDepth; ++i) {
        const Level &b = q.bids[i];
        const Level &a = q.asks[i];
        *bidPrices[i] = b.volume > 0 ? b.price : DBL_MAX;
        *bidVolumes[i] = b.volume > 0 ? b.volume : 0;
        *askPrices[i] = a.volume > 0 ? a.price : DBL_MAX;
        *askVolumes[i] = a.volume > 0 ? a.volume : 0;
    }
    f.AveragePrice = q.volume > 0 ? q.turnover / q.volume : 0; // per lot, as the vendor does
    f.BandingUpperPrice = DBL_MAX;
    f.BandingLowerPrice = DBL_MAX;
    return f;
}

} // namespace simfront
