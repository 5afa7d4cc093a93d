// The order commands and the order and trade events against the simulated front and the
// simulated platform, both started as processes: sizing, refusals, the today/yesterday split
// close and its pause, cancelled and refused orders, fills in several trades, their reports, and
// a fill replayed after a reconnection.

#include "globalvars.h"
#include "mdservice.h"
#include "platformsim.h"
#include "servicefront.h"
#include "sessionstore.h"
#include "signalanalyze.h"
#include "signalapi.h"
#include "signalobject.h"
#include "simprocess.h"
#include "tradeservice.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>
#include <utility>
#include <vector>

namespace {

const int kWaitMs = 20000;

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

void useTradingAccount(const char *instrument)
{
    GlobalVars::brokerID = QStringLiteral("9999");
    GlobalVars::investerID = QStringLiteral("000001");
    GlobalVars::investerPassword = QStringLiteral("123456");
    GlobalVars::instrument = QString::fromLatin1(instrument);
}

// Funds that size an opening order at the best price to exactly this many lots.
void fundsFor(int lots, double bestPrice)
{
    GlobalVars::leverage = 1;
    GlobalVars::profit = 1.0;
    GlobalVars::currMargin = 0.0;
    GlobalVars::available = (lots + 0.5) * GlobalVars::volumeMultiple * bestPrice;
}

} // namespace

class Windows : public QObject
{
    Q_OBJECT

public:
    QStringList lines;
    int logins = 0;
    int strategyCalls = 0;

    QStringList linesStarting(const QString &tag) const
    {
        QStringList found;
        for (const QString &line : lines) {
            if (line.startsWith(tag)) {
                found << line;
            }
        }
        return found;
    }

public slots:
    void setConnectionState(bool) {}
    void setLoginState(bool) { ++logins; }
    void setStrategyState(bool) { ++strategyCalls; }
    void setTableInstrument() {}
    void setTablePosition() {}
    void setTableAccount() {}
    void append(QString line) { lines << line; }
    void closeWindow() {}
    void appendMessageText(bool, int, QString) {}
};

class TestOrders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensAreSizedFilledAndReported();
    void closeSplitsTodayAndYesterdayWithAPause_data();
    void closeSplitsTodayAndYesterdayWithAPause();
    void refusalsAndAPlainCloseElsewhere();
    void signalOrderReleasedWhileItsFillIsReported();
    void anOvernightOutageAndARefusedRelogin();

private:
    bool startFront(const QStringList &extra = {});
    bool connectAndLogIn();
    // The demo user on a started platform, and the trading account on rb2705 on a started front.
    bool logInToBoth(PlatformSim &sim);
    QJsonValue adminGet(const std::string &path);
    bool adminPost(const std::string &path, const QJsonObject &body);
    // Quotes stand still at this depth, and the market data has taken it in.
    using Levels = std::vector<std::pair<double, int>>;
    bool setDepth(const char *instrument, const Levels &bids, const Levels &asks);
    QStringList tradeLines(int from);
    QJsonArray frontList(const char *path);

    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<SimProcess> front;
    MdService md;
    // Fresh for each test: a new front numbers its trades from 1 again, and the service
    // remembers the fills it has seen for its whole life.
    std::unique_ptr<TradeService> trading;
    TradeService &service() { return *trading; }
    SignalApi platform;
    Windows windows;
};

void TestOrders::initTestCase()
{
    qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("gb2312"));
    GlobalVars::mdService = &md;
    GlobalVars::signalApi = &platform;
    SignalObject::setMainWindow(&windows);
}

void TestOrders::init()
{
    // A new front numbers its trades from 1 again; the last test's store would know them.
    GlobalVars::resetSession();
    SessionStore::setCurrent(nullptr);
    trading = std::make_unique<TradeService>();
    GlobalVars::tradeService = trading.get();
    service().setWindows(&windows, &windows);
    // Long enough for a query's answer to arrive before the next query of a second fill.
    service().chainDelayMs = 200;
    // Some of these tests run with no platform at all; their reports are not what they check.
    platform.reportRetry.maxAttempts = 1;
    windows.lines.clear();
    data = std::make_unique<QTemporaryDir>();
    front = std::make_unique<SimProcess>();
}

void TestOrders::cleanup()
{
    service().release();
    GlobalVars::tradeService = nullptr;
    trading.reset();
    QVERIFY(platform.waitForReports(15000));
    front.reset();
    data.reset();
}

bool TestOrders::startFront(const QStringList &extra)
{
    return startServiceFront(*front, data->path(), extra);
}

bool TestOrders::connectAndLogIn()
{
    const int before = windows.strategyCalls;
    return service().init() == 0 &&
           QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs) &&
           service().reqUserLogin(11) == 0 &&
           QTest::qWaitFor([&] { return windows.strategyCalls == before + 1; }, kWaitMs) &&
           QTest::qWaitFor([] { return GlobalVars::mdLoginState == 0; }, kWaitMs);
}

bool TestOrders::logInToBoth(PlatformSim &sim)
{
    if (!sim.start()) {
        return false;
    }
    PlatformSim::useDemoUser();
    if (!platform.login()) {
        return false;
    }
    useTradingAccount("rb2705");
    return startFront() && connectAndLogIn();
}

QJsonValue TestOrders::adminGet(const std::string &path)
{
    const QUrl url(front->address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = client.Get(path.c_str());
    if (!result || result->status != 200) {
        return QJsonValue();
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(result->body));
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

bool TestOrders::adminPost(const std::string &path, const QJsonObject &body)
{
    const QUrl url(front->address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result =
        client.Post(path.c_str(), QJsonDocument(body).toJson().toStdString(), "application/json");
    return result && result->status == 200;
}

QJsonArray TestOrders::frontList(const char *path)
{
    return adminGet(path).toArray();
}

bool TestOrders::setDepth(const char *instrument, const Levels &bids, const Levels &asks)
{
    const auto side = [](const Levels &levels) {
        QJsonArray array;
        for (const auto &level : levels) {
            array.append(QJsonArray{level.first, level.second});
        }
        return array;
    };
    if (!adminPost("/quotes/pause", {}) ||
        !adminPost("/quote",
                   {{"instrument", instrument}, {"bids", side(bids)}, {"asks", side(asks)}})) {
        return false;
    }
    const double bid = bids.empty() ? 0.0 : bids.front().first;
    const double ask = asks.empty() ? 0.0 : asks.front().first;
    const bool taken = QTest::qWaitFor(
        [&] {
            return GlobalVars::bidPrice1 == bid && GlobalVars::askPrice1 == ask &&
                   GlobalVars::upperLimitPrice > 0;
        },
        kWaitMs);
    if (!taken) {
        qWarning() << "market data" << GlobalVars::bidPrice1 << GlobalVars::askPrice1
                   << GlobalVars::upperLimitPrice;
    }
    return taken;
}

// The lines the front's trades from the index on should have produced.
QStringList TestOrders::tradeLines(int from)
{
    QStringList expected;
    const QJsonArray trades = frontList("/trades");
    for (int i = from; i < trades.size(); ++i) {
        const QJsonObject t = trades[i].toObject();
        expected << u("[成交通知] [%1] [%2] 价格：%3，数量：%4，成交时间：%5 %6")
                        .arg(t["direction"].toString() == "0" ? u("买入") : u("卖出"))
                        .arg(t["offsetFlag"].toString() == "0" ? u("开仓") : u("平仓"))
                        .arg(t["price"].toDouble(), 0, 'f', 2)
                        .arg(t["volume"].toInt())
                        .arg(t["tradeDate"].toString(), t["tradeTime"].toString());
    }
    return expected;
}

void TestOrders::opensAreSizedFilledAndReported()
{
    PlatformSim sim;
    QVERIFY(logInToBoth(sim));
    // Two thin levels: the two lots take one from each, in two trades.
    QVERIFY(setDepth("rb2705", {{3499, 1}, {3498, 5}}, {{3500, 1}, {3501, 1}, {3502, 1}}));
    const qint64 since = sim.reports().size();
    const QUrl adminUrl(front->address("admin"));
    httplib::Client(adminUrl.host().toStdString(), adminUrl.port()).Delete("/requests");
    windows.lines.clear();

    // 2 x (20000 + 80000) x 0.5 / (10 x 3500) = 2.86: two lots, one tick under the upper limit.
    GlobalVars::leverage = 2;
    GlobalVars::currMargin = 20000.0;
    GlobalVars::available = 80000.0;
    GlobalVars::profit = 0.5;
    QCOMPARE(GlobalVars::volumeMultiple.load(), 10);
    const double upper = GlobalVars::upperLimitPrice;
    QCOMPARE(service().openLong("S-1"), 0);
    const QString firstKey = QStringLiteral("%1%2%3")
                                 .arg(GlobalVars::frontID.load())
                                 .arg(GlobalVars::sessionID.load())
                                 .arg(GlobalVars::maxOrderRef.load());
    QVERIFY(QTest::qWaitFor(
        [&] {
            return windows.linesStarting(u("[成交通知]")).size() == 2 &&
                   GlobalVars::pendingRequest == 0;
        },
        kWaitMs));
    QCOMPARE(windows.lines, tradeLines(0));
    QCOMPARE(GlobalVars::longPosition.load(), 2);
    const QJsonObject order = frontList("/orders").last().toObject();
    QCOMPARE(order["volume"].toInt(), 2);
    QCOMPARE(order["limitPrice"].toDouble(), upper - 1);
    // The quiet refresh after each fill, under the order's number.
    QStringList requests;
    for (const QJsonValue &r : frontList("/requests?front=td")) {
        requests << u("%1:%2").arg(r["type"].toString()).arg(r["requestId"].toInt());
    }
    QCOMPARE(requests.first(), u("ReqOrderInsert:21"));
    QCOMPARE(requests.last(), u("ReqQryTradingAccount:21"));
    QVERIFY(requests.contains(u("ReqQryInvestorPosition:21")));

    // A real account's capital is capped: 2 x 50000 x 0.5 / 35000 = 1.43, one lot.
    GlobalVars::accountType = QStringLiteral("real");
    GlobalVars::maxCapital = 50000.0;
    GlobalVars::currMargin = 20000.0;
    GlobalVars::available = 80000.0;
    const double lower = GlobalVars::lowerLimitPrice;
    QCOMPARE(service().openShort("S-2"), 0);
    const QString secondKey = QStringLiteral("%1%2%3")
                                  .arg(GlobalVars::frontID.load())
                                  .arg(GlobalVars::sessionID.load())
                                  .arg(GlobalVars::maxOrderRef.load());
    QVERIFY(QTest::qWaitFor(
        [&] {
            return windows.linesStarting(u("[成交通知]")).size() == 3 &&
                   GlobalVars::pendingRequest == 0;
        },
        kWaitMs));
    QCOMPARE(GlobalVars::shortPosition.load(), 1);

    // Dropped while a refresh is under way: the replayed day must not count its fills again.
    // The cancelled order after the login comes on the same stream, behind the replay.
    const int tradesBefore = windows.linesStarting(u("[成交通知]")).size();
    const int repeatsBefore = service().repeatedFills();
    const int loginsBefore = windows.logins;
    GlobalVars::pendingRequest = 21;
    QVERIFY(adminPost("/drop", {{"refuseSeconds", 1}}));
    QVERIFY(QTest::qWaitFor(
        [&] { return windows.logins > loginsBefore && GlobalVars::tradeLoginState == 0; }, 30000));
    QVERIFY(setDepth("rb2705", {}, {{3600, 1}}));
    QCOMPARE(service().closeLong("S-3"), 0);
    const QString cancelled = u("[报单状态] 已撤单，限价：%1，未成交，已撤单！").arg(lower + 1);
    QVERIFY(QTest::qWaitFor([&] { return windows.lines.contains(cancelled); }, kWaitMs));
    QCOMPARE(windows.linesStarting(u("[成交通知]")).size(), tradesBefore);
    // The replay did arrive: the day's fills came again and were held back.
    QVERIFY(service().repeatedFills() > repeatsBefore);
    QCOMPARE(windows.lines.count(cancelled), 1);
    QCOMPARE(GlobalVars::pendingRequest.load(), 0);

    QVERIFY(platform.waitForReports(15000));
    const QJsonArray stored = sim.reports();
    QCOMPARE(stored.size() - since, 6);
    const auto path = [&](int i) { return stored[since + i].toObject()["path"].toString(); };
    const auto body = [&](int i) { return stored[since + i].toObject()["report"].toObject(); };
    const QString token = GlobalVars::token;
    QCOMPARE(body(0), (QJsonObject{{"token", token},
                                   {"username", "demo"},
                                   {"instrument", "rb2705"},
                                   {"brokerID", "9999"},
                                   {"signalID", "S-1"},
                                   {"direction", u("多头 开仓")},
                                   {"submitVolume", 2},
                                   {"price", upper - 1},
                                   {"available", 80000.0},
                                   {"leverage", 2},
                                   {"profit", 0.5},
                                   {"volumeMultiple", 10},
                                   {"type", u("自动")},
                                   {"orderID", firstKey}}));
    QCOMPARE(path(0), u("/api/tradeSimulation"));
    for (int i : {1, 2}) {
        QCOMPARE(path(i), u("/api/tradeSimulationSuccess"));
        QCOMPARE(body(i)["orderID"].toString(), firstKey);
        QCOMPARE(body(i)["volume"].toInt(), 1);
        QCOMPARE(body(i)["price"].toDouble(), 3499.0 + i);
    }
    QCOMPARE(path(3), u("/api/tradeReal"));
    QCOMPARE(body(3)["direction"].toString(), u("空头 开仓"));
    QCOMPARE(body(3)["submitVolume"].toInt(), 1);
    QCOMPARE(body(3)["price"].toDouble(), lower + 1);
    QCOMPARE(path(4), u("/api/tradeRealSuccess"));
    QCOMPARE(body(4)["orderID"].toString(), secondKey);
    QCOMPARE(body(4)["price"].toDouble(), 3499.0);
    QCOMPARE(path(5), u("/api/tradeReal"));
    QCOMPARE(body(5)["direction"].toString(), u("空头 平今"));
    QCOMPARE(body(5)["signalID"].toString(), u("S-3"));
}

void TestOrders::closeSplitsTodayAndYesterdayWithAPause_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("exchange");
    QTest::addColumn<double>("bid");
    QTest::addColumn<double>("ask");
    QTest::newRow("SHFE") << "rb2705"
                          << "shfe" << 3499.0 << 3500.0;
    QTest::newRow("INE") << "sc2706"
                         << "ine" << 559.9 << 560.0;
}

void TestOrders::closeSplitsTodayAndYesterdayWithAPause()
{
    QFETCH(QString, instrument);
    QFETCH(QString, exchange);
    QFETCH(double, bid);
    QFETCH(double, ask);
    useTradingAccount(instrument.toLatin1().constData());
    QVERIFY(startFront());
    QVERIFY(connectAndLogIn());
    QVERIFY(setDepth(instrument.toLatin1().constData(), {{bid, 20}}, {{ask, 20}}));
    fundsFor(3, ask);
    QCOMPARE(service().openLong("0"), 0);
    QVERIFY2(QTest::qWaitFor(
                 [] { return GlobalVars::pendingRequest == 0 && GlobalVars::longPosition == 3; },
                 kWaitMs),
             qPrintable(windows.lines.join('|')));
    windows.lines.clear();

    // As if one lot were today's and two yesterday's; the front holds three of today, so it
    // refuses the close-yesterday part, which shows the part's side and offset.
    GlobalVars::longTodayPosition = 1;
    GlobalVars::exchangeID = exchange;
    service().chainDelayMs = 1100;
    const QUrl adminUrl(front->address("admin"));
    httplib::Client(adminUrl.host().toStdString(), adminUrl.port()).Delete("/requests");
    QCOMPARE(service().closeLong("0"), 0);
    QVERIFY(QTest::qWaitFor([&] { return windows.linesStarting(u("[报单失败]")).size() == 1; },
                            kWaitMs));
    const QJsonArray sent = frontList("/requests?type=ReqOrderInsert");
    QCOMPARE(sent.size(), 2);
    const qint64 apart = static_cast<qint64>(sent[1]["micros"].toDouble()) -
                         static_cast<qint64>(sent[0]["micros"].toDouble());
    QVERIFY2(apart >= 1100 * 1000 - 1000, qPrintable(QString::number(apart)));
    const QJsonObject today = frontList("/orders").last().toObject();
    QCOMPARE(today["offsetFlag"].toString(), u("3"));
    QCOMPARE(today["volume"].toInt(), 1);
    QCOMPARE(today["direction"].toString(), u("1"));
    QVERIFY(windows.lines.contains(u("[报单失败] 卖出 平昨，该错误通常由交易所返回。")));
    QVERIFY(windows.lines.contains(u("[报单录入错误] 返回码：51，返回信息：CTP:平昨仓位不足")));

    // One part when the position is all of today or all of yesterday: no second order follows.
    QVERIFY(QTest::qWaitFor(
        [] { return GlobalVars::pendingRequest == 0 && GlobalVars::longTodayPosition == 2; },
        kWaitMs));
    const int refusals = windows.linesStarting(u("[报单录入错误]")).size();
    for (const bool allToday : {true, false}) {
        GlobalVars::longPosition = allToday ? 2 : 1;
        GlobalVars::longTodayPosition = allToday ? 2 : 0;
        const int before = frontList("/requests?type=ReqOrderInsert").size();
        QCOMPARE(service().closeLong("0"), 0);
        QVERIFY(QTest::qWaitFor(
            [&] {
                return allToday ? GlobalVars::longPosition == 0
                                : windows.linesStarting(u("[报单录入错误]")).size() > refusals;
            },
            kWaitMs));
        QTest::qWait(2 * service().chainDelayMs);
        QCOMPARE(frontList("/requests?type=ReqOrderInsert").size(), before + 1);
    }
    const QJsonObject allToday = frontList("/orders").last().toObject();
    QCOMPARE(allToday["offsetFlag"].toString(), u("3"));
    QCOMPARE(allToday["volume"].toInt(), 2);
}

// A published signal becomes an order through the analysis. A release while its fill is being
// reported neither waits for the platform nor lets the refresh after the fill go out, and the
// report still arrives.
void TestOrders::signalOrderReleasedWhileItsFillIsReported()
{
    PlatformSim sim;
    QVERIFY(logInToBoth(sim));
    QVERIFY(setDepth("rb2705", {{3499, 20}}, {{3500, 20}}));
    fundsFor(1, 3500);
    const int holdMs = 5000;
    service().chainDelayMs = holdMs;
    QVERIFY(sim.fault({{"path", "/api/tradeSimulationSuccess"}, {"delayMs", holdMs}}));
    QVERIFY(sim.publishSignal({{"username", "demo"},
                               {"accountType", "simulation"},
                               {"direction", "buy"},
                               {"openOrClose", "open"},
                               {"id", "S-77"}}));
    const qint64 since = sim.reports().size();

    GlobalVars::strategyState = 0;
    GlobalVars::signalAnalyze->analyze();
    QVERIFY(QTest::qWaitFor([&] { return !windows.linesStarting(u("[成交通知]")).isEmpty(); },
                            kWaitMs));
    QElapsedTimer released;
    released.start();
    service().release();
    QVERIFY2(released.elapsed() < holdMs, qPrintable(QString::number(released.elapsed())));
    const QJsonArray sent = frontList("/requests?front=td");
    QCOMPARE(sent.last()["type"].toString(), u("ReqOrderInsert"));
    QTest::qWait(1000);
    QCOMPARE(frontList("/requests?front=td").size(), sent.size());

    QVERIFY(platform.waitForReports(3 * holdMs));
    const QJsonArray stored = sim.reports();
    QCOMPARE(stored.size() - since, 2);
    QCOMPARE(stored[since].toObject()["report"].toObject()["signalID"].toString(), u("S-77"));
    QCOMPARE(stored[since + 1].toObject()["path"].toString(), u("/api/tradeSimulationSuccess"));
}

void TestOrders::refusalsAndAPlainCloseElsewhere()
{
    useTradingAccount("m2705");
    // Not connected: a close with a position in the cache reaches the connection check.
    GlobalVars::longPosition = 1;
    QCOMPARE(service().closeLong("0"), -1);
    QCOMPARE(windows.lines, QStringList{u("[多头平仓] 请求失败：[-1] 网络连接失败")});
    QCOMPARE(GlobalVars::maxOrderRef.load(), 0);
    GlobalVars::longPosition = 0;
    QVERIFY(startFront());
    QVERIFY(connectAndLogIn());
    QCOMPARE(static_cast<QString>(GlobalVars::exchangeID), u("DCE"));
    QVERIFY(setDepth("m2705", {{3000, 20}}, {{3001, 20}}));
    windows.lines.clear();

    QCOMPARE(service().closeLong("0"), -5);
    QCOMPARE(service().closeShort("S-9"), -5); // a signal's refusal is only returned
    fundsFor(0, 3001);
    QCOMPARE(service().openShort("0"), -6);
    fundsFor(1, 3001);
    QCOMPARE(service().openLong("0"), 0);
    QVERIFY(QTest::qWaitFor(
        [] { return GlobalVars::pendingRequest == 0 && GlobalVars::longPosition == 1; }, kWaitMs));
    QCOMPARE(service().openLong("0"), -4);

    // The broker's refusal comes through both callbacks, each with its own line.
    QVERIFY(adminPost(
        "/fault",
        {{"request", "ReqOrderInsert"}, {"errorId", 31}, {"errorMsg", u("CTP:资金不足")}}));
    fundsFor(1, 3000);
    QCOMPARE(service().openShort("0"), 0);
    // The exchange refuses a price off the tick grid with a cancelled report alone.
    GlobalVars::priceTick = 0.5;
    const double offGrid = GlobalVars::lowerLimitPrice + 0.5;
    QCOMPARE(service().openShort("0"), 0);
    QVERIFY(QTest::qWaitFor([&] { return windows.linesStarting(u("[报单状态]")).size() == 1; },
                            kWaitMs));
    const QString reason = frontList("/orders").last()["statusMsg"].toString();
    GlobalVars::priceTick = 1.0;

    const int tradesSoFar = frontList("/trades").size();
    QCOMPARE(service().closeLong("0"), 0);
    QVERIFY(QTest::qWaitFor(
        [] { return GlobalVars::pendingRequest == 0 && GlobalVars::longPosition == 0; }, kWaitMs));
    const QJsonObject close = frontList("/orders").last().toObject();
    QCOMPARE(close["offsetFlag"].toString(), u("1"));
    QCOMPARE(close["volume"].toInt(), 1);

    const QStringList opened = tradeLines(0).mid(0, 1);
    const QStringList closed = tradeLines(tradesSoFar);
    QCOMPARE(
        windows.lines,
        QStringList({u("[多头平仓] 请求失败：[-5] 当前没有持仓，不能进行平仓操作"),
                     u("[空头开仓] 请求失败：[-6] 程序未初始化，或当前非交易时段"), opened.value(0),
                     u("[多头开仓] 请求失败：[-4] 当前已有持仓，不能进行开仓操作"),
                     u("[报单录入错误] 返回码：31，返回信息：CTP:资金不足"),
                     u("[报单失败] 卖出 开仓，该错误通常由交易所返回。"),
                     // The exchange's refusal says itself that the order is cancelled.
                     u("[报单状态] %1，限价：%2").arg(reason).arg(offGrid), closed.value(0)}));
}

void TestOrders::anOvernightOutageAndARefusedRelogin()
{
    PlatformSim sim;
    QVERIFY(sim.start());
    PlatformSim::useDemoUser();
    QVERIFY(platform.login());
    useTradingAccount("rb2705");
    // A Tuesday afternoon on a broker's hours: a lot bought before the close, the fronts close
    // at 15:30, the day rolls at 17:00 and the night window opens at 20:30 with Wednesday's
    // trading day, where that lot is yesterday's.
    QVERIFY(startFront({"--calendar", "exchange", "--clock", "2026-12-08 14:50:00"}));
    QVERIFY(connectAndLogIn());
    QVERIFY(setDepth("rb2705", {{3499, 20}}, {{3500, 20}}));
    fundsFor(1, 3500);
    QCOMPARE(service().openLong("0"), 0);
    QVERIFY(QTest::qWaitFor(
        [] { return GlobalVars::longTodayPosition == 1 && GlobalVars::pendingRequest == 0; },
        kWaitMs));
    for (const char *time : {"2026-12-08 15:20:00", "2026-12-08 15:30:00", "2026-12-08 17:00:00"}) {
        QVERIFY(adminPost("/clock", {{"time", time}}));
    }
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 3; }, kWaitMs));
    QVERIFY(adminPost("/clock", {{"time", "2026-12-08 20:30:00"}}));
    // Back on the new day: its statement is confirmed quietly before any order of that day.
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QJsonArray confirms = frontList("/requests?type=ReqSettlementInfoConfirm");
            return !confirms.isEmpty() && confirms.last()["requestId"].toInt() == 13;
        },
        kWaitMs));
    QCOMPARE(GlobalVars::longTodayPosition.load(), 0);
    QCOMPARE(GlobalVars::longYdPosition.load(), 1);
    QVERIFY(adminPost("/clock", {{"time", "2026-12-08 21:01:00"}}));
    QVERIFY(setDepth("rb2705", {{3499, 20}}, {{3500, 20}}));
    GlobalVars::strategyState = 0;
    QVERIFY(sim.publishSignal({{"username", "demo"},
                               {"accountType", "simulation"},
                               {"direction", "sell"},
                               {"openOrClose", "close"},
                               {"id", "S-night"}}));
    GlobalVars::signalAnalyze->analyze();
    QVERIFY2(QTest::qWaitFor(
                 [] { return GlobalVars::longPosition == 0 && GlobalVars::pendingRequest == 0; },
                 kWaitMs),
             qPrintable(windows.lines.join('|')));
    QCOMPARE(frontList("/trades").last()["tradingDay"].toString(), u("20261209"));
    QCOMPARE(frontList("/orders").last()["offsetFlag"].toString(), u("4"));

    // A re-login the broker refuses for the password: the account is not logged in, sends no
    // order, and is not logged in again by itself, which would only lock it.
    QVERIFY(adminPost("/fault", {{"request", "ReqUserLogin"}, {"errorId", 3}}));
    const int loginsBefore = frontList("/requests?type=ReqUserLogin&front=td").size();
    QVERIFY(adminPost("/drop", {}));
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeLoginState == 3; }, kWaitMs));
    const QString refused =
        u("[交易账户登录] 重新登录被拒绝，交易账户未登录；请核对密码后重新登录交易账户");
    QVERIFY(QTest::qWaitFor([&] { return windows.lines.contains(refused); }, kWaitMs));
    const int ordersBefore = frontList("/requests?type=ReqOrderInsert").size();
    GlobalVars::strategyState = 0;
    QVERIFY(sim.publishSignal({{"username", "demo"},
                               {"accountType", "simulation"},
                               {"direction", "sell"},
                               {"openOrClose", "close"},
                               {"id", "S-refused"}}));
    GlobalVars::signalAnalyze->analyze();
    QVERIFY(QTest::qWaitFor(
        [&] { return windows.lines.contains(u("[策略] 信号S-refused暂不执行：交易账户未登录")); },
        kWaitMs));
    QVERIFY(service().closeLong("S-refused") != 0);
    QVERIFY(adminPost("/drop", {}));
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 3; }, kWaitMs));
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs));
    QTest::qWait(500);
    QCOMPARE(frontList("/requests?type=ReqUserLogin&front=td").size(), loginsBefore + 1);
    QCOMPARE(frontList("/requests?type=ReqOrderInsert").size(), ordersBefore);
    QVERIFY(platform.waitForReports(15000));
    for (const QJsonValue &report : sim.reports()) {
        QVERIFY(report["report"]["signalID"].toString() != u("S-refused"));
    }

    // The evening as the activity window reads it from the store.
    QMultiMap<QString, QString> seen;
    for (const SessionStore::Activity &row : SessionStore::current()->activitySince(0, 0)) {
        seen.insert(QString::number(int(row.kind)) + " " + row.subject, row.state);
        seen.insert(QString::number(int(row.kind)), row.state);
    }
    using Kind = SessionStore::ActivityKind;
    const auto key = [](Kind kind, const QString &subject = QString()) {
        return QString::number(int(kind)) + (subject.isEmpty() ? QString() : " " + subject);
    };
    QCOMPARE(seen.values(key(Kind::Signal, u("S-night"))), QStringList{u("已执行")});
    QCOMPARE(seen.values(key(Kind::Signal, u("S-refused"))),
             QStringList{u("暂不执行：交易账户未登录")});
    QVERIFY(seen.values(key(Kind::Order)).contains(u("全部成交（1手）")));
    QCOMPARE(seen.values(key(Kind::Fill)), QStringList({u("成交"), u("成交")}));
    QVERIFY(seen.values(key(Kind::Report)).contains(u("已送达")));
    const QStringList connections = seen.values(key(Kind::Connection));
    QVERIFY(connections.contains(u("已连接")));
    QVERIFY2(connections.filter(u("已断开（原因0x")).size() >= 2,
             qPrintable(connections.join('|')));
}

QTEST_MAIN(TestOrders)
#include "tst_orders.moc"
