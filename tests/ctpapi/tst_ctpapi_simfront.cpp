// The API against the simulated front started as a process: what a client sees on the wire's
// other end, including a dropped front coming back.

#include "simprocess.h"
#include "spirecorder.h"

#include <httplib.h>

#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <set>

namespace {

QByteArray gb2312(const char *utf8)
{
    return QTextCodec::codecForName("GB2312")->fromUnicode(QString::fromUtf8(utf8));
}

CThostFtdcReqUserLoginField loginRecord(const char *password)
{
    CThostFtdcReqUserLoginField login{};
    std::strcpy(login.BrokerID, "9999");
    std::strcpy(login.UserID, "000001");
    std::strcpy(login.Password, password);
    std::strcpy(login.UserProductInfo, "velmora");
    return login;
}

// A buy of one rb2705 lot that meets the ask of the quote the test set (3500 / 3501).
CThostFtdcInputOrderField buyOrder(int ref)
{
    CThostFtdcInputOrderField order{};
    std::strcpy(order.BrokerID, "9999");
    std::strcpy(order.InvestorID, "000001");
    std::strcpy(order.UserID, "000001");
    std::strcpy(order.InstrumentID, "rb2705");
    std::strcpy(order.ExchangeID, "SHFE");
    std::snprintf(order.OrderRef, sizeof(order.OrderRef), "%d", ref);
    order.OrderPriceType = THOST_FTDC_OPT_LimitPrice;
    order.Direction = THOST_FTDC_D_Buy;
    order.CombOffsetFlag[0] = THOST_FTDC_OF_Open;
    order.CombHedgeFlag[0] = THOST_FTDC_HF_Speculation;
    order.LimitPrice = 3501;
    order.VolumeTotalOriginal = 1;
    order.TimeCondition = THOST_FTDC_TC_IOC;
    order.VolumeCondition = THOST_FTDC_VC_AV;
    order.MinVolume = 1;
    order.ContingentCondition = THOST_FTDC_CC_Immediately;
    order.ForceCloseReason = THOST_FTDC_FCC_NotForceClose;
    return order;
}

// Repeats a request until it is sent (0), at most for timeoutMs; returns the last code.
template <class Request> int sendWhenAllowed(Request request, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    int code = request();
    while (code != 0 && timer.elapsed() < timeoutMs) {
        QTest::qWait(20);
        code = request();
    }
    return code;
}

} // namespace

class TestCtpApiSimFront : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tradingSession();
    void marketData();
    void droppedFrontComesBack();
    void releaseWhileTicksFlow();
    void heartbeatsKeepTheConnection();
    void restartReplaysAfterReconnection();
    void resumeFromTheFlowFolder();

private:
    bool startFront(const QStringList &extra = {});
    CThostFtdcTraderApi *trader(SpiRecorder &spi, const std::string &flow = {},
                                THOST_TE_RESUME_TYPE resume = THOST_TERT_RESTART);
    // Logs in (the nth login of spi) and confirms the day's statement.
    bool logIn(CThostFtdcTraderApi *api, SpiRecorder &spi, int nth);
    // Sends the order and waits until its trade and its filled report were handed to spi.
    bool buy(CThostFtdcTraderApi *api, SpiRecorder &spi, int ref);
    // Answered after whatever the front sent before it, such as a replay after the login.
    bool fence(CThostFtdcTraderApi *api, SpiRecorder &spi);
    CThostFtdcMdApi *md(SpiRecorder &spi);
    bool admin(const std::string &path, const std::string &body);

    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<SimProcess> front;
};

void TestCtpApiSimFront::init()
{
    qunsetenv("VELMORA_CTPAPI_HEARTBEAT_MS");
    data = std::make_unique<QTemporaryDir>();
    front = std::make_unique<SimProcess>();
}

void TestCtpApiSimFront::cleanup()
{
    front.reset();
    data.reset();
}

bool TestCtpApiSimFront::startFront(const QStringList &extra)
{
    const QStringList args = QStringList{"--td",    "127.0.0.1:0", "--md",   "127.0.0.1:0",
                                         "--admin", "127.0.0.1:0", "--data", data->path()} +
                             extra;
    const bool started = front->start(VELMORA_SIMFRONT_EXE, args, {"td", "md", "admin"});
    if (!started) {
        qWarning() << front->errorString() << front->standardError();
    }
    return started;
}

CThostFtdcTraderApi *TestCtpApiSimFront::trader(SpiRecorder &spi, const std::string &flow,
                                                THOST_TE_RESUME_TYPE resume)
{
    const std::string path = flow.empty() ? data->path().toStdString() + "/" : flow;
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi(path.c_str());
    api->RegisterSpi(&spi);
    api->SubscribePublicTopic(THOST_TERT_RESTART);
    api->SubscribePrivateTopic(resume);
    QByteArray address = front->address("td").toLatin1();
    api->RegisterFront(address.data());
    api->Init();
    return api;
}

CThostFtdcMdApi *TestCtpApiSimFront::md(SpiRecorder &spi)
{
    const QByteArray flow = (data->path() + "/").toLocal8Bit();
    CThostFtdcMdApi *api = CThostFtdcMdApi::CreateFtdcMdApi(flow.constData(), false, false);
    api->RegisterSpi(&spi);
    QByteArray address = front->address("md").toLatin1();
    api->RegisterFront(address.data());
    api->Init();
    return api;
}

bool TestCtpApiSimFront::admin(const std::string &path, const std::string &body)
{
    const QUrl url(front->address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = client.Post(path.c_str(), body, "application/json");
    return result && result->status == 200;
}

bool TestCtpApiSimFront::logIn(CThostFtdcTraderApi *api, SpiRecorder &spi, int nth)
{
    CThostFtdcReqUserLoginField login = loginRecord("123456");
    CThostFtdcSettlementInfoConfirmField confirm{};
    std::strcpy(confirm.BrokerID, "9999");
    std::strcpy(confirm.InvestorID, "000001");
    return api->ReqUserLogin(&login, 1) == 0 && spi.waitFor("OnRspUserLogin", nth) &&
           spi.events().back().errorId == 0 && api->ReqSettlementInfoConfirm(&confirm, 2) == 0 &&
           spi.waitFor("OnRspSettlementInfoConfirm", nth);
}

bool TestCtpApiSimFront::buy(CThostFtdcTraderApi *api, SpiRecorder &spi, int ref)
{
    CThostFtdcInputOrderField order = buyOrder(ref);
    const QByteArray wanted = QByteArray::number(ref);
    const auto handed = [&] {
        const std::vector<CThostFtdcOrderField> orders = spi.orders();
        const std::vector<CThostFtdcTradeField> trades = spi.trades();
        return std::any_of(orders.begin(), orders.end(),
                           [&](const CThostFtdcOrderField &o) {
                               return QByteArray(o.OrderRef).trimmed() == wanted &&
                                      o.OrderStatus == THOST_FTDC_OST_AllTraded;
                           }) &&
               std::any_of(trades.begin(), trades.end(), [&](const CThostFtdcTradeField &t) {
                   return QByteArray(t.OrderRef).trimmed() == wanted;
               });
    };
    if (api->ReqOrderInsert(&order, 3) != 0) {
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (!handed() && waited.elapsed() < 15000) {
        QTest::qWait(20);
    }
    return handed();
}

bool TestCtpApiSimFront::fence(CThostFtdcTraderApi *api, SpiRecorder &spi)
{
    const int answered = spi.count("OnRspQryTradingAccount");
    CThostFtdcQryTradingAccountField account{};
    std::strcpy(account.BrokerID, "9999");
    std::strcpy(account.InvestorID, "000001");
    return sendWhenAllowed([&] { return api->ReqQryTradingAccount(&account, 4); }) == 0 &&
           spi.waitFor("OnRspQryTradingAccount", answered + 1);
}

void TestCtpApiSimFront::tradingSession()
{
    QVERIFY(startFront());
    SpiRecorder spi;
    CThostFtdcTraderApi *api = trader(spi);
    QVERIFY(spi.waitFor("OnFrontConnected", 1));

    // A wrong password: the error with its GB2312 text, and no session.
    CThostFtdcReqUserLoginField login = loginRecord("654321");
    QCOMPARE(api->ReqUserLogin(&login, 1), 0);
    QVERIFY(spi.waitFor("OnRspUserLogin", 1));
    SpiEvent refused = spi.events().back();
    QCOMPARE(refused.requestId, 1);
    QVERIFY(refused.isLast);
    QVERIFY(refused.errorId != 0);
    QCOMPARE(QByteArray::fromStdString(refused.errorMsg), gb2312("CTP:不合法的登录"));
    QCOMPARE(QByteArray(api->GetTradingDay()), QByteArray());

    login = loginRecord("123456");
    QCOMPARE(api->ReqUserLogin(&login, 11), 0);
    QVERIFY(spi.waitFor("OnRspUserLogin", 2));
    QCOMPARE(spi.events().back().errorId, 0);
    const CThostFtdcRspUserLoginField session = spi.login();
    QVERIFY(session.SessionID != 0);
    QCOMPARE(QByteArray(api->GetTradingDay()), QByteArray(session.TradingDay));
    QCOMPARE(std::strlen(session.TradingDay), size_t(8));

    // The three queries, each waiting for the per-second limit.
    CThostFtdcQryInstrumentField instrument{};
    std::strcpy(instrument.InstrumentID, "rb2705");
    QCOMPARE(api->ReqQryInstrument(&instrument, 11), 0);
    QVERIFY(spi.waitFor("OnRspQryInstrument", 1));
    QCOMPARE(QByteArray(spi.instruments().front().InstrumentName), gb2312("螺纹钢2705"));
    QCOMPARE(QByteArray(spi.instruments().front().ExchangeID), QByteArray("SHFE"));

    CThostFtdcQryInvestorPositionField position{};
    std::strcpy(position.BrokerID, "9999");
    std::strcpy(position.InvestorID, "000001");
    QElapsedTimer sinceQuery;
    sinceQuery.start();
    const int early = api->ReqQryInvestorPosition(&position, 11);
    if (sinceQuery.elapsed() < 500) {
        QCOMPARE(early, -3);
    }
    QCOMPARE(sendWhenAllowed([&] { return api->ReqQryInvestorPosition(&position, 11); }), 0);
    QVERIFY(spi.waitFor("OnRspQryInvestorPosition", 1));
    const SpiEvent noPosition = spi.events().back();
    QVERIFY(noPosition.isLast && !noPosition.hasRecord);

    CThostFtdcQryTradingAccountField account{};
    std::strcpy(account.BrokerID, "9999");
    std::strcpy(account.InvestorID, "000001");
    QCOMPARE(sendWhenAllowed([&] { return api->ReqQryTradingAccount(&account, 11); }), 0);
    QVERIFY(spi.waitFor("OnRspQryTradingAccount", 1));
    QVERIFY(spi.accounts().front().Available > 0);
    QCOMPARE(spi.overlaps(), 0);
    api->Release();
}

void TestCtpApiSimFront::marketData()
{
    QVERIFY(startFront({"--tick-ms", "20"}));
    SpiRecorder spi;
    CThostFtdcMdApi *api = md(spi);
    QVERIFY(spi.waitFor("OnFrontConnected", 1));
    CThostFtdcReqUserLoginField login = loginRecord("123456");
    QCOMPARE(api->ReqUserLogin(&login, 11), 0);
    QVERIFY(spi.waitFor("OnRspUserLogin", 1));

    char id[] = "rb2705";
    char *ids[] = {id};
    QCOMPARE(api->SubscribeMarketData(ids, 1), 0);
    QVERIFY(spi.waitFor("OnRspSubMarketData", 1));
    QVERIFY(spi.waitFor("OnRtnDepthMarketData", 5));

    for (const CThostFtdcDepthMarketDataField &tick : spi.ticks()) {
        QCOMPARE(QByteArray(tick.InstrumentID), QByteArray("rb2705"));
        // Empty during the day, as the vendor's front leaves them.
        QCOMPARE(tick.ClosePrice, DBL_MAX);
        QCOMPARE(tick.SettlementPrice, DBL_MAX);
        QVERIFY(tick.LastPrice > 0 && tick.LastPrice < DBL_MAX);
        QVERIFY(tick.BidPrice1 < tick.AskPrice1);
        QVERIFY(tick.LowerLimitPrice < tick.BidPrice1 && tick.AskPrice1 < tick.UpperLimitPrice);
    }

    QCOMPARE(api->UnSubscribeMarketData(ids, 1), 0);
    QVERIFY(spi.waitFor("OnRspUnSubMarketData", 1));
    api->Release();
}

void TestCtpApiSimFront::droppedFrontComesBack()
{
    QVERIFY(startFront());
    SpiRecorder tradeSpi;
    SpiRecorder mdSpi;
    CThostFtdcTraderApi *tradeApi = trader(tradeSpi);
    CThostFtdcMdApi *mdApi = md(mdSpi);
    QVERIFY(tradeSpi.waitFor("OnFrontConnected", 1));
    QVERIFY(mdSpi.waitFor("OnFrontConnected", 1));

    QVERIFY(admin("/drop", R"({"refuseSeconds": 2})"));
    QVERIFY(tradeSpi.waitFor("OnFrontDisconnected", 1));
    QVERIFY(mdSpi.waitFor("OnFrontDisconnected", 1));
    CThostFtdcReqUserLoginField login = loginRecord("123456");
    QCOMPARE(tradeApi->ReqUserLogin(&login, 12), -1);

    // Back by itself once the front takes connections again; one disconnection per drop.
    QVERIFY(tradeSpi.waitFor("OnFrontConnected", 2, 30000));
    QVERIFY(mdSpi.waitFor("OnFrontConnected", 2, 30000));
    QCOMPARE(tradeSpi.count("OnFrontDisconnected"), 1);
    QCOMPARE(tradeSpi.events()[1].reason, 0x1001);
    QCOMPARE(tradeApi->ReqUserLogin(&login, 12), 0);
    QVERIFY(tradeSpi.waitFor("OnRspUserLogin", 1));
    QCOMPARE(tradeSpi.events().back().errorId, 0);
    tradeApi->Release();
    mdApi->Release();
}

void TestCtpApiSimFront::releaseWhileTicksFlow()
{
    QVERIFY(startFront({"--tick-ms", "1"}));
    SpiRecorder spi;
    CThostFtdcMdApi *api = md(spi);
    QVERIFY(spi.waitFor("OnFrontConnected", 1));
    CThostFtdcReqUserLoginField login = loginRecord("123456");
    QCOMPARE(api->ReqUserLogin(&login, 11), 0);
    QVERIFY(spi.waitFor("OnRspUserLogin", 1));
    char rb[] = "rb2705";
    char sc[] = "sc2706";
    char m[] = "m2705";
    char *ids[] = {rb, sc, m};
    QCOMPARE(api->SubscribeMarketData(ids, 3), 0);
    QVERIFY(spi.waitFor("OnRtnDepthMarketData", 200));

    api->Release();
    const int atRelease = spi.count("OnRtnDepthMarketData");
    QTRY_COMPARE(spi.inside(), 0);
    QTest::qWait(300);
    QCOMPARE(spi.count("OnRtnDepthMarketData"), atRelease);
    QCOMPARE(spi.overlaps(), 0);
}

void TestCtpApiSimFront::heartbeatsKeepTheConnection()
{
    // 200 ms heartbeats: a warning after 400 ms of silence, a drop after 800 ms.
    qputenv("VELMORA_CTPAPI_HEARTBEAT_MS", "200");
    QVERIFY(startFront());
    SpiRecorder tradeSpi;
    SpiRecorder mdSpi;
    CThostFtdcTraderApi *tradeApi = trader(tradeSpi);
    CThostFtdcMdApi *mdApi = md(mdSpi);
    QVERIFY(tradeSpi.waitFor("OnFrontConnected", 1) && mdSpi.waitFor("OnFrontConnected", 1));
    QElapsedTimer connected;
    connected.start();
    while (connected.elapsed() < 3 * 800) {
        QTest::qWait(100);
    }
    tradeApi->Release();
    mdApi->Release();
    for (SpiRecorder *spi : {&tradeSpi, &mdSpi}) {
        QCOMPARE(spi->count("OnFrontDisconnected"), 0);
        QCOMPARE(spi->count("OnHeartBeatWarning"), 0);
    }
}

void TestCtpApiSimFront::restartReplaysAfterReconnection()
{
    QVERIFY(startFront());
    QVERIFY(admin("/quotes/pause", "{}"));
    QVERIFY(admin("/quote", R"({"instrument": "rb2705", "last": 3500})"));
    SpiRecorder spi;
    CThostFtdcTraderApi *api = trader(spi);
    QVERIFY(spi.waitFor("OnFrontConnected", 1));
    QVERIFY(logIn(api, spi, 1));
    const CThostFtdcRspUserLoginField first = spi.login();
    QVERIFY(buy(api, spi, 1));
    const std::size_t reports = spi.orders().size();

    // Dropped, back by itself, logged in again: the day's reports once more.
    QVERIFY(admin("/drop", "{}"));
    QVERIFY(spi.waitFor("OnFrontDisconnected", 1));
    QVERIFY(spi.waitFor("OnFrontConnected", 2, 30000));
    QVERIFY(logIn(api, spi, 2));
    const CThostFtdcRspUserLoginField second = spi.login();
    QVERIFY(second.SessionID != first.SessionID);
    QVERIFY(spi.waitFor("OnRtnTrade", 2));
    QVERIFY(fence(api, spi));
    api->Release();

    const std::vector<CThostFtdcOrderField> orders = spi.orders();
    QCOMPARE(orders.size(), 2 * reports);
    for (std::size_t i = 0; i < reports; ++i) {
        const CThostFtdcOrderField &again = orders[reports + i];
        QCOMPARE(again.SessionID, first.SessionID);
        QCOMPARE(QByteArray(again.OrderRef), QByteArray(orders[i].OrderRef));
        QCOMPARE(again.OrderStatus, orders[i].OrderStatus);
    }
    QCOMPARE(spi.trades().size(), size_t(2));
    QCOMPARE(QByteArray(spi.trades()[1].TradeID), QByteArray(spi.trades()[0].TradeID));
}

void TestCtpApiSimFront::resumeFromTheFlowFolder()
{
    QVERIFY(startFront());
    QVERIFY(admin("/quotes/pause", "{}"));
    QVERIFY(admin("/quote", R"({"instrument": "rb2705", "last": 3500})"));
    const std::string kept = data->path().toStdString() + "/kept-";

    // A client trades and goes; another session trades while it is away.
    {
        SpiRecorder spi;
        CThostFtdcTraderApi *api = trader(spi, kept, THOST_TERT_RESUME);
        QVERIFY(spi.waitFor("OnFrontConnected", 1) && logIn(api, spi, 1) && buy(api, spi, 1));
        api->Release();
    }
    {
        SpiRecorder spi;
        CThostFtdcTraderApi *api =
            trader(spi, data->path().toStdString() + "/elsewhere-", THOST_TERT_QUICK);
        QVERIFY(spi.waitFor("OnFrontConnected", 1) && logIn(api, spi, 1) && buy(api, spi, 2));
        api->Release();
    }

    // Back on its flow folder it gets only what it missed; RESTART the whole day; QUICK nothing.
    struct Case
    {
        std::string flow;
        THOST_TE_RESUME_TYPE resume;
        std::vector<QByteArray> refs;
    };
    for (const Case &c :
         {Case{kept, THOST_TERT_RESUME, {"2"}},
          Case{data->path().toStdString() + "/fresh-", THOST_TERT_RESTART, {"1", "2"}},
          Case{kept, THOST_TERT_QUICK, {}}}) {
        SpiRecorder spi;
        CThostFtdcTraderApi *api = trader(spi, c.flow, c.resume);
        const bool ready = spi.waitFor("OnFrontConnected", 1) && logIn(api, spi, 1) &&
                           spi.waitFor("OnRtnTrade", static_cast<int>(c.refs.size())) &&
                           fence(api, spi);
        api->Release();
        QVERIFY(ready);
        const std::vector<CThostFtdcTradeField> trades = spi.trades();
        QCOMPARE(trades.size(), c.refs.size());
        std::set<QByteArray> orderRefs;
        for (const CThostFtdcOrderField &order : spi.orders()) {
            orderRefs.insert(QByteArray(order.OrderRef).trimmed());
        }
        QCOMPARE(orderRefs, std::set<QByteArray>(c.refs.begin(), c.refs.end()));
        for (std::size_t i = 0; i < trades.size(); ++i) {
            QCOMPARE(QByteArray(trades[i].OrderRef).trimmed(), c.refs[i]);
        }
    }
}

QTEST_GUILESS_MAIN(TestCtpApiSimFront)
#include "tst_ctpapi_simfront.moc"
