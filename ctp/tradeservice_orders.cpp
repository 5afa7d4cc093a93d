// The order commands of TradeService and the order and trade events of the trading front.

#include "tradeservice.h"

#include "fieldtext.h"
#include "globalvars.h"
#include "ordertexts.h"
#include "requesttexts.h"
#include "signalapi.h"
#include "tradespi.h"
#include "utils.h"

#include <ThostFtdcUserApiDataType.h>

#include <QDebug>
#include <QMutexLocker>

#include <cmath>
#include <limits>

namespace {

// Refused for the moment (too many requests unanswered, or too many this second): asked again
// after another pause, a few times.
bool refusedForNow(int code)
{
    return code == -2 || code == -3;
}
const int kRefreshAttempts = 5;

// The exchanges whose closes must say whether they close today's or earlier lots: a plain close
// there closes earlier lots only, and is refused for a position opened today.
bool keepsTodayApart(const QString &exchangeId)
{
    const QString exchange = exchangeId.toUpper();
    return exchange == QLatin1String("SHFE") || exchange == QLatin1String("INE");
}

// The only blanks an OrderRef carries are the vendor's right alignment.
template <std::size_t N> QString orderRefText(const char (&field)[N])
{
    return QString::fromStdString(fieldBytes(field)).trimmed();
}

QString orderKey(const QString &orderRef)
{
    return OwnOrders::key(GlobalVars::frontID, GlobalVars::sessionID, orderRef);
}

bool carriesError(const CThostFtdcRspInfoField *pRspInfo)
{
    return pRspInfo && pRspInfo->ErrorID != 0;
}

// Lots for an opening order at the best price: the funds (capped for a real account), times the
// leverage and the user's fraction, over the value of one lot; not yet a whole number.
double openingLots(double bestPrice)
{
    double capital = GlobalVars::currMargin + GlobalVars::available;
    if (GlobalVars::accountType.get() == QLatin1String("real") &&
        capital > GlobalVars::maxCapital) {
        capital = GlobalVars::maxCapital;
    }
    const int multiple = GlobalVars::volumeMultiple;
    if (multiple == 0) {
        return 0;
    }
    return GlobalVars::leverage * capital * GlobalVars::profit / (multiple * bestPrice);
}

// Why an opening order of that many lots would be refused anyway, or empty: larger than the
// exchange takes in one order (or than a count can hold), or needing more margin at the order's
// price than the account has free, even at the exchange's ratio, below the broker's.
QString oversizeReason(double lots, double price, double marginRatio)
{
    const int limit = GlobalVars::maxLimitOrderVolume > 0 ? GlobalVars::maxLimitOrderVolume.load()
                                                          : std::numeric_limits<int>::max();
    if (!(lots < limit + 1.0)) {
        return QStringLiteral("按资金计算的手数%1超过单笔报单上限%2手")
            .arg(lots, 0, 'f', 0)
            .arg(limit);
    }
    const double margin = std::floor(lots) * price * GlobalVars::volumeMultiple * marginRatio;
    const double available = GlobalVars::available;
    if (margin > available) {
        return QStringLiteral("%1手所需保证金%2超过可用资金%3")
            .arg(std::floor(lots), 0, 'f', 0)
            .arg(Utils::formatDouble(margin), Utils::formatDouble(available));
    }
    return QString();
}

} // namespace

struct TradeService::OrderSide
{
    std::atomic<int> &position;
    std::atomic<int> &todayPosition;
    std::atomic<double> &bestPrice;
    // Orders go one tick inside this limit, so that they meet whatever the book holds.
    std::atomic<double> &limitPrice;
    std::atomic<double> &marginRatio;
    double tickSign;
    char direction;
    const char *failureText;

    double price() const { return limitPrice + tickSign * GlobalVars::priceTick; }
};

int TradeService::openLong(QString signalId)
{
    static const OrderSide side{GlobalVars::longPosition,
                                GlobalVars::longTodayPosition,
                                GlobalVars::askPrice1,
                                GlobalVars::upperLimitPrice,
                                GlobalVars::longMarginRatio,
                                -1.0,
                                THOST_FTDC_D_Buy,
                                "[多头开仓] 请求失败：[%1] %2"};
    return openPosition(side, signalId);
}

int TradeService::openShort(QString signalId)
{
    static const OrderSide side{
        GlobalVars::shortPosition,   GlobalVars::shortTodayPosition, GlobalVars::bidPrice1,
        GlobalVars::lowerLimitPrice, GlobalVars::shortMarginRatio,   1.0,
        THOST_FTDC_D_Sell,           "[空头开仓] 请求失败：[%1] %2"};
    return openPosition(side, signalId);
}

int TradeService::closeLong(QString signalId)
{
    static const OrderSide side{
        GlobalVars::longPosition,    GlobalVars::longTodayPosition, GlobalVars::bidPrice1,
        GlobalVars::lowerLimitPrice, GlobalVars::shortMarginRatio,  1.0,
        THOST_FTDC_D_Sell,           "[多头平仓] 请求失败：[%1] %2"};
    return closePosition(side, signalId);
}

int TradeService::closeShort(QString signalId)
{
    static const OrderSide side{GlobalVars::shortPosition,
                                GlobalVars::shortTodayPosition,
                                GlobalVars::askPrice1,
                                GlobalVars::upperLimitPrice,
                                GlobalVars::longMarginRatio,
                                -1.0,
                                THOST_FTDC_D_Buy,
                                "[空头平仓] 请求失败：[%1] %2"};
    return closePosition(side, signalId);
}

int TradeService::openPosition(const OrderSide &side, const QString &signalId)
{
    int result = -4;
    if (side.position < 1) {
        result = -6;
        const double best = side.bestPrice;
        if (best > 0 && side.limitPrice > 0) {
            const double lots = openingLots(best);
            if (lots >= 1) {
                const QString oversize = oversizeReason(lots, side.price(), side.marginRatio);
                if (!oversize.isEmpty()) {
                    showMessage(QStringLiteral("[报单] %1，本次不报单").arg(oversize));
                    result = -7;
                } else {
                    result = insertOrder(side.direction, THOST_FTDC_OF_Open, static_cast<int>(lots),
                                         side.price(), signalId);
                    if (result == 0) {
                        return 0;
                    }
                }
            }
        }
    }
    if (signalId == QLatin1String("0")) {
        showMessage(QString::fromUtf8(side.failureText).arg(result).arg(requestResultText(result)));
    }
    return result;
}

int TradeService::closePosition(const OrderSide &side, const QString &signalId)
{
    // Read once: the refresh after the first part's fill may rewrite them during the pause.
    const int position = side.position;
    const int today = side.todayPosition;
    int result = -5;
    if (position > 0) {
        const double price = side.price();
        if (keepsTodayApart(GlobalVars::exchangeID)) {
            result = -6;
            if (today > 0) {
                result =
                    insertOrder(side.direction, THOST_FTDC_OF_CloseToday, today, price, signalId);
            }
            const int rest = position - today;
            if (rest >= 1) {
                // A release ended the pause: the rest is not sent.
                result = pauseChain() ? insertOrder(side.direction, THOST_FTDC_OF_CloseYesterday,
                                                    rest, price, signalId)
                                      : -1;
            }
        } else {
            result = insertOrder(side.direction, THOST_FTDC_OF_Close, position, price, signalId);
        }
        if (result == 0) {
            return 0;
        }
    }
    if (signalId == QLatin1String("0")) {
        showMessage(QString::fromUtf8(side.failureText).arg(result).arg(requestResultText(result)));
    }
    return result;
}

int TradeService::insertOrder(char direction, char offsetFlag, int volume, double price,
                              QString signalId)
{
    QMutexLocker locker(&mutex);
    if (GlobalVars::tradeConnectionState != 0 || GlobalVars::tradeLoginState != 0) {
        return -1;
    }
    switch (session.orderRefusal()) {
    case SessionGate::Refusal::None:
        break;
    case SessionGate::Refusal::NotLoggedIn:
        // Connected again, and the re-login not answered yet: the front would refuse it.
        return -1;
    case SessionGate::Refusal::DayNotConfirmed:
        showMessage(QStringLiteral("[报单] 交易日%1的结算单尚未确认，本次不报单")
                        .arg(QString::fromStdString(session.tradingDay())));
        return -1;
    }
    const QString orderRef = QString::number(++GlobalVars::maxOrderRef);
    GlobalVars::pendingRequest = kFillRefresh;

    CThostFtdcInputOrderField order{};
    setFieldText(order.BrokerID, GlobalVars::brokerID);
    setFieldText(order.InvestorID, GlobalVars::investerID);
    setFieldText(order.InstrumentID, GlobalVars::instrument);
    setFieldText(order.OrderRef, orderRef);
    order.OrderPriceType = THOST_FTDC_OPT_LimitPrice;
    order.Direction = direction;
    order.CombOffsetFlag[0] = offsetFlag;
    order.CombHedgeFlag[0] = THOST_FTDC_HF_Speculation;
    order.LimitPrice = price;
    order.VolumeTotalOriginal = volume;
    order.TimeCondition = THOST_FTDC_TC_IOC;
    order.VolumeCondition = THOST_FTDC_VC_CV;
    order.MinVolume = 1;
    order.ContingentCondition = THOST_FTDC_CC_Immediately;
    order.ForceCloseReason = THOST_FTDC_FCC_NotForceClose;
    order.IsAutoSuspend = 0;
    order.UserForceClose = 0;

    // The front's answers may come before the request call returns, and must find the order
    // known as ours; after a kill the store knows it, and that its signal was acted on.
    ownOrders.sent(GlobalVars::frontID, GlobalVars::sessionID, orderRef, signalId,
                   QString::fromStdString(session.tradingDay()), GlobalVars::accountType);
    const int code = TradeSpi::reqOrderInsert(order, kFillRefresh);
    // For a person to read, so written after the order has left: the front's answers may have
    // come already, and keep their state.
    const QString summary =
        QStringLiteral("%1 %2 %3手 限价%4 %5")
            .arg(GlobalVars::instrument.get(), reportedOrderText(direction, offsetFlag))
            .arg(volume)
            .arg(price)
            .arg(signalId == QLatin1String("0") ? QStringLiteral("手动")
                                                : QStringLiteral("信号") + signalId);
    SessionStore::introduce(
        SessionStore::ActivityKind::Order, orderKey(orderRef), summary,
        code == 0 ? QStringLiteral("已发出")
                  : QStringLiteral("未发出：[%1] %2").arg(code).arg(requestResultText(code)));
    if (code != 0) {
        GlobalVars::pendingRequest = 0;
        return code;
    }
    // The report worker takes it in order and sends it later, so the lock is not held across
    // a platform stall and no nested event loop runs under it.
    if (SignalApi *platform = GlobalVars::signalApi) {
        platform->reportOrder(orderKey(orderRef), signalId,
                              reportedOrderText(direction, offsetFlag), volume, price);
    }
    return code;
}

bool TradeService::isCurrentOrder(const CThostFtdcOrderField &order)
{
    bool number = false;
    const int orderRef = orderRefText(order.OrderRef).toInt(&number, 10);
    return order.FrontID == GlobalVars::frontID && order.SessionID == GlobalVars::sessionID &&
           number && orderRef == GlobalVars::maxOrderRef;
}

void TradeService::onRspOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                                    CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(pInputOrder);
    Q_UNUSED(nRequestID);
    if (!carriesError(pRspInfo)) {
        return;
    }
    GlobalVars::pendingRequest = 0;
    if (pInputOrder) {
        noteRefusal(*pInputOrder, *pRspInfo);
    }
    if (bIsLast) {
        showMessage(QStringLiteral("[报单录入错误] 返回码：%1，返回信息：%2")
                        .arg(pRspInfo->ErrorID)
                        .arg(Utils::fromGb2312(fieldBytes(pRspInfo->ErrorMsg))));
    }
}

void TradeService::onErrRtnOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                                       CThostFtdcRspInfoField *pRspInfo)
{
    if (carriesError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
        if (pInputOrder) {
            noteRefusal(*pInputOrder, *pRspInfo);
        }
    }
    if (pInputOrder) {
        showMessage(QStringLiteral("[报单失败] %1 %2，该错误通常由交易所返回。")
                        .arg(tradeSideText(pInputOrder->Direction),
                             offsetFlagText(pInputOrder->CombOffsetFlag[0])));
    }
}

void TradeService::onRtnOrder(CThostFtdcOrderField *pOrder)
{
    if (!pOrder) {
        return;
    }
    const std::string tradingDay = fieldBytes(pOrder->TradingDay);
    const std::string exchangeId = fieldBytes(pOrder->ExchangeID);
    const std::string orderSysId = fieldBytes(pOrder->OrderSysID);
    SessionStore::OwnOrder earlier;
    if (ownOrders.noticed(pOrder->FrontID, pOrder->SessionID, orderRefText(pOrder->OrderRef),
                          tradingDay, exchangeId, orderSysId, &earlier)) {
        reportOrderOfEarlierProcess(*pOrder, earlier);
    }
    if (!orderSysId.empty()) {
        const QString key = ownOrders.keyOf(tradingDay, exchangeId, orderSysId);
        for (const CThostFtdcTradeField &trade : waitingFills.takeFor(exchangeId, orderSysId)) {
            if (!key.isEmpty()) {
                takeFill(trade, key);
            }
        }
    }
    const QString ref = orderRefText(pOrder->OrderRef);
    if (ownOrders.isOwn(pOrder->FrontID, pOrder->SessionID, ref)) {
        SessionStore::note(SessionStore::ActivityKind::Order,
                           OwnOrders::key(pOrder->FrontID, pOrder->SessionID, ref), QString(),
                           orderStateText(*pOrder));
    }
    if (!isCurrentOrder(*pOrder) || pOrder->OrderStatus != THOST_FTDC_OST_Canceled) {
        return;
    }
    showMessage(cancelledOrderLine(*pOrder));
    GlobalVars::pendingRequest = 0;
}

void TradeService::reportOrderOfEarlierProcess(const CThostFtdcOrderField &order,
                                               const SessionStore::OwnOrder &earlier)
{
    // The process that sent it was killed before its report was queued: told now, from the
    // front's own record of the order.
    const std::shared_ptr<SessionStore> store = SessionStore::current();
    SignalApi *platform = GlobalVars::signalApi;
    if (!store || !platform || store->orderReported(earlier.orderKey)) {
        return;
    }
    QMutexLocker locker(&mutex);
    platform->reportOrder(earlier.orderKey, earlier.signalId,
                          reportedOrderText(order.Direction, order.CombOffsetFlag[0]),
                          order.VolumeTotalOriginal, order.LimitPrice);
}

void TradeService::onRtnTrade(CThostFtdcTradeField *pTrade)
{
    if (!pTrade) {
        return;
    }
    // Known by its order, not by the session now open: a connection lost between an order and
    // its fill brings the fill under a new session, and other terminals' fills are not ours.
    const QString key =
        ownOrders.keyOf(fieldBytes(pTrade->TradingDay), fieldBytes(pTrade->ExchangeID),
                        fieldBytes(pTrade->OrderSysID));
    if (key.isEmpty()) {
        waitingFills.keep(*pTrade);
        return;
    }
    takeFill(*pTrade, key);
}

void TradeService::takeFill(const CThostFtdcTradeField &trade, const QString &orderKey)
{
    // Marked seen only once it is known as ours, so that a fill waiting for its order's notice
    // does not pass for a repeat when the replayed stream brings it again.
    const std::string day = fieldBytes(trade.TradingDay);
    const std::string exchange = fieldBytes(trade.ExchangeID);
    const std::string tradeId = fieldBytes(trade.TradeID);
    if (!reportedFills.firstTime(day, exchange, tradeId, trade.Direction)) {
        return;
    }
    const double price = Utils::validDouble(trade.Price);
    showMessage(QStringLiteral("[成交通知] [%1] [%2] 价格：%3，数量：%4，成交时间：%5 %6")
                    .arg(tradeSideText(trade.Direction), offsetFlagText(trade.OffsetFlag),
                         Utils::formatDouble(price))
                    .arg(trade.Volume)
                    .arg(QString::fromStdString(fieldBytes(trade.TradeDate)),
                         QString::fromStdString(fieldBytes(trade.TradeTime))));
    if (SignalApi *platform = GlobalVars::signalApi) {
        // The order's own report is queued under this lock right after the order left; a
        // quick fill waits here for it, so the platform never sees a fill before its order.
        QMutexLocker locker(&mutex);
        platform->reportFill(orderKey, trade.Volume, price,
                             ReportedFills::name(day, exchange, tradeId, trade.Direction));
    }
    ReportedFills::reported(day, exchange, tradeId, trade.Direction);
    SessionStore::note(SessionStore::ActivityKind::Fill,
                       QStringLiteral("%1 %2 %3")
                           .arg(QString::fromStdString(exchange),
                                QString::fromStdString(tradeId).trimmed(),
                                tradeSideText(trade.Direction)),
                       QStringLiteral("报单%1 价格%2 数量%3")
                           .arg(orderKey, Utils::formatDouble(price))
                           .arg(trade.Volume),
                       QStringLiteral("成交"));
    startFillRefresh();
}

void TradeService::noteRefusal(const CThostFtdcInputOrderField &order,
                               const CThostFtdcRspInfoField &info)
{
    // A refusal names the order by its reference, within the session now open.
    SessionStore::note(SessionStore::ActivityKind::Order, orderKey(orderRefText(order.OrderRef)),
                       QString(),
                       QStringLiteral("被拒绝：[%1] %2")
                           .arg(info.ErrorID)
                           .arg(Utils::fromGb2312(fieldBytes(info.ErrorMsg))));
}

void TradeService::startFillRefresh()
{
    if (fillRefreshRunning.exchange(true)) {
        fillRefreshAgain = true;
    } else {
        chainFillRefresh(TradeSpi::reqQryInvestorPosition, kPositionFailure);
    }
}

void TradeService::chainFillRefresh(int (*send)(int), const char *failureText, int attempt)
{
    const int generation = fillRefreshGeneration;
    chain.after(chainDelayMs, [this, send, failureText, attempt, generation] {
        if (generation != fillRefreshGeneration) {
            return;
        }
        int code = 0;
        {
            QMutexLocker locker(&mutex);
            code = send(kFillRefresh);
        }
        if (code == 0) {
            return;
        }
        if (refusedForNow(code) && attempt < kRefreshAttempts) {
            chainFillRefresh(send, failureText, attempt + 1);
            return;
        }
        showMessage(QString::fromUtf8(failureText).arg(code).arg(requestResultText(code)));
        endFillRefresh(kFillRefresh);
    });
}

void TradeService::endFillRefresh(int requestNo)
{
    if (requestNo != kFillRefresh) {
        return;
    }
    fillRefreshRunning = false;
    fillRefreshAgain = false;
    // Ends the order in flight too, but not a sequence that started meanwhile.
    int orderInFlight = kFillRefresh;
    GlobalVars::pendingRequest.compare_exchange_strong(orderInFlight, 0);
}

void TradeService::onRspOrderAction(CThostFtdcInputOrderActionField *pInputOrderAction,
                                    CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(pInputOrderAction);
    Q_UNUSED(nRequestID);
    Q_UNUSED(bIsLast);
    if (carriesError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
    }
}

void TradeService::onErrRtnOrderAction(CThostFtdcOrderActionField *pOrderAction,
                                       CThostFtdcRspInfoField *pRspInfo)
{
    Q_UNUSED(pOrderAction);
    if (carriesError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
    }
}
