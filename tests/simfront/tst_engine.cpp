// The broker's back office on its own: matching, refusals, SHFE close rules, funds, the
// end-of-day roll and the books surviving a reopen of the store.

#include "calendar.h"
#include "engine.h"
#include "frontconfig.h"
#include "gb2312.h"
#include "matcher.h"
#include "quotebook.h"
#include "store.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <set>

using namespace simfront;

namespace {

// A broker with the built-in configuration and fixed quotes, its books in `folder` (memory when
// empty).
struct Broker
{
    explicit Broker(const std::string &folder = {}, MarketHours hours = {})
    {
        config = FrontConfig::builtIn();
        std::string error;
        opened = store.open(folder, error);
        quotes = std::make_unique<QuoteBook>(config.instruments, 7);
        engine = std::make_unique<Engine>(config, store, *quotes);
        engine->setMarketHours(std::move(hours));
        loaded = opened && engine->load(error);
    }

    void depth(const std::string &id, std::vector<Level> bids, std::vector<Level> asks)
    {
        QuoteUpdate u;
        u.instrumentId = id;
        u.bids = std::move(bids);
        u.asks = std::move(asks);
        std::string error;
        QVERIFY2(quotes->apply(u, error), error.c_str());
    }

    void quote(const std::string &id, double bid, double ask)
    {
        QuoteUpdate u;
        u.instrumentId = id;
        u.last = bid;
        u.bid = bid;
        u.ask = ask;
        std::string error;
        QVERIFY(quotes->apply(u, error));
    }

    InsertResult order(const std::string &id, char direction, char offset, int volume, double price,
                       int session = 1, const std::string &investor = "000001",
                       char volumeCondition = '3', int minVolume = 1)
    {
        OrderRequest r;
        r.volumeCondition = volumeCondition;
        r.minVolume = minVolume;
        r.brokerId = "9999";
        r.investorId = investor;
        r.instrumentId = id;
        r.orderRef = std::to_string(++ref);
        r.direction = direction;
        r.offset = offset;
        r.volume = volume;
        r.limitPrice = price;
        return engine->insertOrder(r, 1, session);
    }

    const PositionRecord *find(const std::vector<PositionRecord> &list, char direction, char date)
    {
        for (const auto &p : list) {
            if (p.direction == direction && p.positionDate == date) {
                return &p;
            }
        }
        return nullptr;
    }

    FrontConfig config;
    Store store;
    std::unique_ptr<QuoteBook> quotes;
    std::unique_ptr<Engine> engine;
    bool opened = false;
    bool loaded = false;
    int ref = 0;
};

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void ordersTakeTheDepthLevelByLevel()
    {
        Broker b;
        QVERIFY(b.loaded);
        b.engine->confirm("000001");
        struct Row
        {
            char direction;
            int volume;
            double limit;
            char condition;
            int minVolume;
            std::vector<Fill> fills;
            char status;
        };
        // The best levels rest as two orders each: taken whole, each order is a trade.
        const std::vector<Row> rows = {
            {'0', 25, 3503, '3', 1, {{3501, 4}, {3501, 6}, {3502, 15}}, '0'},
            {'0', 40, 3502, '3', 1, {}, '5'}, // all or nothing, 30 within the limit
            {'0', 40, 3502, '1', 1, {{3501, 4}, {3501, 6}, {3502, 20}}, '5'},
            {'0', 40, 3502, '2', 30, {{3501, 4}, {3501, 6}, {3502, 20}}, '5'},
            {'0', 40, 3502, '2', 31, {}, '5'},
            {'1', 15, 3499, '3', 1, {{3500, 7}, {3500, 3}, {3499, 5}}, '0'},
            {'1', 1, 3501, '3', 1, {}, '5'}, // not marketable
            {'0', 3, 3501, '3', 1, {{3501, 3}}, '0'},
        };
        int bought = 0;
        int sold = 0;
        std::set<std::string> orderSysIds;
        std::set<std::string> tradeIds;
        for (const Row &row : rows) {
            b.depth("rb2705", {{3500, 10, {7, 3}}, {3499, 20}, {3498, 30}},
                    {{3501, 10, {4, 6}}, {3502, 20}, {3503, 30}});
            const InsertResult r = b.order("rb2705", row.direction, '0', row.volume, row.limit, 1,
                                           "000001", row.condition, row.minVolume);
            QCOMPARE(r.brokerError.id, 0);
            const auto reports = r.reports();
            const auto trades = r.trades();
            // Submitted, accepted, one report per trade, and the cancel of what is left.
            QCOMPARE(int(reports.size()), 2 + int(row.fills.size()) + (row.status == '5'));
            QCOMPARE(reports[0].status, 'a');
            QCOMPARE(reports[0].submitStatus, '0');
            QVERIFY(reports[0].orderSysId.empty());
            QCOMPARE(reports[1].status, '3');
            QCOMPARE(reports[1].submitStatus, '3');
            // Numbered per exchange and day, right-aligned in twelve columns.
            QCOMPARE(reports[1].orderSysId,
                     std::string(11, ' ') + std::to_string(orderSysIds.size() + 1));
            orderSysIds.insert(reports[1].orderSysId);
            QCOMPARE(int(trades.size()), int(row.fills.size()));
            int traded = 0;
            for (std::size_t i = 0; i < trades.size(); ++i) {
                QCOMPARE(trades[i].price, row.fills[i].price);
                QCOMPARE(trades[i].volume, row.fills[i].volume);
                QCOMPARE(trades[i].orderSysId, reports[1].orderSysId);
                QCOMPARE(trades[i].tradeId.size(), std::size_t(12));
                QVERIFY(tradeIds.insert(trades[i].tradeId).second);
                traded += trades[i].volume;
                const Order &report = reports[2 + i];
                QCOMPARE(report.volumeTraded, traded);
                QCOMPARE(report.status, traded == row.volume ? '0' : '1');
                QCOMPARE(report.statusMsg,
                         std::string(traded == row.volume ? "全部成交" : "部分成交"));
            }
            QCOMPARE(reports.back().status, row.status);
            QCOMPARE(reports.back().volumeTraded, traded);
            if (row.status == '5') {
                QCOMPARE(reports.back().statusMsg,
                         std::string(traded == 0 ? "已撤单" : "部分成交，剩余已撤单"));
            }
            (row.direction == '0' ? bought : sold) += traded;
        }
        // Counted from 1 without a gap.
        QVERIFY(tradeIds.count("          " + std::to_string(tradeIds.size())));
        const auto positions = b.engine->positions("000001", "rb2705");
        QCOMPARE(b.find(positions, '2', '1')->position, bought);
        QCOMPARE(b.find(positions, '3', '1')->position, sold);
        QCOMPARE(b.engine->account("000001").account.commission, 3.0 * (bought + sold));

        // What an order took stays gone until the next step quotes afresh.
        b.depth("rb2705", {{3500, 10}}, {{3501, 10}, {3502, 20}});
        QCOMPARE(b.order("rb2705", '0', '0', 25, 3502).trades().size(), std::size_t(2));
        QCOMPARE(b.quotes->find("rb2705")->asks[0].price, 3502.0);
        QCOMPARE(b.quotes->find("rb2705")->asks[0].volume, 5);
        QVERIFY(b.order("rb2705", '0', '0', 6, 3502).trades().empty());
        // A resting order taken in part keeps its place ahead of the ones behind it.
        b.depth("rb2705", {{3500, 10}}, {{3501, 10, {4, 6}}});
        QCOMPARE(b.order("rb2705", '0', '0', 3, 3501).trades().size(), std::size_t(1));
        QCOMPARE(b.quotes->find("rb2705")->asks[0].orders, (std::vector<int>{1, 6}));
        QCOMPARE(b.order("rb2705", '0', '0', 5, 3501).trades().size(), std::size_t(2));
        // A market locked at its upper limit has no sellers.
        const double upper = b.quotes->find("rb2705")->upperLimit;
        b.depth("rb2705", {{upper, 100}}, {});
        QCOMPARE(b.quotes->find("rb2705")->ask(), 0.0);
        QVERIFY(b.order("rb2705", '0', '0', 1, upper).trades().empty());
    }

    void marketHoursAndTheFirstTradingDay()
    {
        MarketHours hours;
        hours.isOpen = [](const InstrumentSpec &s) { return s.exchangeId != "SHFE"; };
        hours.firstTradingDay = [] { return std::string("20270104"); };
        Broker b({}, hours);
        QVERIFY(b.loaded);
        QCOMPARE(b.engine->tradingDay(), std::string("20270104"));
        QVERIFY(b.engine->statement("000001", "20270101"));
        b.engine->confirm("000001");
        InsertResult r = b.order("rb2705", '0', '0', 1, 3600);
        QCOMPARE(r.brokerError.id, 0);
        QCOMPARE(r.exchangeRefusal, std::string("已撤单报单被拒绝SHFE:当前状态禁止此项操作"));
        QCOMPARE(r.reports().back().submitStatus, '4');
        QVERIFY(r.trades().empty());
        QCOMPARE(b.order("m2705", '0', '0', 1, 3100).trades().size(), std::size_t(1));
    }

    void brokerRefusals()
    {
        Broker b;
        b.quote("m2705", 3000, 3001);
        // Nothing is accepted before the day's statement is confirmed.
        QCOMPARE(b.order("m2705", '0', '0', 1, 3100).brokerError.id,
                 errors::SettlementNotConfirmed);
        b.engine->confirm("000001");
        QVERIFY(b.engine->isConfirmed("000001"));
        QVERIFY(!b.engine->isConfirmed("000002"));

        QCOMPARE(b.order("xx9999", '0', '0', 1, 3100).brokerError.id, errors::InstrumentNotFound);
        QCOMPARE(b.order("m2705", '0', '0', 0, 3100).brokerError.id, errors::BadField);
        QCOMPARE(b.order("m2705", '7', '0', 1, 3100).brokerError.id, errors::BadField);
        QCOMPARE(b.order("m2705", '0', '2', 1, 3100).brokerError.id, errors::BadField);
        QCOMPARE(b.order("m2705", '0', '0', 1, -5).brokerError.id, errors::BadField);
        QCOMPARE(b.order("m2705", '0', '0', 501, 3100).brokerError.id, errors::BadField);
        // Closing more than is held.
        QCOMPARE(b.order("m2705", '1', '1', 1, 2900).brokerError.id, errors::OverClosePosition);
        // 500 lots of the index future need far more margin than the account has.
        b.quote("IF2706", 3900, 3900.2);
        QCOMPARE(b.order("IF2706", '0', '0', 500, 4000).brokerError.id, errors::InsufficientMoney);

        // An order for another investor of the broker needs that investor's confirmation.
        QCOMPARE(b.order("m2705", '0', '0', 1, 3100, 1, "000002").brokerError.id,
                 errors::SettlementNotConfirmed);

        OrderRequest gfd;
        gfd.brokerId = "9999";
        gfd.investorId = "000001";
        gfd.instrumentId = "m2705";
        gfd.orderRef = "900";
        gfd.volume = 1;
        gfd.limitPrice = 3100;
        gfd.timeCondition = '3'; // only immediate-or-cancel orders are taken
        QCOMPARE(b.engine->insertOrder(gfd, 1, 1).brokerError.id, errors::BadField);

        // Refusals leave no order behind.
        QVERIFY(b.engine->orders().empty());
    }

    void orderRefsGrowWithinASession()
    {
        Broker b;
        b.engine->confirm("000001");
        b.quote("m2705", 3000, 3001);
        struct Row
        {
            int session;
            std::string ref;
            int volume;
            int error;
        };
        // Compared right-aligned: "10" follows "9" and the padded "7" is "7". A reference
        // refused later, for funds, stays used.
        const std::vector<Row> rows = {
            {1, "7", 1, 0},
            {1, "7", 1, errors::DuplicateOrderRef},
            {1, "           7", 1, errors::DuplicateOrderRef},
            {1, "5", 1, errors::DuplicateOrderRef},
            {1, "9", 1, 0},
            {1, "10", 1, 0},
            {1, "11", 500, errors::InsufficientMoney},
            {1, "11", 1, errors::DuplicateOrderRef},
            {1, "", 1, 0}, // numbered 12
            {1, "12", 1, errors::DuplicateOrderRef},
            {2, "7", 1, 0},
        };
        b.quote("IF2706", 3900, 3900.2);
        for (const Row &row : rows) {
            OrderRequest r;
            r.brokerId = "9999";
            r.investorId = "000001";
            r.instrumentId = row.volume == 500 ? "IF2706" : "m2705";
            r.orderRef = row.ref;
            r.volume = row.volume;
            r.limitPrice = row.volume == 500 ? 4000 : 3001;
            QCOMPARE(b.engine->insertOrder(r, 1, row.session).brokerError.id, row.error);
        }
        QCOMPARE(b.engine->orders()[3].orderRef, std::string("12"));
        QCOMPARE(errors::make(errors::DuplicateOrderRef).msg,
                 std::string("CTP:报单错误：不允许重复报单"));
        QCOMPARE(b.engine->maxOrderRef("000001"), 12LL);
        QCOMPARE(b.engine->maxOrderRef("000002"), 0LL);
    }

    void exchangeRefusalsAreCancelledReports()
    {
        Broker b;
        b.engine->confirm("000001");
        const Quote *q = b.quotes->find("rb2705");
        QCOMPARE(q->upperLimit, 3745.0); // 3500 * 1.07
        QCOMPARE(q->lowerLimit, 3255.0);
        const std::vector<std::pair<double, std::string>> rows = {
            {q->upperLimit + 1, "价格超出涨停板"},
            {q->lowerLimit - 1, "价格跌破跌停板"},
            {3500.5, "价格不是最小变动价位的整数倍"}, // between two ticks
        };
        for (const auto &[price, reason] : rows) {
            const InsertResult r = b.order("rb2705", '0', '0', 1, price);
            QCOMPARE(r.brokerError.id, 0);
            const auto reports = r.reports();
            QCOMPARE(int(r.stream.size()), 2);
            QCOMPARE(reports[0].status, 'a');
            QCOMPARE(reports[1].status, '5');
            QCOMPARE(reports[1].submitStatus, '4');
            QCOMPARE(reports[1].statusMsg, "已撤单报单被拒绝SHFE:" + reason);
            QVERIFY(reports[1].orderSysId.empty());
        }

        // At the limit itself the order is valid, and the exchange numbers only what it took.
        const InsertResult r = b.order("rb2705", '0', '0', 1, q->upperLimit);
        QVERIFY(r.exchangeRefusal.empty());
        QCOMPARE(r.trades().size(), std::size_t(1));
        QCOMPARE(r.reports()[1].orderSysId, std::string("           1"));
        QVERIFY(b.engine->positions("000001", {}).size() == 1);
    }

    void shfeClosesSayTodayOrYesterday()
    {
        Broker b;
        b.engine->confirm("000001");
        b.quote("rb2705", 3500, 3501);
        QCOMPARE(b.order("rb2705", '0', '0', 3, 3510).trades().size(), std::size_t(1));

        // A today-only position: a plain close and a close-yesterday find nothing to close.
        QCOMPARE(b.order("rb2705", '1', '1', 1, 3490).brokerError.id,
                 errors::OverCloseYesterdayPosition);
        QCOMPARE(b.order("rb2705", '1', '4', 1, 3490).brokerError.id,
                 errors::OverCloseYesterdayPosition);
        QCOMPARE(b.order("rb2705", '1', '3', 4, 3490).brokerError.id,
                 errors::OverCloseTodayPosition);
        QCOMPARE(b.order("rb2705", '1', '3', 2, 3490).trades().size(), std::size_t(1));
        auto list = b.engine->positions("000001", "rb2705");
        QCOMPARE(b.find(list, '2', '1')->position, 1);
        QCOMPARE(b.find(list, '2', '1')->todayPosition, 1);
        QCOMPARE(b.find(list, '2', '1')->openVolume, 3);
        QCOMPARE(b.find(list, '2', '1')->closeVolume, 2);

        b.engine->confirm("000001");
        b.engine->rollTradingDay();
        b.engine->confirm("000001");
        b.quote("rb2705", 3500, 3501);
        QCOMPARE(b.order("rb2705", '0', '0', 2, 3510).trades().size(), std::size_t(1));
        // Now one lot from yesterday and two from today, each on its own record.
        list = b.engine->positions("000001", "rb2705");
        QCOMPARE(int(list.size()), 2);
        QCOMPARE(b.find(list, '2', '2')->position, 1);
        QCOMPARE(b.find(list, '2', '2')->ydPosition, 1);
        QCOMPARE(b.find(list, '2', '1')->position, 2);
        QCOMPARE(b.order("rb2705", '1', '4', 2, 3490).brokerError.id,
                 errors::OverCloseYesterdayPosition);
        QCOMPARE(b.order("rb2705", '1', '1', 1, 3490).trades().size(), std::size_t(1));
        list = b.engine->positions("000001", "rb2705");
        QCOMPARE(b.find(list, '2', '2')->position, 0);
        QCOMPARE(b.find(list, '2', '2')->ydPosition, 1); // as the day began
        QCOMPARE(b.find(list, '2', '1')->position, 2);
    }

    void otherExchangesCloseYesterdayFirstInOneRecord()
    {
        Broker b;
        b.engine->confirm("000001");
        b.quote("m2705", 3000, 3001);
        QCOMPARE(b.order("m2705", '1', '0', 2, 2990).trades().size(), std::size_t(1)); // short
        b.engine->rollTradingDay();
        b.engine->confirm("000001");
        b.quote("m2705", 3000, 3001);
        QCOMPARE(b.order("m2705", '1', '0', 1, 2990).trades().size(), std::size_t(1));
        auto list = b.engine->positions("000001", "m2705");
        QCOMPARE(int(list.size()), 1);
        QCOMPARE(list[0].direction, '3');
        QCOMPARE(list[0].position, 3);
        QCOMPARE(list[0].todayPosition, 1);
        QCOMPARE(list[0].ydPosition, 2);

        // A close-today on this exchange is just a close, taking yesterday's lots first.
        QCOMPARE(b.order("m2705", '0', '3', 2, 3010).trades().size(), std::size_t(1));
        list = b.engine->positions("000001", "m2705");
        QCOMPARE(list[0].position, 1);
        QCOMPARE(list[0].todayPosition, 1);
        QCOMPARE(b.order("m2705", '0', '1', 2, 3010).brokerError.id, errors::OverClosePosition);
    }

    void fundsThroughARoundTrip()
    {
        Broker b;
        b.engine->confirm("000001");
        b.quote("rb2705", 3500, 3501);
        b.order("rb2705", '0', '0', 2, 3600); // buys 2 at 3501, 3 per lot commission

        b.quote("rb2705", 3510, 3511);
        AccountRecord a = b.engine->account("000001");
        QCOMPARE(a.positionProfit, (3510.0 - 3501.0) * 2 * 10);
        QCOMPARE(a.currMargin, 3501.0 * 2 * 10 * 0.10);
        QCOMPARE(a.exchangeMargin, 3501.0 * 2 * 10 * 0.08);
        QCOMPARE(a.account.commission, 6.0);
        QCOMPARE(a.balance, 10000000.0 + 180 - 6);
        QCOMPARE(a.available, a.balance - a.currMargin);
        auto list = b.engine->positions("000001", "rb2705");
        QCOMPARE(list[0].positionCost, 3501.0 * 20);
        QCOMPARE(list[0].openAmount, 3501.0 * 20);
        QCOMPARE(list[0].useMargin, a.currMargin);

        b.quote("rb2705", 3520, 3521);
        b.order("rb2705", '1', '3', 2, 3400); // sells 2 at 3520
        a = b.engine->account("000001");
        QCOMPARE(a.account.closeProfit, (3520.0 - 3501.0) * 20);
        QCOMPARE(a.positionProfit, 0.0);
        QCOMPARE(a.currMargin, 0.0);
        QCOMPARE(a.account.commission, 12.0);
        QCOMPARE(a.balance, 10000000.0 + 380 - 12);
        QCOMPARE(a.available, a.balance);
        list = b.engine->positions("000001", "rb2705");
        QCOMPARE(list[0].position, 0);
        QCOMPARE(list[0].closeAmount, 3520.0 * 20);
        QCOMPARE(list[0].closeProfit, 380.0);

        // A short profits when the price falls.
        b.order("rb2705", '1', '0', 1, 3400); // sells 1 at 3520
        b.quote("rb2705", 3480, 3481);
        QCOMPARE(b.engine->account("000001").positionProfit, 400.0);
    }

    void rollCarriesBalanceAndWritesTheStatement()
    {
        Broker b;
        const std::string first = b.engine->tradingDay();
        // A fresh broker has the statement of the day before its first day.
        auto st = b.engine->statement("000001", {});
        QVERIFY(st);
        QCOMPARE(st->first, Calendar::previousWeekday(first));

        b.engine->confirm("000001");
        b.quote("rb2705", 3500, 3501);
        b.order("rb2705", '0', '0', 1, 3600);
        b.quote("rb2705", 3530, 3531);
        const double balance = b.engine->account("000001").balance;
        const std::string next = b.engine->rollTradingDay();
        QCOMPARE(next, Calendar::nextWeekday(first));
        QCOMPARE(b.engine->tradingDay(), next);
        QVERIFY(!b.engine->isConfirmed("000001")); // a new day needs a new confirmation
        QVERIFY(b.engine->orders().empty());

        // The day settled at 3530: the marks are in the new pre-balance, the position is
        // carried at the settlement price, and the new limits are around it.
        AccountRecord a = b.engine->account("000001");
        QCOMPARE(a.account.preBalance, balance);
        QCOMPARE(a.account.closeProfit, 0.0);
        QCOMPARE(a.account.commission, 0.0);
        QCOMPARE(a.positionProfit, 0.0);
        QCOMPARE(b.quotes->find("rb2705")->preSettlement, 3530.0);
        QCOMPARE(b.quotes->find("rb2705")->upperLimit, 3777.0);
        auto list = b.engine->positions("000001", "rb2705");
        QCOMPARE(int(list.size()), 1);
        QCOMPARE(list[0].positionDate, '2');
        QCOMPARE(list[0].positionCost, 35300.0);

        st = b.engine->statement("000001", {});
        QVERIFY(st);
        QCOMPARE(st->first, first);
        const std::string text = Gb2312::toUtf8(st->second);
        QVERIFY(text.find("成交记录") != std::string::npos);
        QVERIFY(text.find("螺纹钢2705") != std::string::npos);
        QVERIFY(text.find("3501.00") != std::string::npos);
        QVERIFY(text.find("持仓汇总") != std::string::npos);
        QVERIFY(b.engine->statement("000001", first));
        QVERIFY(!b.engine->statement("000001", "19990101"));
        QVERIFY(!b.engine->statement("nobody", {}));

        // The exchange numbers orders and trades afresh each day.
        b.engine->confirm("000001");
        const InsertResult again = b.order("rb2705", '0', '0', 1, 3700);
        QCOMPARE(again.reports()[1].orderSysId, std::string("           1"));
        QCOMPARE(again.trades()[0].tradeId, std::string("           1"));
    }

    void booksSurviveAReopen()
    {
        QTemporaryDir dir;
        const std::string folder = dir.filePath("books").toStdString();
        std::string day;
        double balance = 0;
        int session = 0;
        long long stamp = 0;
        {
            Broker b(folder);
            QVERIFY(b.loaded);
            day = b.engine->tradingDay();
            b.engine->confirm("000001");
            session = b.engine->newSessionId();
            b.quote("rb2705", 3500, 3501);
            QCOMPARE(b.order("rb2705", '0', '0', 3, 3600, session).trades().size(), std::size_t(1));
            QCOMPARE(b.order("rb2705", '1', '3', 1, 3400, session).trades().size(), std::size_t(1));
            balance = b.engine->account("000001").account.closeProfit;
            stamp = b.engine->orders().back().micros;
            QVERIFY(stamp > 0);
        }
        Broker b(folder);
        QVERIFY(b.loaded);
        QCOMPARE(b.engine->tradingDay(), day);
        QVERIFY(b.engine->isConfirmed("000001"));
        QCOMPARE(int(b.engine->orders().size()), 2);
        QCOMPARE(int(b.engine->trades().size()), 2);
        QCOMPARE(b.engine->orders()[1].micros, stamp);
        QVERIFY(b.engine->orders()[0].micros <= stamp);
        QCOMPARE(b.engine->trades()[1].micros, stamp);
        QCOMPARE(b.engine->account("000001").account.closeProfit, balance);
        QCOMPARE(b.engine->account("000001").account.commission, 12.0);
        auto list = b.engine->positions("000001", "rb2705");
        QCOMPARE(b.find(list, '2', '1')->position, 2);
        QCOMPARE(b.find(list, '2', '1')->openVolume, 3);
        // Session numbers go on, and the old session's references stay used.
        QVERIFY(b.engine->newSessionId() > session);
        QCOMPARE(b.engine->maxOrderRef("000001"), 2LL);
        b.ref = 1;
        QCOMPARE(b.order("rb2705", '1', '3', 1, 3400, session).brokerError.id,
                 errors::DuplicateOrderRef);
        const auto flow = b.engine->privateFlow("000001");
        QCOMPARE(int(flow.size()), 8); // submitted, accepted, the fill's report and trade each
        QCOMPARE(flow.back().sequence, 8);
        QVERIFY(b.engine->privateFlow("000002").empty());
        // The exchange's numbers of the day go on from the stored orders and trades.
        b.ref = 2;
        const InsertResult next = b.order("rb2705", '1', '3', 1, 3400, session);
        QCOMPARE(next.reports()[1].orderSysId, std::string("           3"));
        QCOMPARE(next.trades()[0].tradeId, std::string("           3"));
    }

    void privateStreamReplaysWhatWentOut()
    {
        QTemporaryDir dir;
        const std::string folder = dir.filePath("books").toStdString();
        std::vector<FlowItem> live;
        {
            Broker b(folder);
            QVERIFY(b.loaded);
            b.engine->confirm("000001");
            b.engine->confirm("000002");
            // Several fills per order, another investor in between, an exchange refusal.
            for (int i = 0; i < 6; ++i) {
                b.depth("m2705", {{3000, 4}, {2999, 4}}, {{3001, 4, {1, 3}}, {3002, 4}});
                const auto stream = b.order("m2705", '0', '0', 6, 3002, 1, "000001", '2', 5).stream;
                live.insert(live.end(), stream.begin(), stream.end());
                b.order("m2705", '1', '0', 1, 2990, 1, "000002");
            }
            const auto refused = b.order("m2705", '0', '0', 1, 9999).stream;
            live.insert(live.end(), refused.begin(), refused.end());
        }
        Broker b(folder);
        QVERIFY(b.loaded);
        const auto flow = b.engine->privateFlow("000001");
        QCOMPARE(flow.size(), live.size());
        bool before = false;
        bool after = false;
        for (std::size_t i = 0; i < flow.size(); ++i) {
            const FlowItem &l = live[i];
            QCOMPARE(flow[i].sequence, int(i) + 1);
            QCOMPARE(l.sequence, flow[i].sequence);
            QCOMPARE(bool(l.order), bool(flow[i].order));
            if (l.order) {
                QCOMPARE(l.order->status, flow[i].order->status);
                QCOMPARE(l.order->orderSysId, flow[i].order->orderSysId);
                QCOMPARE(l.order->volumeTraded, flow[i].order->volumeTraded);
                QCOMPARE(flow[i].order->minVolume, l.order->limitPrice < 9999 ? 5 : 1);
            } else {
                QCOMPARE(l.trade->tradeId, flow[i].trade->tradeId);
            }
            if (flow[i].order && flow[i].order->status == '0') {
                before = before || (i + 1 < flow.size() && flow[i + 1].trade);
                after = after || flow[i - 1].trade;
            }
        }
        // Real fronts send an order's final report before its trades or after them.
        QVERIFY(before && after);
        QCOMPARE(int(b.engine->privateFlow("000002").size()), 6 * 4);
        // The stream goes on from where it was.
        b.depth("m2705", {{3000, 4}}, {{3001, 4}});
        const auto next = b.order("m2705", '0', '0', 1, 3001, 2).stream;
        QVERIFY(!next.empty());
        QCOMPARE(next.front().sequence, int(live.size()) + 1);
    }

    void oneFrontPerBooks()
    {
        QTemporaryDir dir;
        const std::string folder = dir.filePath("books").toStdString();
        Store first;
        std::string error;
        QVERIFY(first.open(folder, error));
        Store second;
        QVERIFY(!second.open(folder, error));
        QVERIFY(error.find("locked") != std::string::npos);
        first.close();
        QVERIFY2(second.open(folder, error), error.c_str());
    }

    void loginChecksAndTheLockout()
    {
        QTemporaryDir dir;
        const std::string folder = dir.filePath("books").toStdString();
        {
            Broker b(folder);
            QCOMPARE(b.engine->login("9999", "000001", "123456").id, 0);
            QCOMPARE(b.engine->login("9999", "000009", "123456").id, errors::UserNotFound);
            QCOMPARE(b.engine->login("8888", "000001", "123456").id, errors::InvalidLogin);
            QCOMPARE(b.engine->login("9999", "000001", "").id, errors::InvalidLogin);
            // Failures count in a row: a success starts the count again.
            QCOMPARE(b.engine->loginFailures("000001"), 1);
            QCOMPARE(b.engine->login("9999", "000001", "123456").id, 0);
            QCOMPARE(b.engine->loginFailures("000001"), 0);
            for (int i = 0; i < 5; ++i) {
                QCOMPARE(b.engine->login("9999", "000001", "654321").id, errors::InvalidLogin);
            }
            QVERIFY(b.engine->loginLocked("000001"));
            QVERIFY(!b.engine->loginLocked("000002"));
            QCOMPARE(b.engine->login("9999", "000001", "123456").id, errors::LoginForbidden);
            QCOMPARE(b.engine->loginFailures("000001"), 5);
        }
        // A restart keeps the lock; an unlock or the next trading day lifts it.
        Broker b(folder);
        QCOMPARE(b.engine->login("9999", "000001", "123456").id, errors::LoginForbidden);
        QVERIFY(!b.engine->unlock("000009"));
        QVERIFY(b.engine->unlock("000001"));
        QCOMPARE(b.engine->login("9999", "000001", "123456").id, 0);
        for (const char *investor : {"000001", "000002"}) {
            for (int i = 0; i < 5; ++i) {
                b.engine->login("9999", investor, "654321");
            }
        }
        QVERIFY(b.engine->unlock({}));
        QVERIFY(!b.engine->loginLocked("000001") && !b.engine->loginLocked("000002"));
        for (int i = 0; i < 5; ++i) {
            b.engine->login("9999", "000002", "654321");
        }
        b.engine->rollTradingDay();
        QCOMPARE(b.engine->login("9999", "000002", "123456").id, 0);
        QCOMPARE(errors::make(errors::LoginForbidden).msg,
                 std::string("CTP:连续登录失败次数超限，登录被禁止"));
    }

    void authenticationChecks()
    {
        Broker b;
        const struct
        {
            const char *broker;
            const char *app;
            const char *code;
            int error;
        } rows[] = {
            {"9999", "velmora_demo_1.0", "0000000000000000", 0},
            {"9999", "velmora_demo_1.0", "0000000000000001", errors::AuthFailed},
            {"9999", "other_app_1.0", "0000000000000000", errors::AuthFailed},
            {"8888", "velmora_demo_1.0", "0000000000000000", errors::AuthFailed},
            {"9999", "", "", errors::AuthFailed},
        };
        for (const auto &row : rows) {
            QCOMPARE(b.engine->authenticate(row.broker, row.app, row.code).id, row.error);
        }
        QCOMPARE(errors::make(errors::AuthFailed).msg, std::string("CTP:客户端认证失败"));
        QCOMPARE(errors::make(errors::NotAuthenticated).msg, std::string("CTP:客户端未认证"));
    }
};

QTEST_APPLESS_MAIN(TestEngine)
#include "tst_engine.moc"
