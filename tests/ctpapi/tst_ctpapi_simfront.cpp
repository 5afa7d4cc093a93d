// The API against the simulated front started as a process: what a client sees on the wire's
// other end, including a dropped front coming back.

#include "simprocess.h"
#include "spirecorder.h"

#include <httplib.h>

#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <cfloat>
#include <cstring>

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

private:
    bool startFront(const QStringList &extra = {});
    CThostFtdcTraderApi *trader(SpiRecorder &spi);
    CThostFtdcMdApi *md(SpiRecorder &spi);
    bool admin(const std::string &path, const std::string &body);

    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<SimProcess> front;
};

void TestCtpApiSimFront::init()
{
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

CThostFtdcTraderApi *TestCtpApiSimFront::trader(SpiRecorder &spi)
{
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi("");
    api->RegisterSpi(&spi);
    api->SubscribePublicTopic(THOST_TERT_RESTART);
    api->SubscribePrivateTopic(THOST_TERT_RESTART);
    QByteArray address = front->address("td").toLatin1();
    api->RegisterFront(address.data());
    api->Init();
    return api;
}

CThostFtdcMdApi *TestCtpApiSimFront::md(SpiRecorder &spi)
{
    CThostFtdcMdApi *api = CThostFtdcMdApi::CreateFtdcMdApi("", false, false);
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

QTEST_GUILESS_MAIN(TestCtpApiSimFront)
#include "tst_ctpapi_simfront.moc"
