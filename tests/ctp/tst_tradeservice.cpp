// The trading service against the simulated front started as a process: the paced login
// sequence, logins again after dropped connections, a release during a chained pause, the
// position sums and the settlement statement joined across its pieces.

#include "globalvars.h"
#include "mdservice.h"
#include "ordertexts.h"
#include "ownorders.h"
#include "reportedfills.h"
#include "servicefront.h"
#include "sessionstore.h"
#include "settlementtext.h"
#include "signalobject.h"
#include "simprocess.h"
#include "tradeservice.h"
#include "utils.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QThread>
#include <QtTest>

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

// The top of the graph defines the services; here the test does.
namespace {

void newSession()
{
    GlobalVars::resetSession();
    GlobalVars::username = QStringLiteral("tester");
    GlobalVars::brokerID = QStringLiteral("9999");
    GlobalVars::investerID = QStringLiteral("000001");
    GlobalVars::investerPassword = QStringLiteral("123456");
    GlobalVars::instrument = QStringLiteral("rb2705");
}

const int kWaitMs = 20000;

struct FrontRequest
{
    QString entry; // "type:requestId"
    qint64 micros;
};

CThostFtdcInvestorPositionField position(const char *instrument, char direction, int volume,
                                         double cost)
{
    CThostFtdcInvestorPositionField record{};
    std::strncpy(record.InstrumentID, instrument, sizeof(record.InstrumentID) - 1);
    record.PosiDirection = direction;
    record.Position = record.TodayPosition = record.OpenVolume = volume;
    record.YdPosition = record.CloseVolume = 1;
    record.PositionCost = record.OpenAmount = record.CloseAmount = cost;
    record.PositionProfit = record.CloseProfit = cost / 10;
    return record;
}

} // namespace

// Stands in for the main window, the login dialog and the message window: records what the
// relays deliver, and whether it arrived on the GUI thread.
class Windows : public QObject
{
    Q_OBJECT

public:
    QList<int> connectionStates;
    QList<int> loginStates;
    QStringList lines;
    int strategyCalls = 0;
    int closeCalls = 0;
    int positionTables = 0;
    int accountTables = 0;
    QList<int> tables; // refreshes in arrival order: positive position, negative account
    QStringList pieces;
    QList<bool> lastFlags;
    bool offGuiThread = false;
    bool statementMode = true;

    void clear()
    {
        connectionStates.clear();
        loginStates.clear();
        lines.clear();
        strategyCalls = closeCalls = positionTables = accountTables = 0;
        tables.clear();
        pieces.clear();
        lastFlags.clear();
    }

public slots:
    void setConnectionState(bool) { note(connectionStates << GlobalVars::tradeConnectionState); }
    void setLoginState(bool) { note(loginStates << GlobalVars::tradeLoginState); }
    void setStrategyState(bool) { note(++strategyCalls); }
    void setTableInstrument() { note(0); }
    void setTablePosition() { note(tables << ++positionTables); }
    void setTableAccount() { note(tables << -++accountTables); }
    void append(QString line) { note(lines << line); }
    void closeWindow() { note(++closeCalls); }
    void appendMessageText(bool last, int mode, QString text)
    {
        note(pieces << text);
        lastFlags << last;
        statementMode = statementMode && mode == 2;
    }

private:
    template <class T> void note(const T &)
    {
        offGuiThread = offGuiThread || QThread::currentThread() != thread();
    }
};

class TestTradeService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void loginSequenceIsPacedAndStartsTheStrategy();
    void droppedFrontLogsInAgain();
    void releaseEndsAChainedPause();
    void anUnknownTerminalGetsNoLogin();
    void positionSumsAndMenuRefreshes();
    void refreshesKeepTheirOrderAcrossThreads();
    void fillsFindTheOrderTheyBelongTo();
    void cancelledOrderLines();
    void aKilledProcessLeavesItsStoreBehind();
    void loginAnswer_data();
    void loginAnswer();
    void settlementBytesJoinAcrossPieces();

private:
    bool startFront();
    bool admin(const std::string &path, const std::string &body);
    QList<FrontRequest> requests(const char *front);
    QStringList entries(const char *front);
    // init() with a connection requested, then the login sequence to its end.
    bool connectAndLogIn();

    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<SimProcess> front;
    MdService md;
    TradeService service;
    Windows windows;
};

void TestTradeService::initTestCase()
{
    // Only the pacing test waits the real pause; the others would meet the query limit.
    qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
    // As the entry point does before any library thread runs: Qt makes a codec on first use.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("gb2312"));
    GlobalVars::mdService = &md;
    GlobalVars::tradeService = &service;
    SignalObject::setMainWindow(&windows);
    service.setWindows(&windows, &windows);
}

void TestTradeService::init()
{
    newSession();
    service.chainDelayMs = 20;
    windows.clear();
    data = std::make_unique<QTemporaryDir>();
    GlobalVars::iniPath = data->filePath("setup.ini");
    front = std::make_unique<SimProcess>();
}

void TestTradeService::cleanup()
{
    service.release();
    QVERIFY(GlobalVars::tradeApi.load() == nullptr);
    QVERIFY(GlobalVars::tradeSpi.load() == nullptr);
    QTest::qWait(20);
    QVERIFY(!windows.offGuiThread);
    front.reset();
    data.reset();
}

bool TestTradeService::startFront()
{
    return startServiceFront(*front, data->path());
}

bool TestTradeService::admin(const std::string &path, const std::string &body)
{
    return adminRequest(*front, path, body);
}

QList<FrontRequest> TestTradeService::requests(const char *which)
{
    const QUrl url(front->address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = client.Get((std::string("/requests?front=") + which).c_str());
    QList<FrontRequest> list;
    if (!result || result->status != 200) {
        return {{"no answer", 0}};
    }
    for (const QJsonValue &entry :
         QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).array()) {
        const QJsonObject e = entry.toObject();
        list << FrontRequest{
            QStringLiteral("%1:%2").arg(e["type"].toString()).arg(e["requestId"].toInt()),
            static_cast<qint64>(e["micros"].toDouble())};
    }
    return list;
}

QStringList TestTradeService::entries(const char *which)
{
    QStringList list;
    for (const FrontRequest &request : requests(which)) {
        list << request.entry;
    }
    return list;
}

bool TestTradeService::connectAndLogIn()
{
    GlobalVars::pendingRequest = 1;
    return service.init() == 0 &&
           QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs) &&
           service.reqUserLogin(11) == 0 &&
           QTest::qWaitFor([&] { return windows.strategyCalls == 1; }, kWaitMs);
}

// The front wants the terminal authenticated first; the login follows its answer at once.
const QStringList kSequence = {"ReqAuthenticate:11",          "ReqUserLogin:11",
                               "ReqSettlementInfoConfirm:11", "ReqQryInstrument:11",
                               "ReqQryInvestorPosition:11",   "ReqQryTradingAccount:11"};

void TestTradeService::loginSequenceIsPacedAndStartsTheStrategy()
{
    QVERIFY(startFront());
    service.chainDelayMs = 1100;
    QVERIFY(connectAndLogIn());

    const QList<FrontRequest> td = requests("td");
    QCOMPARE(entries("td"), kSequence);
    for (int i = 2; i < td.size(); ++i) {
        QVERIFY2(td[i].micros - td[i - 1].micros >= 1100 * 1000 - 1000, qPrintable(td[i].entry));
    }
    // The market data logs in and subscribes with the trading login, not after the pause.
    const QList<FrontRequest> mdLog = requests("md");
    QCOMPARE(entries("md"), QStringList({"ReqUserLogin:11", "SubscribeMarketData:0"}));
    QVERIFY(mdLog[1].micros < td[2].micros);
    QTRY_COMPARE_WITH_TIMEOUT(GlobalVars::mdLoginState.load(), 0, kWaitMs);

    QTRY_COMPARE_WITH_TIMEOUT(windows.lines.size(), 6, kWaitMs);
    QCOMPARE(windows.lines,
             QStringList({"[CTP连接] 已连接", "[交易账户登录] 已登录", "[结算单确认] 完毕",
                          "[查询合约] 完毕", "[查询持仓] 完毕", "[查询资金账户] 完毕"}));
    QCOMPARE(windows.connectionStates, QList<int>{0});
    QCOMPARE(windows.loginStates, QList<int>{0});
    QCOMPARE(windows.closeCalls, 1);
    QCOMPARE(GlobalVars::strategyState.load(), 1);
    QCOMPARE(GlobalVars::pendingRequest.load(), 0);
    QCOMPARE(GlobalVars::frontID.load(), 1);
    QCOMPARE(GlobalVars::maxOrderRef.load(), 1);
    QCOMPARE(static_cast<QString>(GlobalVars::instrumentName), QStringLiteral("螺纹钢2705"));
    QCOMPARE(static_cast<QString>(GlobalVars::exchangeID), QStringLiteral("SHFE"));
    QCOMPARE(GlobalVars::volumeMultiple.load(), 10);
    QCOMPARE(GlobalVars::priceTick.load(), 1.0);
    QCOMPARE(GlobalVars::available.load(), 10000000.0);
    QTest::qWait(50);
    QCOMPARE(windows.strategyCalls, 1);
}

void TestTradeService::droppedFrontLogsInAgain()
{
    QVERIFY(startFront());
    service.chainDelayMs = 300;
    GlobalVars::pendingRequest = 1;
    QCOMPARE(service.init(), 0);
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs));

    // Dropped inside the sequence: it runs again from the login once the API reconnects.
    QCOMPARE(service.reqUserLogin(11), 0);
    QVERIFY(QTest::qWaitFor([&] { return entries("td").size() == 2; }, kWaitMs));
    QVERIFY(admin("/requests", ""));
    QVERIFY(admin("/drop", R"({"refuseSeconds": 1})"));
    QVERIFY(QTest::qWaitFor([&] { return windows.strategyCalls == 1; }, 30000));
    const QStringList again = entries("td");
    QVERIFY2(again.size() >= kSequence.size(), qPrintable(again.join(' ')));
    QCOMPARE(again.mid(again.size() - kSequence.size()), kSequence);
    QCOMPARE(GlobalVars::pendingRequest.load(), 0);
    QCOMPARE(windows.connectionStates.mid(0, 3), QList<int>({0, 3, 0}));

    // Dropped while idle: a login with the idle number, and nothing follows it.
    QVERIFY(admin("/requests", ""));
    windows.clear();
    QVERIFY(admin("/drop", R"({"refuseSeconds": 1})"));
    QVERIFY(QTest::qWaitFor([&] { return windows.loginStates.size() == 1; }, 30000));
    QTest::qWait(3 * service.chainDelayMs);
    QCOMPARE(entries("td"), QStringList({"ReqAuthenticate:0", "ReqUserLogin:0"}));
    QCOMPARE(windows.connectionStates, QList<int>({3, 0}));
    QCOMPARE(GlobalVars::tradeLoginState.load(), 0);
    QCOMPARE(windows.lines, QStringList());
    QCOMPARE(windows.strategyCalls, 0);

    // The strategy's reconnection before a session: a new API, and the quiet chain with 12.
    QVERIFY(admin("/requests", ""));
    windows.clear();
    GlobalVars::pendingRequest = 12;
    QCOMPARE(service.init(), 0);
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::pendingRequest == 0; }, 30000));
    QCOMPARE(entries("td"), QStringList(kSequence).replaceInStrings(":11", ":12"));
    // The market data's own reconnection and the trading login each log it in.
    const QStringList md = entries("md");
    QVERIFY2(md.contains("ReqUserLogin:12"), qPrintable(md.join(' ')));
    QCOMPARE(md.count("SubscribeMarketData:0"), md.count("ReqUserLogin:12"));
    QCOMPARE(md.size(), 2 * md.count("ReqUserLogin:12"));
    QCOMPARE(windows.lines, QStringList{"[结算单确认] 完毕"});
    QCOMPARE(windows.strategyCalls, 0);
    QCOMPARE(GlobalVars::strategyState.load(), 1);
}

void TestTradeService::anUnknownTerminalGetsNoLogin()
{
    QVERIFY(startFront());
    // The platform names a pair the broker does not know: refused, and no login follows, which
    // would only count towards the account's lockout.
    GlobalVars::authCode = QStringLiteral("1111111111111111");
    QCOMPARE(service.init(), 0);
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs));
    QCOMPARE(service.reqUserLogin(11), 0);
    QVERIFY(QTest::qWaitFor([&] { return !windows.lines.isEmpty(); }, kWaitMs));
    QTest::qWait(3 * service.chainDelayMs);
    QCOMPARE(windows.lines, QStringList{"[客户端认证] 返回码：63，返回信息：CTP:客户端认证失败"});
    QCOMPARE(entries("td"), QStringList{"ReqAuthenticate:11"});
    QCOMPARE(GlobalVars::pendingRequest.load(), 0);
    QCOMPARE(GlobalVars::tradeLoginState.load(), -1);

    // A pair in setup.ini is the broker's word for this machine and wins over the platform's.
    Utils::writeSetting("SETUP", "appID", "velmora_demo_1.0");
    Utils::writeSetting("SETUP", "authCode", "0000000000000000");
    QVERIFY(admin("/requests", ""));
    newSession();
    GlobalVars::tdAddress = front->address("td");
    GlobalVars::mdAddress = front->address("md");
    QVERIFY(connectAndLogIn());
    QCOMPARE(entries("td").mid(0, 2), QStringList({"ReqAuthenticate:11", "ReqUserLogin:11"}));
}

void TestTradeService::releaseEndsAChainedPause()
{
    QVERIFY(startFront());
    service.chainDelayMs = 60000;
    QCOMPARE(service.init(), 0);
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs));
    QCOMPARE(service.reqUserLogin(11), 0);
    // The login answer is handled up to the pause once the dialog is told to close.
    QVERIFY(QTest::qWaitFor([&] { return windows.closeCalls == 1; }, kWaitMs));

    QElapsedTimer released;
    released.start();
    service.release();
    QVERIFY(released.elapsed() < service.chainDelayMs);
    QTest::qWait(100);
    QCOMPARE(entries("td"), QStringList({"ReqAuthenticate:11", "ReqUserLogin:11"}));
    QCOMPARE(windows.lines, QStringList{"[交易账户登录] 已登录"});

    // The next start chains again.
    service.chainDelayMs = 20;
    newSession();
    GlobalVars::tdAddress = front->address("td");
    GlobalVars::mdAddress = front->address("md");
    useDemoTerminal();
    windows.clear();
    QVERIFY(connectAndLogIn());
}

// The handlers themselves, on this thread, where the relays run the slots at once.
void TestTradeService::positionSumsAndMenuRefreshes()
{
    GlobalVars::pendingRequest = 12;
    GlobalVars::longPosition = 99;
    const int menu = 101;
    auto today = position("rb2705", THOST_FTDC_PD_Long, 3, 30000.0);
    auto earlier = position("rb2705  ", THOST_FTDC_PD_Long, 2, 20000.0);
    auto shortSide = position("rb2705", THOST_FTDC_PD_Short, 4, 40000.0);
    auto net = position("rb2705", THOST_FTDC_PD_Net, 7, 70000.0);
    auto other = position("sc2706", THOST_FTDC_PD_Long, 5, 50000.0);
    service.onRspQryInvestorPosition(&other, nullptr, menu, false);
    QCOMPARE(GlobalVars::longPosition.load(), 99);
    service.onRspQryInvestorPosition(&today, nullptr, menu, false);
    service.onRspQryInvestorPosition(&net, nullptr, menu, false);
    service.onRspQryInvestorPosition(&shortSide, nullptr, menu, false);
    service.onRspQryInvestorPosition(&earlier, nullptr, menu, true);

    QCOMPARE(GlobalVars::longPosition.load(), 5);
    QCOMPARE(GlobalVars::longTodayPosition.load(), 5);
    QCOMPARE(GlobalVars::longYdPosition.load(), 2);
    QCOMPARE(GlobalVars::longCloseVolume.load(), 2);
    QCOMPARE(GlobalVars::longPositionCost.load(), 50000.0);
    QCOMPARE(GlobalVars::longCloseProfit.load(), 5000.0);
    QCOMPARE(GlobalVars::shortPosition.load(), 4);
    QCOMPARE(GlobalVars::shortOpenAmount.load(), 40000.0);
    QVERIFY(GlobalVars::positionQueryStart);

    // A series of other instruments only keeps the sums; an empty answer clears them.
    service.onRspQryInvestorPosition(&other, nullptr, menu, true);
    QCOMPARE(GlobalVars::longPosition.load(), 5);
    QVERIFY(GlobalVars::positionQueryStart);
    service.onRspQryInvestorPosition(nullptr, nullptr, menu, true);
    QCOMPARE(GlobalVars::longPosition.load(), 0);
    QCOMPARE(GlobalVars::shortPositionCost.load(), 0.0);
    QCOMPARE(windows.positionTables, 7);

    // Nothing of a series shows before its last record, and a series cut by a dropped
    // connection is dropped: the next one stands alone.
    service.onRspQryInvestorPosition(&today, nullptr, menu, false);
    QCOMPARE(GlobalVars::longPosition.load(), 0);
    service.onFrontDisconnected(0x1001);
    service.onRspQryInvestorPosition(&shortSide, nullptr, menu, true);
    QCOMPARE(GlobalVars::longPosition.load(), 0);
    QCOMPARE(GlobalVars::shortPosition.load(), 4);

    CThostFtdcTradingAccountField account{};
    account.Available = 1234.5;
    service.onRspQryTradingAccount(&account, nullptr, menu, true);
    QCOMPARE(GlobalVars::available.load(), 1234.5);
    QCOMPARE(windows.accountTables, 1);
    QCOMPARE(GlobalVars::pendingRequest.load(), 12);
    QCOMPARE(GlobalVars::strategyState.load(), -1);
    QCOMPARE(windows.lines, QStringList({"[查询持仓] 完毕", "[查询持仓] 完毕", "[查询持仓] 完毕",
                                         "[查询持仓] 完毕", "[查询资金账户] 完毕"}));
}

void TestTradeService::refreshesKeepTheirOrderAcrossThreads()
{
    auto record = position("rb2705", THOST_FTDC_PD_Long, 1, 10.0);
    CThostFtdcTradingAccountField account{};
    std::thread callbackThread([&] {
        for (int i = 0; i < 50; ++i) {
            service.onRspQryInvestorPosition(&record, nullptr, 101, true);
            service.onRspQryTradingAccount(&account, nullptr, 101, true);
        }
    });
    callbackThread.join();
    QVERIFY(QTest::qWaitFor([&] { return windows.tables.size() == 100; }, kWaitMs));
    for (int i = 0; i < 50; ++i) {
        QCOMPARE(windows.tables.mid(2 * i, 2), QList<int>({i + 1, -(i + 1)}));
    }
    QVERIFY(!windows.offGuiThread);
}

// A fill names its order by the exchange's number; the key is the one the order was sent under,
// even once a reconnection has opened another session, and other terminals' orders have none.
void TestTradeService::fillsFindTheOrderTheyBelongTo()
{
    OwnOrders orders;
    const QString sent = OwnOrders::key(1, 7, QStringLiteral("12"));
    QCOMPARE(sent, QStringLiteral("1712"));
    orders.sent(1, 7, QStringLiteral("12"), QStringLiteral("S1"), QStringLiteral("20261208"),
                QStringLiteral("simulation"));
    const std::string day = "20261208";
    orders.noticed(1, 7, QStringLiteral("12"), day, "SHFE", "");
    orders.noticed(1, 7, QStringLiteral("12"), day, "SHFE", "      4711");
    orders.noticed(1, 9, QStringLiteral("12"), day, "SHFE", "      4712");
    // Another terminal's session 71, order 2: the same platform key, not the same order.
    orders.noticed(1, 71, QStringLiteral("2"), day, "SHFE", "      4713");
    QCOMPARE(orders.keyOf(day, "SHFE", "      4711"), sent);
    QCOMPARE(orders.keyOf(day, "SHFE", "      4712"), QString());
    QCOMPARE(orders.keyOf(day, "SHFE", "      4713"), QString());
    QCOMPARE(orders.keyOf(day, "DCE", "      4711"), QString());
    // The exchange numbers afresh the next day.
    QCOMPARE(orders.keyOf("20261209", "SHFE", "      4711"), QString());

    // Trade numbers start again each day at each exchange, and a trade between two of the
    // investor's own orders is a fill of each side.
    ReportedFills fills;
    for (const auto &[day, exchange, side] : {std::tuple{"20261208", "SHFE", '0'},
                                              {"20261208", "SHFE", '1'},
                                              {"20261209", "SHFE", '0'},
                                              {"20261208", "DCE", '0'}}) {
        QVERIFY(fills.firstTime(day, exchange, "           1", side));
    }
    QVERIFY(!fills.firstTime("20261208", "SHFE", "           1", '0'));
    QCOMPARE(fills.repeats(), 1);

    // Through the handlers of a service with no API object, logged in: the order is known as
    // it is sent, though sending fails, and its fill waits for the notice that numbers it.
    TradeService service;
    service.chainDelayMs = 20;
    CThostFtdcRspUserLoginField login{};
    login.FrontID = 1;
    login.SessionID = 7;
    std::strcpy(login.TradingDay, "20261208");
    GlobalVars::tradeConnectionState = 0;
    service.onRspUserLogin(&login, nullptr, 101, true);
    service.onRspSettlementInfoConfirm(nullptr, nullptr, 13, true);
    QVERIFY(service.insertOrder('0', '0', 2, 3500, QStringLiteral("S1")) != 0);
    CThostFtdcTradeField trade{};
    std::strcpy(trade.ExchangeID, "SHFE");
    std::strcpy(trade.OrderSysID, "        4711");
    std::strcpy(trade.TradeID, "           9");
    std::strcpy(trade.TradingDay, "20261208");
    trade.Direction = THOST_FTDC_D_Buy;
    trade.OffsetFlag = THOST_FTDC_OF_Open;
    trade.Volume = 2;
    trade.Price = 3500;
    CThostFtdcOrderField notice{};
    notice.FrontID = 1;
    notice.SessionID = 7;
    std::strcpy(notice.OrderRef, "2");
    std::strcpy(notice.ExchangeID, "SHFE");
    std::strcpy(notice.OrderSysID, "        4711");
    std::strcpy(notice.TradingDay, "20261208");
    notice.OrderStatus = THOST_FTDC_OST_AllTraded;
    windows.clear();
    GlobalVars::pendingRequest = 21;
    service.onRtnTrade(&trade);
    QCOMPARE(windows.lines, QStringList());
    service.onRtnOrder(&notice);
    service.onRtnTrade(&trade);
    // Shown once; its refresh cannot be sent, says so and does not leave the order pending.
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::pendingRequest == 0; }, kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(windows.lines.size(), 2, kWaitMs);
    QVERIFY2(windows.lines[0].startsWith("[成交通知] [买入] [开仓] 价格：3500.00，数量：2"),
             qPrintable(windows.lines[0]));
    QCOMPARE(windows.lines[1],
             QStringLiteral("[查询持仓] 请求失败：[-1] 网络连接失败。可以手动刷新持仓信息"));
}

// A process killed right after its writes leaves them all: the next process knows its orders
// by their keys and exchange numbers, with their signals, and its reported fills.
void TestTradeService::aKilledProcessLeavesItsStoreBehind()
{
    QTemporaryDir folder;
    const QString file = folder.filePath("data/demo-9999-000001.sqlite");
    const std::string day = "20261208";
    const pid_t child = fork();
    if (child == 0) {
        QString notice;
        const auto store = SessionStore::open(file, &notice);
        SessionStore::setCurrent(store);
        OwnOrders orders;
        const QString today = QString::fromStdString(day);
        orders.sent(1, 7, QStringLiteral("3"), QStringLiteral("S-1"), today, "simulation");
        orders.sent(1, 7, QStringLiteral("4"), QStringLiteral("0"), today, "simulation");
        orders.sent(1, 7, QStringLiteral("5"), QStringLiteral("S-3"), today, "real");
        store->signalActed("simulation", "S-2");
        orders.noticed(1, 7, QStringLiteral("3"), day, "SHFE", "          11");
        ReportedFills::reported(day, "SHFE", "           5", THOST_FTDC_D_Buy);
        std::raise(SIGKILL);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    QString notice;
    const auto store = SessionStore::open(file, &notice);
    QVERIFY(store && notice.isEmpty());
    SessionStore::setCurrent(store);
    // A signal that brought an order is acted on with it; one given by hand is no signal.
    QCOMPARE(store->actedSignals("simulation"), QStringList({"S-1", "S-2"}));
    QCOMPARE(store->actedSignals("real"), QStringList{"S-3"});
    OwnOrders orders;
    QCOMPARE(orders.keyOf(day, "SHFE", "          11"), QStringLiteral("173"));
    SessionStore::OwnOrder earlier;
    QVERIFY(orders.noticed(1, 7, QStringLiteral("3"), day, "SHFE", "          11", &earlier));
    QCOMPARE(earlier.signalId, QStringLiteral("S-1"));
    QVERIFY(!orders.noticed(1, 7, QStringLiteral("3"), day, "SHFE", "          11", &earlier));
    QVERIFY(!orders.noticed(1, 8, QStringLiteral("3"), day, "SHFE", "          12", &earlier));
    ReportedFills fills;
    QVERIFY(!fills.firstTime(day, "SHFE", "           5", THOST_FTDC_D_Buy));
    QVERIFY(fills.firstTime(day, "SHFE", "           5", THOST_FTDC_D_Sell));

    // A file that is no database is moved aside, said, and replaced by a working one.
    SessionStore::setCurrent(nullptr);
    const QString broken = folder.filePath("data/broken.sqlite");
    QFile garbage(broken);
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, 'x'));
    garbage.close();
    const auto fresh = SessionStore::open(broken, &notice);
    QVERIFY(fresh);
    QVERIFY2(notice.startsWith(QStringLiteral("[会话存储] 无法读取")) && notice.contains("已移至"),
             qPrintable(notice));
    fresh->signalActed("real", "S-2");
    QCOMPARE(fresh->actedSignals("real"), QStringList{"S-2"});
    QCOMPARE(QDir(folder.filePath("data")).entryList({"broken.sqlite.broken-*"}).size(), 1);

    // A store from before orders named their account type is taken up as it is.
    const QByteArray older = QFile::encodeName(folder.filePath("data/older.sqlite"));
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(older.constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db,
                          "CREATE TABLE own_orders(front_id INTEGER NOT NULL, session_id INTEGER "
                          "NOT NULL, order_ref TEXT NOT NULL, order_key TEXT NOT NULL, signal_id "
                          "TEXT NOT NULL, trading_day TEXT NOT NULL, exchange_id TEXT NOT NULL "
                          "DEFAULT '', order_sys_id TEXT NOT NULL DEFAULT '', created INTEGER NOT "
                          "NULL, PRIMARY KEY(front_id, session_id, order_ref))",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    sqlite3_close(db);
    notice.clear();
    const auto taken = SessionStore::open(QFile::decodeName(older), &notice);
    QVERIFY2(taken && notice.isEmpty(), qPrintable(notice));
    taken->orderSent(1, 8, "1", {"181", "S-4"}, "20261208", "real");
    QCOMPARE(taken->actedSignals("real"), QStringList{"S-4"});
}

// The end of an order the exchange did not fill in full, as the message area shows it.
void TestTradeService::cancelledOrderLines()
{
    const QByteArray refusal =
        QTextCodec::codecForName("gb2312")->fromUnicode("已撤单报单被拒绝SHFE:价格超出涨跌停板");
    const QByteArray cancelled = QTextCodec::codecForName("gb2312")->fromUnicode("已撤单");
    const struct
    {
        QByteArray statusMsg;
        char submitStatus;
        int volumeTraded;
        const char *line;
    } rows[] = {
        {refusal, THOST_FTDC_OSS_InsertRejected, 0,
         "[报单状态] 已撤单报单被拒绝SHFE:价格超出涨跌停板，限价：3500.5"},
        {cancelled, THOST_FTDC_OSS_Accepted, 0,
         "[报单状态] 已撤单，限价：3500.5，未成交，已撤单！"},
        {cancelled, THOST_FTDC_OSS_Accepted, 2,
         "[报单状态] 已撤单，限价：3500.5，成交2手，其余已撤单！"},
    };
    for (const auto &row : rows) {
        CThostFtdcOrderField order{};
        std::strncpy(order.StatusMsg, row.statusMsg.constData(), sizeof(order.StatusMsg) - 1);
        order.OrderSubmitStatus = row.submitStatus;
        order.VolumeTraded = row.volumeTraded;
        order.LimitPrice = 3500.5;
        QCOMPARE(cancelledOrderLine(order), QString::fromUtf8(row.line));
    }
}

void TestTradeService::loginAnswer_data()
{
    QTest::addColumn<QByteArray>("maxOrderRef");
    QTest::addColumn<int>("errorId");
    QTest::addColumn<int>("nextOrderRef");
    QTest::addColumn<QStringList>("lines");
    const QStringList loggedIn; // a single login, outside any sequence, shows no line
    QTest::newRow("empty") << QByteArray() << 0 << 1 << loggedIn;
    QTest::newRow("blanks") << QByteArray("            ") << 0 << 1 << loggedIn;
    QTest::newRow("right-aligned") << QByteArray("          12") << 0 << 13 << loggedIn;
    QTest::newRow("refused") << QByteArray("5") << 3 << 0
                             << QStringList{"[登录] 返回码：3,，返回信息：CTP:不合法的登录"};
}

// The login answer on this thread: the next order reference, or a refusal that ends the
// sequence and changes no state.
void TestTradeService::loginAnswer()
{
    QFETCH(QByteArray, maxOrderRef);
    QFETCH(int, errorId);
    QFETCH(int, nextOrderRef);
    QFETCH(QStringList, lines);
    CThostFtdcRspUserLoginField answer{};
    std::strncpy(answer.MaxOrderRef, maxOrderRef.constData(), sizeof(answer.MaxOrderRef) - 1);
    CThostFtdcRspInfoField info{};
    info.ErrorID = errorId;
    const QByteArray message = QTextCodec::codecForName("gb2312")->fromUnicode("CTP:不合法的登录");
    std::strncpy(info.ErrorMsg, message.constData(), sizeof(info.ErrorMsg) - 1);
    GlobalVars::pendingRequest = 101;
    service.onRspUserLogin(&answer, &info, 101, true);
    QCOMPARE(GlobalVars::maxOrderRef.load(), nextOrderRef);
    QCOMPARE(GlobalVars::tradeLoginState.load(), errorId ? -1 : 0);
    QCOMPARE(GlobalVars::pendingRequest.load(), errorId ? 0 : 101);
    QCOMPARE(windows.lines, lines);
}

void TestTradeService::settlementBytesJoinAcrossPieces()
{
    // Every cut of a mixed text, through the joiner alone.
    const QString text = QStringLiteral("结算单 A1确认：盈亏-5");
    const QByteArray bytes = QTextCodec::codecForName("gb2312")->fromUnicode(text);
    for (int cut = 0; cut <= bytes.size(); ++cut) {
        SettlementText joiner;
        QString joined = joiner.append(bytes.left(cut).toStdString(), false);
        joined += joiner.append(bytes.mid(cut).toStdString(), true);
        QCOMPARE(joined, text);
    }

    // The front's statement, many pieces of 500 bytes.
    QVERIFY(startFront());
    QVERIFY(connectAndLogIn());
    windows.clear();
    QCOMPARE(service.querySettlementInfo(), 0);
    QVERIFY(QTest::qWaitFor([&] { return windows.lastFlags.contains(true); }, kWaitMs));
    QVERIFY(windows.pieces.size() >= 3);
    QCOMPARE(windows.lastFlags.count(true), 1);
    QVERIFY(windows.lastFlags.last());
    QVERIFY(windows.statementMode);
    const QString statement = windows.pieces.join(QString());
    QVERIFY(!statement.contains(QChar::ReplacementCharacter));
    QVERIFY(statement.contains(QStringLiteral("视为贵方已确认本结算单的全部内容")));
    QVERIFY(statement.contains(QStringLiteral("免责声明：市场有风险，投资需谨慎。")));
}

QTEST_MAIN(TestTradeService)
#include "tst_tradeservice.moc"
