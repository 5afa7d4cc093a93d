#include "engine.h"

#include "calendar.h"
#include "gb2312.h"
#include "matcher.h"
#include "settlementstatement.h"
#include "store.h"
#include "wirerecords.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace simfront {

namespace errors {

RspError make(int id)
{
    switch (id) {
    case InvalidLogin:
        return {id, "CTP:不合法的登录"};
    case DuplicateLogin:
        return {id, "CTP:重复的登录"};
    case NotLoggedIn:
        return {id, "CTP:还没有登录"};
    case NoPrivilege:
        return {id, "CTP:无此权限"};
    case UserNotFound:
        return {id, "CTP:找不到该用户"};
    case BadField:
        return {id, "CTP:报单字段有误"};
    case InstrumentNotFound:
        return {id, "CTP:找不到合约"};
    case InstrumentNotTrading:
        return {id, "CTP:合约不能交易"};
    case DuplicateOrderRef:
        return {id, "CTP:报单错误：不允许重复报单"};
    case OverClosePosition:
        return {id, "CTP:平仓量超过持仓量"};
    case InsufficientMoney:
        return {id, "CTP:资金不足"};
    case SettlementNotConfirmed:
        return {id, "CTP:结算结果未确认"};
    case OverCloseTodayPosition:
        return {id, "CTP:平今仓位不足"};
    case OverCloseYesterdayPosition:
        return {id, "CTP:平昨仓位不足"};
    case AuthFailed:
        return {id, "CTP:客户端认证失败"};
    case NotAuthenticated:
        return {id, "CTP:客户端未认证"};
    case LoginForbidden:
        return {id, "CTP:连续登录失败次数超限，登录被禁止"};
    default:
        return {id, "CTP:错误"};
    }
}

} // namespace errors

namespace {

std::string padded(long long n, int width)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%*lld", width, n);
    return buf;
}

// A right-aligned number (OrderRef, OrderSysID, TradeID) as a number; the blanks are no part
// of it.
bool parseNumber(const std::string &ref, long long &out)
{
    const std::size_t start = std::min(ref.find_first_not_of(' '), ref.size());
    if (start == ref.size() || ref.size() > 12) {
        return false;
    }
    long long v = 0;
    for (char c : ref.substr(start)) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

double money(double v)
{
    // Sums of products of prices drift in the last binary digits; cents are what counts.
    return std::round(v * 100) / 100;
}

bool onTick(double price, double tick)
{
    const double steps = price / tick;
    return std::fabs(steps - std::round(steps)) < 1e-6;
}

// Whether each of an order's trades goes out after the order report that counts it. Real fronts
// send the two in either order; deciding by the order's number keeps a run repeatable and a
// replay identical.
bool reportBeforeTrade(long long orderSeq)
{
    auto x = static_cast<std::uint64_t>(orderSeq) + 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return ((x ^ (x >> 31)) & 1) != 0;
}

// The private stream of one order, from its final state and its trades: the broker's
// "submitted" report; for an exchange refusal the cancelled report and nothing else; otherwise
// the exchange's acceptance, one report per trade with the volume traded so far, and for an
// immediate-or-cancel remainder the cancel. Live reports and replays both come from here, so a
// replay repeats exactly what went out.
std::vector<FlowItem> orderStream(const Order &final, const std::vector<const Trade *> &trades)
{
    std::vector<FlowItem> out;
    Order report = final;
    report.status = 'a';
    report.submitStatus = '0';
    report.statusMsg = "报单已提交";
    report.orderSysId.clear();
    report.volumeTraded = 0;
    report.cancelTime.clear();
    report.updateTime = final.insertTime;
    out.push_back({0, report, std::nullopt});
    if (final.orderSysId.empty()) {
        out.push_back({0, final, std::nullopt});
        return out;
    }
    report.status = '3';
    report.submitStatus = '3';
    report.statusMsg = "未成交";
    report.orderSysId = final.orderSysId;
    out.push_back({0, report, std::nullopt});
    const bool first = reportBeforeTrade(final.seq);
    for (const Trade *t : trades) {
        report.volumeTraded += t->volume;
        const bool done = report.volumeTraded >= final.volume;
        report.status = done ? '0' : '1';
        report.statusMsg = done ? "全部成交" : "部分成交";
        report.updateTime = t->tradeTime;
        if (!first) {
            out.push_back({0, std::nullopt, *t});
        }
        out.push_back({0, report, std::nullopt});
        if (first) {
            out.push_back({0, std::nullopt, *t});
        }
    }
    if (final.status == '5') {
        out.push_back({0, final, std::nullopt});
    }
    return out;
}

// A number counted per exchange and trading day, right-aligned in twelve columns as the
// exchanges write OrderSysID and TradeID.
std::string exchangeNumber(long long n)
{
    return padded(n, 12);
}

long long numberOf(const std::string &id)
{
    long long v = 0;
    return parseNumber(id, v) ? v : 0;
}

} // namespace

std::vector<Order> InsertResult::reports() const
{
    std::vector<Order> out;
    for (const FlowItem &item : stream) {
        if (item.order) {
            out.push_back(*item.order);
        }
    }
    return out;
}

std::vector<Trade> InsertResult::trades() const
{
    std::vector<Trade> out;
    for (const FlowItem &item : stream) {
        if (item.trade) {
            out.push_back(*item.trade);
        }
    }
    return out;
}

Engine::Engine(const FrontConfig &config, Store &store, QuoteBook &quotes)
    : cfg(config), store(store), quotes(quotes)
{
}

bool Engine::load(std::string &error)
{
    store.begin();
    const auto storedDay = store.meta("tradingDay");
    const bool fresh = !storedDay;
    if (fresh) {
        day = marketHours.firstTradingDay ? marketHours.firstTradingDay()
                                          : Calendar::firstTradingDay(Calendar::today());
    } else {
        day = *storedDay;
    }
    if (!Calendar::isDate(day)) {
        error = "the store holds a bad trading day '" + day + "'";
        store.commit();
        return false;
    }
    store.setMeta("tradingDay", day);
    sessionSeq = std::stoi(store.meta("sessionSeq").value_or("0"));

    for (const Account &a : store.accounts()) {
        accountBook[a.investorId] = a;
    }
    for (const InvestorSpec &inv : cfg.investors) {
        if (!accountBook.count(inv.id)) {
            Account a;
            a.investorId = inv.id;
            a.preBalance = inv.initialFunds;
            accountBook[inv.id] = a;
            store.save(a);
        }
    }
    for (const Position &p : store.positions()) {
        positionBook[p.investorId][p.instrumentId][p.direction] = p;
    }
    for (const InstrumentDay &d : store.instrumentDays()) {
        instrumentDays[d.instrumentId] = d;
    }
    for (const InstrumentSpec &spec : cfg.instruments) {
        if (!instrumentDays.count(spec.id)) {
            instrumentDays[spec.id] = {spec.id, spec.preSettlementPrice, spec.preSettlementPrice,
                                       0};
            store.save(instrumentDays[spec.id]);
        }
    }
    startDayQuotes();

    const auto orders = store.orders(day, std::stoll(store.meta("dayFirstOrderSeq").value_or("0")));
    const auto trades = store.trades(day, std::stoll(store.meta("dayFirstTradeSeq").value_or("0")));
    todayOrders.assign(orders.begin(), orders.end());
    todayTrades.assign(trades.begin(), trades.end());
    for (const Order &o : todayOrders) {
        std::string &last = lastOrderRefs[{o.frontId, o.sessionId}];
        last = std::max(last, WireRecords::paddedOrderRef(o.orderRef));
        if (!o.orderSysId.empty()) {
            long long &n = orderSysIds[o.exchangeId];
            n = std::max(n, numberOf(o.orderSysId));
        }
    }
    for (const Trade &t : todayTrades) {
        long long &n = tradeIds[t.exchangeId];
        n = std::max(n, numberOf(t.tradeId));
    }
    failedLogins = store.loginFailures();
    orderSeq = store.maxOrderSeq();
    tradeSeq = store.maxTradeSeq();
    confirmed = store.confirmations();
    countFlows();

    if (fresh) {
        // A new broker still hands out the statement of the day before the first one, so the
        // client's confirm-before-trading sequence works from the start.
        const std::string previous = Calendar::previousWeekday(day);
        for (const InvestorSpec &inv : cfg.investors) {
            store.saveStatement(inv.id, previous, buildStatement(inv.id, previous, {}));
        }
    }
    store.commit();
    return store.lastError().empty();
}

void Engine::startDayQuotes()
{
    for (const auto &[id, d] : instrumentDays) {
        quotes.startDay(d, day);
    }
}

RspError Engine::login(const std::string &brokerId, const std::string &userId,
                       const std::string &password)
{
    if (brokerId != cfg.brokerId) {
        return errors::make(errors::InvalidLogin);
    }
    const InvestorSpec *inv = cfg.investor(userId);
    if (!inv) {
        return errors::make(errors::UserNotFound);
    }
    // A locked account stays locked whatever the password: a guesser learns nothing more.
    if (loginLocked(userId)) {
        return errors::make(errors::LoginForbidden);
    }
    if (inv->password != password) {
        countLoginFailure(userId, loginFailures(userId) + 1);
        return errors::make(errors::InvalidLogin);
    }
    countLoginFailure(userId, 0);
    return {};
}

void Engine::countLoginFailure(const std::string &investorId, int failures)
{
    if (loginFailures(investorId) == failures) {
        return;
    }
    if (failures == 0) {
        failedLogins.erase(investorId);
    } else {
        failedLogins[investorId] = failures;
    }
    // Kept in the books, so a restart of the front does not open a locked account.
    store.saveLoginFailures(investorId, failures);
}

int Engine::loginFailures(const std::string &investorId) const
{
    auto it = failedLogins.find(investorId);
    return it == failedLogins.end() ? 0 : it->second;
}

bool Engine::loginLocked(const std::string &investorId) const
{
    return loginFailures(investorId) >= cfg.loginFailureLimit;
}

bool Engine::unlock(const std::string &investorId)
{
    if (!investorId.empty() && !cfg.investor(investorId)) {
        return false;
    }
    const auto counted = failedLogins;
    store.begin();
    for (const auto &[id, failures] : counted) {
        if (investorId.empty() || id == investorId) {
            countLoginFailure(id, 0);
        }
    }
    store.commit();
    return true;
}

RspError Engine::authenticate(const std::string &brokerId, const std::string &appId,
                              const std::string &authCode) const
{
    const bool registered = std::any_of(cfg.apps.begin(), cfg.apps.end(), [&](const AppSpec &app) {
        return app.appId == appId && app.authCode == authCode;
    });
    return brokerId == cfg.brokerId && registered ? RspError{} : errors::make(errors::AuthFailed);
}

int Engine::newSessionId()
{
    ++sessionSeq;
    store.setMeta("sessionSeq", std::to_string(sessionSeq));
    return sessionSeq;
}

long long Engine::maxOrderRef(const std::string &investorId) const
{
    long long best = 0;
    for (const Order &o : todayOrders) {
        long long v = 0;
        if (o.investorId == investorId && parseNumber(o.orderRef, v)) {
            best = std::max(best, v);
        }
    }
    return best;
}

bool Engine::isConfirmed(const std::string &investorId) const
{
    auto it = confirmed.find(investorId);
    return it != confirmed.end() && it->second.count(day) > 0;
}

std::string Engine::confirm(const std::string &investorId)
{
    const std::string stamp = Calendar::today() + " " + Calendar::nowTime();
    auto &days = confirmed[investorId];
    if (!days.count(day)) {
        days[day] = stamp;
        store.saveConfirmation(investorId, day, stamp);
    }
    return days[day];
}

RspError Engine::checkOrder(const OrderRequest &r, const InstrumentSpec *&spec) const
{
    const bool fieldsOk =
        (r.direction == '0' || r.direction == '1') &&
        (r.offset == '0' || r.offset == '1' || r.offset == '3' || r.offset == '4') &&
        (r.hedge == '1' || r.hedge == '2' || r.hedge == '3') && r.priceType == '2' &&
        r.timeCondition == '1' &&
        (r.volumeCondition == '1' || r.volumeCondition == '2' || r.volumeCondition == '3') &&
        r.contingentCondition == '1' && r.forceCloseReason == '0' && r.volume >= 1 &&
        std::isfinite(r.limitPrice) && r.limitPrice > 0;
    if (!fieldsOk) {
        return errors::make(errors::BadField);
    }
    spec = cfg.instrument(r.instrumentId);
    if (!spec) {
        return errors::make(errors::InstrumentNotFound);
    }
    if (r.volume > spec->maxLimitOrderVolume ||
        (r.volumeCondition == '2' && (r.minVolume < 1 || r.minVolume > r.volume))) {
        return errors::make(errors::BadField);
    }
    if (!spec->isTrading || spec->instLifePhase != '1') {
        return errors::make(errors::InstrumentNotTrading);
    }
    return {};
}

RspError Engine::checkClose(const OrderRequest &r, const InstrumentSpec &spec) const
{
    // A sell closes the long side, a buy the short side.
    const char side = r.direction == '1' ? '2' : '3';
    const Position *p = nullptr;
    auto inv = positionBook.find(r.investorId);
    if (inv != positionBook.end()) {
        auto ins = inv->second.find(spec.id);
        if (ins != inv->second.end()) {
            auto it = ins->second.find(side);
            if (it != ins->second.end()) {
                p = &it->second;
            }
        }
    }
    const int today = p ? p->today.volume : 0;
    const int yd = p ? p->yd.volume : 0;
    if (spec.splitsTodayYesterday()) {
        if (r.offset == '3') {
            return r.volume > today ? errors::make(errors::OverCloseTodayPosition) : RspError{};
        }
        // A plain close on these exchanges closes yesterday's part only.
        return r.volume > yd ? errors::make(errors::OverCloseYesterdayPosition) : RspError{};
    }
    return r.volume > today + yd ? errors::make(errors::OverClosePosition) : RspError{};
}

RspError Engine::checkFunds(const OrderRequest &r, const InstrumentSpec &spec) const
{
    double need = spec.commissionPerLot * r.volume;
    if (r.offset == '0') {
        // Margin is reserved at the limit price, the most the order can cost.
        need += r.limitPrice * r.volume * spec.volumeMultiple * spec.marginRatio;
    }
    return need > account(r.investorId).available + 1e-6 ? errors::make(errors::InsufficientMoney)
                                                         : RspError{};
}

Position &Engine::position(const std::string &investorId, const std::string &instrumentId,
                           char direction)
{
    Position &p = positionBook[investorId][instrumentId][direction];
    p.investorId = investorId;
    p.instrumentId = instrumentId;
    p.direction = direction;
    return p;
}

double Engine::lastPrice(const InstrumentSpec &spec) const
{
    const Quote *q = quotes.find(spec.id);
    return q ? q->last : spec.preSettlementPrice;
}

InsertResult Engine::insertOrder(const OrderRequest &request, int frontId, int sessionId)
{
    InsertResult result;
    OrderRequest r = request;
    if (!accountBook.count(r.investorId) || r.brokerId != cfg.brokerId) {
        result.brokerError = errors::make(errors::BadField);
        return result;
    }
    if (!isConfirmed(r.investorId)) {
        result.brokerError = errors::make(errors::SettlementNotConfirmed);
        return result;
    }
    const InstrumentSpec *spec = nullptr;
    if ((result.brokerError = checkOrder(r, spec))) {
        return result;
    }
    if ((result.brokerError = checkOrderRef(r, frontId, sessionId))) {
        return result;
    }
    if (r.offset != '0' && (result.brokerError = checkClose(r, *spec))) {
        return result;
    }
    if ((result.brokerError = checkFunds(r, *spec))) {
        return result;
    }

    // The broker accepts: the order exists from here on and reaches the exchange.
    Order o;
    o.seq = ++orderSeq;
    o.tradingDay = day;
    o.brokerId = r.brokerId;
    o.investorId = r.investorId;
    o.userId = r.userId.empty() ? r.investorId : r.userId;
    o.instrumentId = spec->id;
    o.exchangeId = spec->exchangeId;
    o.orderRef = r.orderRef;
    o.frontId = frontId;
    o.sessionId = sessionId;
    o.requestId = r.requestId;
    o.orderLocalId = padded(o.seq, 12);
    o.brokerOrderSeq = static_cast<int>(o.seq);
    o.direction = r.direction;
    o.offset = r.offset;
    o.hedge = r.hedge;
    o.priceType = r.priceType;
    o.timeCondition = r.timeCondition;
    o.volumeCondition = r.volumeCondition;
    o.limitPrice = r.limitPrice;
    o.volume = r.volume;
    o.minVolume = r.minVolume;
    o.insertDate = day;
    o.insertTime = Calendar::nowTime();
    o.updateTime = o.insertTime;
    o.micros = std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();

    std::vector<Trade> trades;
    store.begin();
    result.exchangeRefusal = checkExchange(r, *spec);
    if (!result.exchangeRefusal.empty()) {
        o.status = '5';
        o.submitStatus = '4'; // insert rejected
        o.statusMsg = result.exchangeRefusal;
        o.cancelTime = o.insertTime;
    } else {
        o.orderSysId = exchangeNumber(++orderSysIds[o.exchangeId]);
        o.submitStatus = '3';
        Quote *book = quotes.book(spec->id);
        const std::vector<Fill> fills =
            book ? Matcher::match(*book, {r.direction == '0', r.limitPrice, r.volume,
                                          r.volumeCondition, r.minVolume})
                 : std::vector<Fill>();
        for (const Fill &f : fills) {
            trades.push_back(fill(*spec, o, f.price, f.volume));
            todayTrades.push_back(trades.back());
            store.save(trades.back());
        }
        if (o.volumeTraded == o.volume) {
            o.status = '0';
            o.statusMsg = "全部成交";
        } else {
            // Immediate-or-cancel: what the book could not give is cancelled at once.
            o.status = '5';
            o.statusMsg = o.volumeTraded > 0 ? "部分成交，剩余已撤单" : "已撤单";
            o.cancelTime = Calendar::nowTime();
        }
        o.updateTime = Calendar::nowTime();
    }
    todayOrders.push_back(o);
    store.save(o);
    store.commit();

    std::vector<const Trade *> own;
    for (const Trade &t : trades) {
        own.push_back(&t);
    }
    result.stream = orderStream(o, own);
    for (FlowItem &item : result.stream) {
        item.sequence = ++flowLength[o.investorId];
    }
    return result;
}

RspError Engine::checkOrderRef(OrderRequest &r, int frontId, int sessionId)
{
    std::string &last = lastOrderRefs[{frontId, sessionId}];
    if (r.orderRef.empty()) {
        // The vendor's front numbers an order that comes without a reference.
        long long sessionLast = 0;
        parseNumber(last, sessionLast);
        r.orderRef = std::to_string(std::max(maxOrderRef(r.investorId), sessionLast) + 1);
    }
    // References of a session must grow, compared right-aligned as the vendor's front writes
    // them, so "5" and its padded form are one reference and "10" comes after "9". A reference
    // counts as used once it passed here, even when a later check refuses the order.
    const std::string padded = WireRecords::paddedOrderRef(r.orderRef);
    if (padded <= last) {
        return errors::make(errors::DuplicateOrderRef);
    }
    last = padded;
    return {};
}

std::string Engine::checkExchange(const OrderRequest &r, const InstrumentSpec &spec) const
{
    // As real fronts word an exchange's refusal in the cancelled report.
    const std::string refused = "已撤单报单被拒绝" + spec.exchangeId + ":";
    if (marketHours.isOpen && !marketHours.isOpen(spec)) {
        return refused + "当前状态禁止此项操作";
    }
    if (!onTick(r.limitPrice, spec.priceTick)) {
        return refused + "价格不是最小变动价位的整数倍";
    }
    const Quote *q = quotes.find(spec.id);
    if (q && r.limitPrice > q->upperLimit + 1e-9) {
        return refused + "价格超出涨停板";
    }
    if (q && r.limitPrice < q->lowerLimit - 1e-9) {
        return refused + "价格跌破跌停板";
    }
    return {};
}

Trade Engine::fill(const InstrumentSpec &spec, Order &o, double price, int n)
{
    const double amount = price * n * spec.volumeMultiple;
    const double fee = spec.commissionPerLot * n;
    Account &acct = accountBook[o.investorId];
    double profit = 0;

    if (o.offset == '0') {
        Position &p = position(o.investorId, spec.id, o.direction == '0' ? '2' : '3');
        p.today.volume += n;
        p.today.cost += amount;
        p.today.openCost += amount;
        p.today.openVolume += n;
        p.today.openAmount += amount;
        p.today.commission += fee;
        store.save(p);
    } else {
        const char side = o.direction == '1' ? '2' : '3';
        Position &p = position(o.investorId, spec.id, side);
        int fromYd = 0;
        int fromToday = 0;
        if (spec.splitsTodayYesterday()) {
            (o.offset == '3' ? fromToday : fromYd) = n;
        } else {
            fromYd = std::min(n, p.yd.volume);
            fromToday = n - fromYd;
        }
        auto close = [&](PositionLeg &leg, int lots) {
            if (lots <= 0) {
                return;
            }
            const double cost = leg.cost * lots / leg.volume;
            const double openCost = leg.openCost * lots / leg.volume;
            const double value = price * lots * spec.volumeMultiple;
            const double legProfit = side == '2' ? value - cost : cost - value;
            leg.volume -= lots;
            leg.cost = leg.volume ? leg.cost - cost : 0;
            leg.openCost = leg.volume ? leg.openCost - openCost : 0;
            leg.closeVolume += lots;
            leg.closeAmount += value;
            leg.closeProfit += legProfit;
            leg.commission += spec.commissionPerLot * lots;
            profit += legProfit;
        };
        close(p.yd, fromYd);
        close(p.today, fromToday);
        store.save(p);
    }
    acct.closeProfit += profit;
    acct.commission += fee;
    store.save(acct);
    o.volumeTraded += n;

    Trade t;
    t.seq = ++tradeSeq;
    t.tradingDay = day;
    t.brokerId = o.brokerId;
    t.investorId = o.investorId;
    t.userId = o.userId;
    t.instrumentId = o.instrumentId;
    t.exchangeId = o.exchangeId;
    t.orderRef = o.orderRef;
    t.orderSysId = o.orderSysId;
    t.orderLocalId = o.orderLocalId;
    t.brokerOrderSeq = o.brokerOrderSeq;
    t.tradeId = exchangeNumber(++tradeIds[t.exchangeId]);
    t.direction = o.direction;
    t.offset = o.offset;
    t.hedge = o.hedge;
    t.price = price;
    t.volume = n;
    t.tradeDate = day;
    t.tradeTime = Calendar::nowTime();
    t.closeProfit = money(profit);
    t.commission = fee;
    t.micros = o.micros;
    return t;
}

std::vector<const InstrumentSpec *> Engine::instruments(const std::string &instrumentId,
                                                        const std::string &exchangeId) const
{
    std::vector<const InstrumentSpec *> out;
    for (const InstrumentSpec &s : cfg.instruments) {
        if ((instrumentId.empty() || s.id == instrumentId) &&
            (exchangeId.empty() || s.exchangeId == exchangeId)) {
            out.push_back(&s);
        }
    }
    return out;
}

std::vector<PositionRecord> Engine::positions(const std::string &investorId,
                                              const std::string &instrumentId) const
{
    std::vector<PositionRecord> out;
    auto inv = positionBook.find(investorId);
    if (inv == positionBook.end()) {
        return out;
    }
    for (const auto &[id, sides] : inv->second) {
        const InstrumentSpec *spec = cfg.instrument(id);
        if (!spec || (!instrumentId.empty() && id != instrumentId)) {
            continue;
        }
        const double last = lastPrice(*spec);
        const Quote *q = quotes.find(id);
        for (const auto &[direction, p] : sides) {
            auto record = [&](const std::vector<const PositionLeg *> &legs, char date) {
                PositionRecord r;
                r.instrumentId = id;
                r.exchangeId = spec->exchangeId;
                r.direction = direction;
                r.positionDate = date;
                r.preSettlementPrice = q ? q->preSettlement : spec->preSettlementPrice;
                r.settlementPrice = last;
                r.marginRatio = spec->marginRatio;
                for (const PositionLeg *leg : legs) {
                    const double value = last * leg->volume * spec->volumeMultiple;
                    r.position += leg->volume;
                    r.openVolume += leg->openVolume;
                    r.closeVolume += leg->closeVolume;
                    r.openAmount += leg->openAmount;
                    r.closeAmount += leg->closeAmount;
                    r.positionCost += leg->cost;
                    r.openCost += leg->openCost;
                    r.closeProfit += leg->closeProfit;
                    r.positionProfit += direction == '2' ? value - leg->cost : leg->cost - value;
                    r.useMargin += leg->cost * spec->marginRatio;
                    r.exchangeMargin += leg->cost * spec->exchangeMarginRatio;
                    r.commission += leg->commission;
                }
                r.positionCost = money(r.positionCost);
                r.openCost = money(r.openCost);
                r.positionProfit = money(r.positionProfit);
                r.useMargin = money(r.useMargin);
                r.exchangeMargin = money(r.exchangeMargin);
                r.closeProfit = money(r.closeProfit);
                return r;
            };
            if (spec->splitsTodayYesterday()) {
                if (!p.today.idle()) {
                    PositionRecord r = record({&p.today}, '1');
                    r.todayPosition = p.today.volume;
                    out.push_back(r);
                }
                if (!p.yd.idle() || p.ydStart > 0) {
                    PositionRecord r = record({&p.yd}, '2');
                    r.ydPosition = p.ydStart;
                    out.push_back(r);
                }
            } else if (!p.today.idle() || !p.yd.idle() || p.ydStart > 0) {
                PositionRecord r = record({&p.today, &p.yd}, '1');
                r.todayPosition = p.today.volume;
                r.ydPosition = p.ydStart;
                out.push_back(r);
            }
        }
    }
    return out;
}

AccountRecord Engine::account(const std::string &investorId) const
{
    AccountRecord r;
    auto it = accountBook.find(investorId);
    if (it == accountBook.end()) {
        return r;
    }
    r.account = it->second;
    for (const PositionRecord &p : positions(investorId, {})) {
        r.currMargin += p.useMargin;
        r.exchangeMargin += p.exchangeMargin;
        r.positionProfit += p.positionProfit;
    }
    const Account &a = r.account;
    r.currMargin = money(r.currMargin);
    r.exchangeMargin = money(r.exchangeMargin);
    r.positionProfit = money(r.positionProfit);
    r.balance = money(a.preBalance + a.deposit - a.withdraw + a.closeProfit + r.positionProfit -
                      a.commission);
    r.available = money(r.balance - r.currMargin);
    return r;
}

std::optional<std::pair<std::string, std::string>>
Engine::statement(const std::string &investorId, const std::string &tradingDay) const
{
    if (!accountBook.count(investorId)) {
        return std::nullopt;
    }
    return store.statement(investorId, tradingDay);
}

std::vector<FlowItem> Engine::privateFlow(const std::string &investorId) const
{
    std::map<std::string, std::vector<const Trade *>> fills;
    for (const Trade &t : todayTrades) {
        if (t.investorId == investorId) {
            fills[t.orderLocalId].push_back(&t);
        }
    }
    std::vector<FlowItem> out;
    for (const Order &o : todayOrders) {
        if (o.investorId != investorId) {
            continue;
        }
        for (FlowItem &item : orderStream(o, fills[o.orderLocalId])) {
            item.sequence = int(out.size()) + 1;
            out.push_back(std::move(item));
        }
    }
    return out;
}

void Engine::countFlows()
{
    flowLength.clear();
    for (const auto &[id, acct] : accountBook) {
        flowLength[id] = int(privateFlow(id).size());
    }
}

std::string Engine::buildStatement(const std::string &investorId, const std::string &tradingDay,
                                   const std::deque<Trade> &trades) const
{
    SettlementStatement s;
    s.brokerId = cfg.brokerId;
    s.brokerName = cfg.brokerName;
    s.investorId = investorId;
    const InvestorSpec *inv = cfg.investor(investorId);
    s.investorName = inv ? inv->name : std::string();
    s.tradingDay = tradingDay;
    s.account = account(investorId);
    for (const Trade &t : trades) {
        if (t.investorId == investorId) {
            s.trades.push_back(t);
        }
    }
    s.positions = positions(investorId, {});
    for (const InstrumentSpec &spec : cfg.instruments) {
        s.instrumentNames[spec.id] = spec.name;
        s.multipliers[spec.id] = spec.volumeMultiple;
    }
    return Gb2312::fromUtf8(s.render());
}

std::string Engine::rollTradingDay()
{
    store.begin();
    // The day settles at the last prices; the statement shows the books at those prices.
    std::map<std::string, double> settledBalance;
    for (const auto &[id, acct] : accountBook) {
        store.saveStatement(id, day, buildStatement(id, day, todayTrades));
        settledBalance[id] = account(id).balance;
    }
    for (auto &[investorId, instruments] : positionBook) {
        for (auto &[instrumentId, sides] : instruments) {
            const InstrumentSpec *spec = cfg.instrument(instrumentId);
            const double settle = spec ? lastPrice(*spec) : 0;
            const int multiple = spec ? spec->volumeMultiple : 1;
            for (auto it = sides.begin(); it != sides.end();) {
                Position &p = it->second;
                PositionLeg carried;
                carried.volume = p.yd.volume + p.today.volume;
                carried.cost = settle * carried.volume * multiple;
                carried.openCost = p.yd.openCost + p.today.openCost;
                p.yd = carried;
                p.today = PositionLeg();
                p.ydStart = carried.volume;
                if (p.ydStart == 0) {
                    store.erase(p);
                    it = sides.erase(it);
                } else {
                    store.save(p);
                    ++it;
                }
            }
        }
    }
    for (auto &[id, acct] : accountBook) {
        // Positions are now carried at the settlement price, so the day's marks belong to the
        // balance that the next day starts from.
        acct.preBalance = settledBalance[id];
        acct.deposit = acct.withdraw = acct.closeProfit = acct.commission = 0;
        acct.preMargin = account(id).currMargin;
        store.save(acct);
    }
    for (auto &[id, d] : instrumentDays) {
        const Quote *q = quotes.find(id);
        if (q) {
            d.preSettlement = q->last;
            d.preClose = q->last;
            d.preOpenInterest = q->openInterest;
        }
        store.save(d);
    }
    day = Calendar::nextWeekday(day);
    store.setMeta("tradingDay", day);
    store.setMeta("dayFirstOrderSeq", std::to_string(orderSeq));
    store.setMeta("dayFirstTradeSeq", std::to_string(tradeSeq));
    // A new day opens the accounts that wrong passwords locked.
    for (const auto &[id, failures] : failedLogins) {
        store.saveLoginFailures(id, 0);
    }
    failedLogins.clear();
    store.commit();
    startDayQuotes();
    todayOrders.clear();
    todayTrades.clear();
    lastOrderRefs.clear();
    orderSysIds.clear();
    tradeIds.clear();
    flowLength.clear();
    return day;
}

} // namespace simfront
