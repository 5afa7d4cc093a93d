// The broker's back office on its own: matching, refusals, SHFE close rules, funds, the
// end-of-day roll and the books surviving a reopen of the store.

#include "calendar.h"
#include "engine.h"
#include "frontconfig.h"
#include "gb2312.h"
#include "quotebook.h"
#include "store.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace simfront;

namespace {

// A broker with the built-in configuration and fixed quotes, its books in `folder` (memory when
// empty).
struct Broker
{
    explicit Broker(const std::string &folder = {})
    {
        config = FrontConfig::builtIn();
        std::string error;
        opened = store.open(folder, error);
        quotes = std::make_unique<QuoteBook>(config.instruments, 7);
        engine = std::make_unique<Engine>(config, store, *quotes);
        loaded = opened && engine->load(error);
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
                       int session = 1, const std::string &investor = "000001")
    {
        OrderRequest r;
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
    void marketableOrdersFillAtTheBestQuoteOthersAreCancelled()
    {
        Broker b;
        QVERIFY(b.loaded);
        b.engine->confirm("000001");
        b.quote("rb2705", 3500, 3501);

        InsertResult r = b.order("rb2705", '0', '0', 2, 3600);
        QCOMPARE(r.brokerError.id, 0);
        QCOMPARE(r.exchangeError.id, 0);
        QCOMPARE(int(r.reports.size()), 2);
        QCOMPARE(r.reports[0].status, 'a');
        QCOMPARE(r.reports[1].status, '0');
        QCOMPARE(r.reports[1].volumeTraded, 2);
        QCOMPARE(r.reports[1].statusMsg, std::string("全部成交"));
        QCOMPARE(int(r.trades.size()), 1);
        QCOMPARE(r.trades[0].price, 3501.0); // the ask, not the limit
        QCOMPARE(r.trades[0].volume, 2);
        QCOMPARE(r.trades[0].tradeDate, b.engine->tradingDay());

        // A sell is marketable at the bid; one tick above it is not.
        r = b.order("rb2705", '1', '0', 1, 3501);
        QCOMPARE(r.reports.back().status, '5');
        QCOMPARE(r.reports.back().statusMsg, std::string("已撤单"));
        QVERIFY(r.trades.empty());
        r = b.order("rb2705", '1', '0', 1, 3500);
        QCOMPARE(r.trades.size(), std::size_t(1));
        QCOMPARE(r.trades[0].price, 3500.0);

        const auto positions = b.engine->positions("000001", "rb2705");
        QCOMPARE(b.find(positions, '2', '1')->position, 2);
        QCOMPARE(b.find(positions, '3', '1')->position, 1);
        QCOMPARE(int(b.engine->orders().size()), 3);
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

    void duplicateOrderRefIsRefusedWithinOneSession()
    {
        Broker b;
        b.engine->confirm("000001");
        b.quote("m2705", 3000, 3001);
        OrderRequest r;
        r.brokerId = "9999";
        r.investorId = "000001";
        r.instrumentId = "m2705";
        r.orderRef = "7";
        r.volume = 1;
        r.limitPrice = 3001;
        QCOMPARE(b.engine->insertOrder(r, 1, 1).brokerError.id, 0);
        QCOMPARE(b.engine->insertOrder(r, 1, 1).brokerError.id, errors::DuplicateOrderRef);
        QCOMPARE(b.engine->insertOrder(r, 1, 2).brokerError.id, 0);
        QCOMPARE(b.engine->maxOrderRef("000001"), 7LL);
        QCOMPARE(b.engine->maxOrderRef("000002"), 0LL);
    }

    void priceOutsideTheLimitsIsRefusedByTheExchange()
    {
        Broker b;
        b.engine->confirm("000001");
        const Quote *q = b.quotes->find("rb2705");
        QCOMPARE(q->upperLimit, 3745.0); // 3500 * 1.07
        QCOMPARE(q->lowerLimit, 3255.0);

        InsertResult r = b.order("rb2705", '0', '0', 1, q->upperLimit + 1);
        QCOMPARE(r.brokerError.id, 0);
        QCOMPARE(r.exchangeError.id, errors::PriceOutOfLimits);
        QCOMPARE(int(r.reports.size()), 2);
        QCOMPARE(r.reports[1].status, '5');
        QCOMPARE(r.reports[1].submitStatus, '4');
        QVERIFY(r.trades.empty());

        r = b.order("rb2705", '0', '0', 1, 3500.5); // between two ticks
        QCOMPARE(r.exchangeError.id, errors::PriceNotOnTick);

        // At the limit itself the order is valid.
        r = b.order("rb2705", '0', '0', 1, q->upperLimit);
        QCOMPARE(r.exchangeError.id, 0);
        QCOMPARE(r.trades.size(), std::size_t(1));
        QVERIFY(b.engine->positions("000001", {}).size() == 1);
    }

    void shfeClosesSayTodayOrYesterday()
    {
        Broker b;
        b.engine->confirm("000001");
        b.quote("rb2705", 3500, 3501);
        QCOMPARE(b.order("rb2705", '0', '0', 3, 3510).trades.size(), std::size_t(1));

        // A today-only position: a plain close and a close-yesterday find nothing to close.
        QCOMPARE(b.order("rb2705", '1', '1', 1, 3490).brokerError.id,
                 errors::OverCloseYesterdayPosition);
        QCOMPARE(b.order("rb2705", '1', '4', 1, 3490).brokerError.id,
                 errors::OverCloseYesterdayPosition);
        QCOMPARE(b.order("rb2705", '1', '3', 4, 3490).brokerError.id,
                 errors::OverCloseTodayPosition);
        QCOMPARE(b.order("rb2705", '1', '3', 2, 3490).trades.size(), std::size_t(1));
        auto list = b.engine->positions("000001", "rb2705");
        QCOMPARE(b.find(list, '2', '1')->position, 1);
        QCOMPARE(b.find(list, '2', '1')->todayPosition, 1);
        QCOMPARE(b.find(list, '2', '1')->openVolume, 3);
        QCOMPARE(b.find(list, '2', '1')->closeVolume, 2);

        b.engine->confirm("000001");
        b.engine->rollTradingDay();
        b.engine->confirm("000001");
        b.quote("rb2705", 3500, 3501);
        QCOMPARE(b.order("rb2705", '0', '0', 2, 3510).trades.size(), std::size_t(1));
        // Now one lot from yesterday and two from today, each on its own record.
        list = b.engine->positions("000001", "rb2705");
        QCOMPARE(int(list.size()), 2);
        QCOMPARE(b.find(list, '2', '2')->position, 1);
        QCOMPARE(b.find(list, '2', '2')->ydPosition, 1);
        QCOMPARE(b.find(list, '2', '1')->position, 2);
        QCOMPARE(b.order("rb2705", '1', '4', 2, 3490).brokerError.id,
                 errors::OverCloseYesterdayPosition);
        QCOMPARE(b.order("rb2705", '1', '1', 1, 3490).trades.size(), std::size_t(1));
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
        QCOMPARE(b.order("m2705", '1', '0', 2, 2990).trades.size(), std::size_t(1)); // short
        b.engine->rollTradingDay();
        b.engine->confirm("000001");
        b.quote("m2705", 3000, 3001);
        QCOMPARE(b.order("m2705", '1', '0', 1, 2990).trades.size(), std::size_t(1));
        auto list = b.engine->positions("000001", "m2705");
        QCOMPARE(int(list.size()), 1);
        QCOMPARE(list[0].direction, '3');
        QCOMPARE(list[0].position, 3);
        QCOMPARE(list[0].todayPosition, 1);
        QCOMPARE(list[0].ydPosition, 2);

        // A close-today on this exchange is just a close, taking yesterday's lots first.
        QCOMPARE(b.order("m2705", '0', '3', 2, 3010).trades.size(), std::size_t(1));
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
            QCOMPARE(b.order("rb2705", '0', '0', 3, 3600, session).trades.size(), std::size_t(1));
            QCOMPARE(b.order("rb2705", '1', '3', 1, 3400, session).trades.size(), std::size_t(1));
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
        // Private stream: submitted and final report of each order, and each fill after it.
        const auto flow = b.engine->privateFlow("000001");
        QCOMPARE(int(flow.size()), 6);
        QVERIFY(flow[0].order && flow[0].order->status == 'a');
        QVERIFY(flow[1].order && flow[1].order->status == '0');
        QVERIFY(flow[2].trade && flow[2].trade->volume == 3);
        QVERIFY(flow[5].trade && flow[5].trade->offset == '3');
        QVERIFY(b.engine->privateFlow("000002").empty());
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

    void loginChecks()
    {
        Broker b;
        QCOMPARE(b.engine->login("9999", "000001", "123456").id, 0);
        QCOMPARE(b.engine->login("9999", "000001", "654321").id, errors::InvalidLogin);
        QCOMPARE(b.engine->login("9999", "000009", "123456").id, errors::UserNotFound);
        QCOMPARE(b.engine->login("8888", "000001", "123456").id, errors::InvalidLogin);
        QCOMPARE(b.engine->login("9999", "000001", "").id, errors::InvalidLogin);
    }
};

QTEST_APPLESS_MAIN(TestEngine)
#include "tst_engine.moc"
