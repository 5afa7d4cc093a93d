// Trading sessions on the exchange clock: which markets are open, which trading day a time
// belongs to, and the front run on a moved clock.

#include "exchangeclock.h"
#include "frontclient.h"
#include "frontconfig.h"
#include "simprocess.h"
#include "tradingcalendar.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
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
    void aDayThroughTheCloseIntoTheNight();
};

void TestTradingHours::sessionsAndTradingDays_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<int>("weekday");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("openInstruments");
    QTest::addColumn<QString>("tradingDay");
    QTest::addColumn<bool>("serving");

    QTest::newRow("before the fronts open") << "20261207" << 1 << "08:00"
                                            << ""
                                            << "20261207" << false;
    QTest::newRow("fronts open before the market") << "20261207" << 1 << "08:45"
                                                   << ""
                                                   << "20261207" << true;
    QTest::newRow("monday morning") << "20261207" << 1 << "09:00"
                                    << "rb2705 sc2706 m2705 SR705"
                                    << "20261207" << true;
    QTest::newRow("morning break, index futures trade on") << "20261207" << 1 << "10:20"
                                                           << "IF2706"
                                                           << "20261207" << true;
    QTest::newRow("lunch") << "20261207" << 1 << "12:00"
                           << ""
                           << "20261207" << true;
    QTest::newRow("close of the day session") << "20261207" << 1 << "15:00"
                                              << ""
                                              << "20261207" << true;
    QTest::newRow("the fronts close") << "20261207" << 1 << "15:30"
                                      << ""
                                      << "20261207" << false;
    QTest::newRow("settlement moves the day") << "20261207" << 1 << "17:00"
                                              << ""
                                              << "20261208" << false;
    QTest::newRow("the fronts open for the night") << "20261207" << 1 << "20:30"
                                                   << ""
                                                   << "20261208" << true;
    QTest::newRow("night session") << "20261207" << 1 << "21:00"
                                   << "rb2705 sc2706 m2705 SR705"
                                   << "20261208" << true;
    QTest::newRow("crude oil after midnight") << "20261208" << 2 << "01:00"
                                              << "sc2706"
                                              << "20261208" << true;
    QTest::newRow("the night window ends") << "20261208" << 2 << "02:45"
                                           << ""
                                           << "20261208" << false;
    QTest::newRow("friday night belongs to monday") << "20261211" << 5 << "22:00"
                                                    << "rb2705 sc2706 m2705 SR705"
                                                    << "20261214" << true;
    QTest::newRow("saturday small hours") << "20261212" << 6 << "02:00"
                                          << "sc2706"
                                          << "20261214" << true;
    QTest::newRow("saturday") << "20261212" << 6 << "10:00"
                              << ""
                              << "20261214" << false;
    QTest::newRow("sunday night") << "20261213" << 0 << "21:30"
                                  << ""
                                  << "20261214" << false;
    QTest::newRow("monday small hours") << "20261214" << 1 << "01:00"
                                        << ""
                                        << "20261214" << false;
}

void TestTradingHours::sessionsAndTradingDays()
{
    QFETCH(QString, date);
    QFETCH(int, weekday);
    QFETCH(QString, time);
    QFETCH(QString, openInstruments);
    QFETCH(QString, tradingDay);
    QFETCH(bool, serving);

    const FrontConfig config = FrontConfig::builtIn();
    const TradingCalendar exchange(TradingCalendar::Kind::Exchange, config.settlementTime,
                                   config.serviceHours);
    const TradingCalendar demo(TradingCalendar::Kind::Demo, config.settlementTime,
                               config.serviceHours);
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
    // A serving window is named by its trading day, so a night is one window across midnight.
    const std::string window = exchange.serviceWindowAt(t);
    QCOMPARE(!window.empty(), serving);
    if (serving) {
        QCOMPARE(QString::fromStdString(window.substr(0, 8)), tradingDay);
    }
    QVERIFY(!demo.serviceWindowAt(t).empty());
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
          R"("sessions": [["09:00", "10:00"]]}], "settlementTime": "9:30"})",
          R"("sessions": []}], "serviceHours": [["08:30", "18:00"]]})",
          R"("sessions": []}], "serviceHours": []})", R"("sessions": []}], "apps": [{}]})",
          R"("sessions": []}], "loginFailureLimit": 0})"}) {
        error.clear();
        QVERIFY2(!FrontConfig::parse(head + tail, config, error), tail);
        QVERIFY(!error.empty());
    }
    QVERIFY(FrontConfig::parse(head + R"("sessions": [["21:00", "02:30"]]}]})", config, error));
    QCOMPARE(config.instruments[0].sessions.size(), std::size_t(1));
}

void TestTradingHours::aDayThroughTheCloseIntoTheNight()
{
    QTemporaryDir dir;
    SimProcess process;
    QVERIFY2(process.start(VELMORA_SIMFRONT_EXE,
                           {"--td", "127.0.0.1:0", "--md", "127.0.0.1:0", "--admin", "127.0.0.1:0",
                            "--data", dir.filePath("books"), "--tick-ms", "20", "--calendar",
                            "exchange", "--clock", "2026-12-07 14:50:00"},
                           {"td", "md", "admin"}),
             qPrintable(process.errorString()));
    AdminClient admin(process.address("admin").toStdString());
    json status = admin.get("/status");
    QCOMPARE(status.value("tradingDay", ""), std::string("20261207"));
    QCOMPARE(status.value("calendar", ""), std::string("exchange"));
    QVERIFY(status.value("serving", false));

    QDir(dir.path()).mkpath("td");
    QDir(dir.path()).mkpath("md");
    MdClient md(dir.filePath("md/").toStdString(), process.address("md").toStdString());
    QVERIFY(md.waitFor([](const MdState &s) { return s.connected == 1; }));
    TraderClient trader(dir.filePath("td/").toStdString(), process.address("td").toStdString());
    QVERIFY(trader.ready());
    QCOMPARE(std::string(trader.state().logins.back().TradingDay), std::string("20261207"));
    QCOMPARE(trader.order("rb2705", '0', '0', 1, upperLimit(admin, "rb2705"), 1), 0);
    QVERIFY(trader.waitFor([](const TraderState &s) { return s.trades.size() == 1; }));

    // At the close every session is dropped. A closed front still accepts, but drops each
    // connection before its welcome: the library reports 4097 about once a second and never
    // reports a connection.
    json moved = admin.post("/clock", {{"time", "2026-12-07 15:30:00"}});
    QVERIFY(!moved.value("serving", true));
    QVERIFY(md.waitFor([](const MdState &s) { return !s.disconnects.empty(); }));
    QVERIFY(trader.waitFor([](const TraderState &s) { return s.disconnects.size() >= 3; }));
    for (int reason : trader.state().disconnects) {
        QCOMPARE(reason, 0x1001);
    }
    QCOMPARE(trader.state().connected, 1);
    QCOMPARE(md.state().connected, 1);

    // The day rolls while the fronts are closed, and the night window serves the new day.
    moved = admin.post("/clock", {{"time", "2026-12-07 17:00:00"}});
    QCOMPARE(moved.value("tradingDay", ""), std::string("20261208"));
    moved = admin.post("/clock", {{"time", "2026-12-07 20:30:00"}});
    QVERIFY(moved.value("serving", false));
    QVERIFY(trader.waitFor([](const TraderState &s) { return s.connected == 2; }));
    const std::size_t drops = trader.state().disconnects.size();
    trader.clear();
    QCOMPARE(trader.login("000001", "123456", 11), 0);
    QVERIFY(trader.waitFor([](const TraderState &s) { return !s.logins.empty(); }));
    QCOMPARE(std::string(trader.state().logins.back().TradingDay), std::string("20261208"));
    // The new day's orders wait for its statement to be confirmed.
    QCOMPARE(trader.order("rb2705", '0', '0', 1, upperLimit(admin, "rb2705"), 2), 0);
    QVERIFY(trader.waitFor([](const TraderState &s) { return !s.insertErrors.empty(); }));
    QCOMPARE(trader.state().insertErrors.front().errorId, 42);
    CThostFtdcSettlementInfoConfirmField confirm{};
    std::strcpy(confirm.BrokerID, "9999");
    std::strcpy(confirm.InvestorID, "000001");
    QCOMPARE(trader.api()->ReqSettlementInfoConfirm(&confirm, 13), 0);
    QVERIFY(trader.waitFor(
        [](const TraderState &s) { return s.answersOf("SettlementInfoConfirm") == 1; }));

    // The night session opens at 21:00 inside the same window: nothing is dropped, the order
    // trades on Tuesday's day, and the quotes carry the calendar day as ActionDay.
    moved = admin.post("/clock", {{"time", "2026-12-07 21:00:00"}});
    QCOMPARE(openIn(moved), (std::vector<std::string>{"rb2705", "sc2706", "m2705", "SR705"}));
    QCOMPARE(trader.order("rb2705", '0', '0', 1, upperLimit(admin, "rb2705"), 3), 0);
    QVERIFY(trader.waitFor([](const TraderState &s) { return !s.trades.empty(); }));
    QCOMPARE(std::string(trader.state().trades.front().TradingDay), std::string("20261208"));
    QCOMPARE(trader.state().disconnects.size(), drops);
    QVERIFY(md.waitFor([](const MdState &s) { return s.connected == 2; }));
    QCOMPARE(md.login(1), 0);
    QCOMPARE(md.subscribe({"rb2705"}), 0);
    QVERIFY(md.waitFor([](const MdState &s) {
        return std::any_of(s.ticks.begin(), s.ticks.end(), [](const auto &t) {
            return std::string(t.TradingDay) == "20261208" &&
                   std::string(t.ActionDay) == "20261207";
        });
    }));

    // Friday evening: the books roll day by day to Monday; a clock set back never moves the
    // day back.
    moved = admin.post("/clock", {{"time", "2026-12-11 21:30:00"}});
    QCOMPARE(moved.value("tradingDay", ""), std::string("20261214"));
    QVERIFY(trader.waitFor([&](const TraderState &s) { return s.disconnects.size() > drops; }));
    moved = admin.post("/clock", {{"time", "2026-12-12 01:00:00"}});
    QCOMPARE(moved.value("tradingDay", ""), std::string("20261214"));
    QCOMPARE(openIn(moved), std::vector<std::string>{"sc2706"});

    QVERIFY(admin.post("/clock", {{"time", "tomorrow"}}).is_null());
    QCOMPARE(admin.lastStatus(), 400);
}

QTEST_GUILESS_MAIN(TestTradingHours)
#include "tst_tradinghours.moc"
