// Trading sessions on the exchange clock: which markets are open, which trading day a time
// belongs to, and the front run on a moved clock.

#include "exchangeclock.h"
#include "frontclient.h"
#include "frontconfig.h"
#include "simprocess.h"
#include "tradingcalendar.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using nlohmann::json;
using simfront::ExchangeClock;
using simfront::FrontConfig;
using simfront::TradingCalendar;

namespace {

// 2026-12-07 is a Monday.
ExchangeClock::Time at(const char *date, int weekday, const char *hhmm)
{
    ExchangeClock::Time t;
    t.date = date;
    t.weekday = weekday;
    t.secondOfDay = std::atoi(hhmm) * 3600 + std::atoi(hhmm + 3) * 60;
    return t;
}

double upperLimit(AdminClient &admin, const std::string &instrument)
{
    for (const json &q : admin.get("/quotes")) {
        if (q.value("instrument", "") == instrument) {
            return q.value("upperLimit", 0.0);
        }
    }
    return 0;
}

std::vector<std::string> openIn(const json &status)
{
    return status.value("open", std::vector<std::string>{});
}

} // namespace

class TestTradingHours : public QObject
{
    Q_OBJECT

private slots:
    void sessionsAndTradingDays_data();
    void sessionsAndTradingDays();
    void badClocksAndSessionsAreRefused();
    void frontFollowsItsClock();
};

void TestTradingHours::sessionsAndTradingDays_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<int>("weekday");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("openInstruments");
    QTest::addColumn<QString>("tradingDay");

    QTest::newRow("monday morning") << "20261207" << 1 << "09:00"
                                    << "rb2705 sc2706 m2705 SR705"
                                    << "20261207";
    QTest::newRow("morning break, index futures trade on") << "20261207" << 1 << "10:20"
                                                           << "IF2706"
                                                           << "20261207";
    QTest::newRow("lunch") << "20261207" << 1 << "12:00"
                           << ""
                           << "20261207";
    QTest::newRow("close of the day session") << "20261207" << 1 << "15:00"
                                              << ""
                                              << "20261207";
    QTest::newRow("settlement moves the day") << "20261207" << 1 << "17:00"
                                              << ""
                                              << "20261208";
    QTest::newRow("night session") << "20261207" << 1 << "21:00"
                                   << "rb2705 sc2706 m2705 SR705"
                                   << "20261208";
    QTest::newRow("crude oil after midnight") << "20261208" << 2 << "01:00"
                                              << "sc2706"
                                              << "20261208";
    QTest::newRow("friday night belongs to monday") << "20261211" << 5 << "22:00"
                                                    << "rb2705 sc2706 m2705 SR705"
                                                    << "20261214";
    QTest::newRow("saturday small hours") << "20261212" << 6 << "02:00"
                                          << "sc2706"
                                          << "20261214";
    QTest::newRow("saturday") << "20261212" << 6 << "10:00"
                              << ""
                              << "20261214";
    QTest::newRow("sunday night") << "20261213" << 0 << "21:30"
                                  << ""
                                  << "20261214";
    QTest::newRow("monday small hours") << "20261214" << 1 << "01:00"
                                        << ""
                                        << "20261214";
}

void TestTradingHours::sessionsAndTradingDays()
{
    QFETCH(QString, date);
    QFETCH(int, weekday);
    QFETCH(QString, time);
    QFETCH(QString, openInstruments);
    QFETCH(QString, tradingDay);

    const FrontConfig config = FrontConfig::builtIn();
    const TradingCalendar exchange(TradingCalendar::Kind::Exchange, config.settlementTime);
    const TradingCalendar demo(TradingCalendar::Kind::Demo, config.settlementTime);
    const ExchangeClock::Time t =
        at(date.toLatin1().constData(), weekday, time.toLatin1().constData());

    QStringList open;
    for (const auto &spec : config.instruments) {
        QVERIFY(demo.isOpen(spec, t));
        if (exchange.isOpen(spec, t)) {
            open << QString::fromStdString(spec.id);
        }
    }
    QCOMPARE(open.join(' '), openInstruments);
    QCOMPARE(QString::fromStdString(exchange.tradingDayAt(t)), tradingDay);
    // The demo calendar never moves the day at the settlement time, only over a weekend.
    QCOMPARE(QString::fromStdString(demo.tradingDayAt(t)),
             weekday == 0 || weekday == 6 ? tradingDay : date);
}

void TestTradingHours::badClocksAndSessionsAreRefused()
{
    long long seconds = 0;
    std::string error;
    for (const char *bad : {"2026-12-07", "2026-12-07 25:00:00", "2026-02-30 10:00:00",
                            "2026-12-07T10:00:00", "2026-12-07 10:00:00x", ""}) {
        QVERIFY2(!ExchangeClock::parse(bad, seconds, error), bad);
    }
    QVERIFY(ExchangeClock::parse("2026-12-07 10:00:00", seconds, error));

    const std::string head = R"({"investors": [{"id": "1"}], "instruments": [{"id": "x",
        "exchangeId": "SHFE", "preSettlementPrice": 10, )";
    FrontConfig config;
    for (const char *tail :
         {R"("sessions": [["09:00"]]}]})", R"("sessions": [["09:00", "09:00"]]}]})",
          R"("sessions": [["9h", "10:00"]]}]})", R"("sessions": [["13:00", "18:00"]]}]})",
          R"("sessions": [["09:00", "10:00"]]}], "settlementTime": "9:30"})"}) {
        error.clear();
        QVERIFY2(!FrontConfig::parse(head + tail, config, error), tail);
        QVERIFY(!error.empty());
    }
    QVERIFY(FrontConfig::parse(head + R"("sessions": [["21:00", "02:30"]]}]})", config, error));
    QCOMPARE(config.instruments[0].sessions.size(), std::size_t(1));
}

void TestTradingHours::frontFollowsItsClock()
{
    QTemporaryDir dir;
    SimProcess process;
    // A fresh store started on a Sunday evening begins with Monday's trading day.
    QVERIFY2(process.start(VELMORA_SIMFRONT_EXE,
                           {"--td", "127.0.0.1:0", "--md", "127.0.0.1:0", "--admin", "127.0.0.1:0",
                            "--data", dir.filePath("books"), "--tick-ms", "20", "--calendar",
                            "exchange", "--clock", "2026-12-06 20:00:00"},
                           {"td", "md", "admin"}),
             qPrintable(process.errorString()));
    AdminClient admin(process.address("admin").toStdString());
    json status = admin.get("/status");
    QCOMPARE(status.value("tradingDay", ""), std::string("20261207"));
    QCOMPARE(status.value("calendar", ""), std::string("exchange"));
    QVERIFY(openIn(status).empty());

    // Monday's morning break: rb is closed, the index future trades.
    json moved = admin.post("/clock", {{"time", "2026-12-07 10:20:00"}});
    QCOMPARE(moved.value("tradingDay", ""), std::string("20261207"));
    QCOMPARE(openIn(moved), std::vector<std::string>{"IF2706"});
    QVERIFY(admin.get("/status").value("clock", "").rfind("2026-12-07 10:20:", 0) == 0);

    MdClient md(dir.filePath("md/").toStdString(), process.address("md").toStdString());
    QVERIFY(md.waitFor([](const MdState &s) { return s.connected > 0; }));
    QCOMPARE(md.login(1), 0);
    QVERIFY(md.waitFor([](const MdState &s) { return s.answersOf("UserLogin") == 1; }));
    QCOMPARE(md.subscribe({"rb2705", "IF2706"}), 0);
    // Many steps of the open market pass while the closed one keeps its snapshot.
    QVERIFY(md.waitFor([](const MdState &s) { return s.ticksOf("IF2706") >= 10; }));
    QCOMPARE(md.state().ticksOf("rb2705"), 1);

    QDir(dir.path()).mkpath("td");
    TraderClient trader(dir.filePath("td/").toStdString(), process.address("td").toStdString());
    QVERIFY(trader.ready());
    QCOMPARE(trader.order("rb2705", '0', '0', 1, upperLimit(admin, "rb2705"), 1), 0);
    // Refused by the exchange: a cancelled order report with its reason, no trade.
    QVERIFY(trader.waitFor([](const TraderState &s) {
        return !s.orders.empty() && s.orders.back().OrderStatus == '5';
    }));
    QCOMPARE(fromGb2312(trader.state().orders.back().StatusMsg),
             std::string("已撤单报单被拒绝SHFE:当前状态禁止此项操作"));
    QVERIFY(trader.state().trades.empty());

    // Past the settlement time the night session belongs to Tuesday; its quotes carry the
    // calendar day as ActionDay.
    moved = admin.post("/clock", {{"time", "2026-12-07 21:30:00"}});
    QCOMPARE(moved.value("tradingDay", ""), std::string("20261208"));
    QCOMPARE(openIn(moved), (std::vector<std::string>{"rb2705", "sc2706", "m2705", "SR705"}));
    QVERIFY(md.waitFor([](const MdState &s) {
        for (const auto &t : s.ticks) {
            if (std::string(t.InstrumentID) == "rb2705" &&
                std::string(t.TradingDay) == "20261208") {
                return true;
            }
        }
        return false;
    }));
    for (const auto &t : md.state().ticks) {
        if (std::string(t.TradingDay) == "20261208") {
            QCOMPARE(std::string(t.ActionDay), std::string("20261207"));
        }
    }
    // The new day wants its own confirmation; then the night session trades.
    trader.clear();
    CThostFtdcSettlementInfoConfirmField confirm{};
    std::strcpy(confirm.BrokerID, "9999");
    std::strcpy(confirm.InvestorID, "000001");
    QCOMPARE(trader.api()->ReqSettlementInfoConfirm(&confirm, 13), 0);
    QVERIFY(trader.waitFor(
        [](const TraderState &s) { return s.answersOf("SettlementInfoConfirm") == 1; }));
    QCOMPARE(trader.order("rb2705", '0', '0', 1, upperLimit(admin, "rb2705"), 2), 0);
    QVERIFY(trader.waitFor([](const TraderState &s) { return !s.trades.empty(); }));
    QCOMPARE(std::string(trader.state().trades.front().TradingDay), std::string("20261208"));

    // Friday evening: the books roll day by day to Monday.
    moved = admin.post("/clock", {{"time", "2026-12-11 21:30:00"}});
    QCOMPARE(moved.value("tradingDay", ""), std::string("20261214"));
    // A clock set back never moves the day back.
    moved = admin.post("/clock", {{"time", "2026-12-12 01:00:00"}});
    QCOMPARE(moved.value("tradingDay", ""), std::string("20261214"));
    QCOMPARE(openIn(moved), std::vector<std::string>{"sc2706"});

    QVERIFY(admin.post("/clock", {{"time", "tomorrow"}}).is_null());
    QCOMPARE(admin.lastStatus(), 400);
}

QTEST_GUILESS_MAIN(TestTradingHours)
#include "tst_tradinghours.moc"
