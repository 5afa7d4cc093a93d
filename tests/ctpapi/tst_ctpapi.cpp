// The API's own behaviour against a scripted front: the welcome, return codes, flow control,
// reconnection, heartbeats (also while a callback blocks), malformed input, the flow folder and
// Release on every thread.

#include "apicore.h"
#include "fakefront.h"
#include "flowfile.h"
#include "flowstate.h"
#include "spirecorder.h"
#include "stderrcapture.h"
#include "traderspiadapter.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cfloat>
#include <cstring>
#include <fstream>
#include <future>

using velmora::wire::Frame;
using velmora::wire::FrameCodec;
using velmora::wire::MsgType;

namespace {

// Releases a trading API that a test left alive (a failed QVERIFY returns early).
struct TraderHandle
{
    CThostFtdcTraderApi *api = nullptr;
    ~TraderHandle()
    {
        if (api) {
            api->Release();
        }
    }
    void release()
    {
        api->Release();
        api = nullptr;
    }
};

// Flow files of tests that do not look at them, out of the working folder.
const QTemporaryDir scratch;

CThostFtdcTraderApi *startTrader(SpiRecorder &spi, const std::string &address,
                                 std::string flow = scratch.path().toStdString() + "/",
                                 THOST_TE_RESUME_TYPE resume = THOST_TERT_RESTART)
{
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi(flow.c_str());
    api->RegisterSpi(&spi);
    api->SubscribePublicTopic(THOST_TERT_RESTART);
    api->SubscribePrivateTopic(resume);
    std::string front = address;
    api->RegisterFront(front.data());
    api->Init();
    return api;
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

CThostFtdcOrderField orderNotice(int n)
{
    CThostFtdcOrderField order{};
    std::snprintf(order.OrderRef, sizeof(order.OrderRef), "%12d", n);
    order.OrderStatus = THOST_FTDC_OST_Canceled;
    return order;
}

// A private-stream notice numbered as the front numbers them (0: not numbered).
void sendNotice(FakeFront &front, int sequence)
{
    const CThostFtdcOrderField order = orderNotice(sequence);
    front.send(FrameCodec::encode(MsgType::RtnOrder, sequence, true, nullptr, &order));
}

// The topics of the n-th connection (from 1) the front saw.
velmora::wire::TopicSubscription greeting(const FakeFront &front, int n)
{
    velmora::wire::TopicSubscription topics{};
    if (!front.waitForReceived(MsgType::SubscribeTopic, n)) {
        return topics;
    }
    int seen = 0;
    for (const Frame &frame : front.received()) {
        if (frame.type == MsgType::SubscribeTopic && ++seen == n) {
            frame.recordAs(topics);
        }
    }
    return topics;
}

// Answers logins with the given trading day, and heartbeats; leaves queries unanswered.
FakeFront::Reply loginOn(const std::string &day)
{
    return [day](FakeFront &front, const Frame &request) {
        if (request.type == MsgType::Heartbeat) {
            FakeFront::defaultReply(front, request);
        } else if (request.type == MsgType::ReqUserLogin) {
            CThostFtdcRspUserLoginField login{};
            std::strncpy(login.TradingDay, day.c_str(), sizeof(login.TradingDay) - 1);
            login.SessionID = 7;
            CThostFtdcRspInfoField ok{};
            front.send(
                FrameCodec::encode(MsgType::RspUserLogin, request.requestId, true, &ok, &login));
        }
    };
}

} // namespace

class TestCtpApi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void connectsAndSubscribesTopicsFirst();
    void requestsFailWithoutConnection();
    void connectedOnlyOnceWelcomed();
    void queryFlowControl();
    void queryOutstandingUntilItsLastPiece_data();
    void queryOutstandingUntilItsLastPiece();
    void answersReachTheirCallbacks();
    void terminalAuthentication();
    void reconnectsAfterDrop();
    void heartbeatSilenceDropsTheConnection();
    void blockingCallbackHoldsTheHeartbeat_data();
    void blockingCallbackHoldsTheHeartbeat();
    void malformedFrameDropsTheConnection();
    void releaseInsideCallback();
    void releaseWaitsForARunningCallback();
    void initAndReleaseRace();
    void flowFolderKeepsWhatTheClientWasHanded();
    void unusableFlowPathEndsTheProcess_data();
    void unusableFlowPathEndsTheProcess();
    void marketDataSubscription();
};

void TestCtpApi::init()
{
    qunsetenv("VELMORA_CTPAPI_HEARTBEAT_MS");
    qunsetenv("VELMORA_CTPAPI_QUERIES_PER_SECOND");
}

void TestCtpApi::connectsAndSubscribesTopicsFirst()
{
    FakeFront front;
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));
    QVERIFY(front.waitForReceived(MsgType::SubscribeTopic, 1));

    const std::vector<Frame> frames = front.received();
    QCOMPARE(frames.front().type, MsgType::SubscribeTopic);
    velmora::wire::TopicSubscription topics{};
    QVERIFY(frames.front().recordAs(topics));
    QCOMPARE(topics.PrivateResumeType, static_cast<int>(THOST_TERT_RESTART));

    QCOMPARE(QString(trader.api->GetTradingDay()), QString());
    CThostFtdcReqUserLoginField login{};
    std::strcpy(login.BrokerID, "9999");
    QCOMPARE(trader.api->ReqUserLogin(&login, 11), 0);
    QVERIFY(spi.waitFor("OnRspUserLogin", 1));
    QCOMPARE(QString(trader.api->GetTradingDay()), QString("20250101"));

    // Every callback on one thread, not the caller's, never two at once.
    const std::vector<SpiEvent> events = spi.events();
    for (const SpiEvent &event : events) {
        QVERIFY(event.thread == events.front().thread);
        QVERIFY(event.thread != std::this_thread::get_id());
    }
    QCOMPARE(spi.overlaps(), 0);
}

void TestCtpApi::requestsFailWithoutConnection()
{
    SpiRecorder spi;
    CThostFtdcReqUserLoginField login{};
    CThostFtdcQryInstrumentField query{};
    CThostFtdcInputOrderField order{};

    // Before Init, and while the front refuses connections.
    const std::string flow = scratch.path().toStdString() + "/";
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi(flow.c_str());
    api->RegisterSpi(&spi);
    QCOMPARE(api->ReqUserLogin(&login, 1), -1);
    std::string address;
    {
        FakeFront closed;
        address = closed.address();
    }
    api->RegisterFront(address.data());
    api->Init();
    QCOMPARE(api->ReqQryInstrument(&query, 2), -1);
    QCOMPARE(api->ReqOrderInsert(&order, 3), -1);
    QCOMPARE(api->ReqUserLogin(nullptr, 4), -1);
    // Refused connects, retried about once a second, are no news to the client.
    QTest::qWait(1500);
    api->Release();
    QCOMPARE(spi.events().size(), size_t(0));

    CThostFtdcMdApi *md = CThostFtdcMdApi::CreateFtdcMdApi(flow.c_str(), false, false);
    char id[] = "rb2705";
    char *ids[] = {id};
    QCOMPARE(md->SubscribeMarketData(ids, 1), -1);
    md->Release();
}

void TestCtpApi::connectedOnlyOnceWelcomed()
{
    qputenv("VELMORA_CTPAPI_HEARTBEAT_MS", "200");
    FakeFront front;
    front.setOnAccept(FakeFront::OnAccept::Ignore);
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};

    // Accepted but not welcomed: the topics go out, requests do not, and four heartbeat
    // intervals without the welcome end the connection.
    QVERIFY(front.waitForReceived(MsgType::SubscribeTopic, 1));
    CThostFtdcReqUserLoginField login{};
    QCOMPARE(trader.api->ReqUserLogin(&login, 1), -1);
    QVERIFY(spi.waitFor("OnFrontDisconnected", 1));
    QCOMPARE(spi.events().back().reason, 0x2001);
    QVERIFY(!front.waitForReceived(MsgType::Heartbeat, 1, 0));

    // Ended before the welcome, as by a front outside its service hours: a read failure each
    // time, retried about once a second.
    front.setOnAccept(FakeFront::OnAccept::Drop);
    const int before = front.connections();
    QVERIFY(front.waitForConnections(before + 1));
    QElapsedTimer retry;
    retry.start();
    QVERIFY(front.waitForConnections(before + 2));
    const qint64 apart = retry.elapsed();
    QVERIFY2(apart >= 700 && apart <= 2000, qPrintable(QString::number(apart)));
    QVERIFY(spi.waitFor("OnFrontDisconnected", 3));
    for (const SpiEvent &event : spi.events()) {
        QCOMPARE(event.name, std::string("OnFrontDisconnected"));
    }
    QCOMPARE(spi.events()[1].reason, 0x1001);

    front.setOnAccept(FakeFront::OnAccept::Welcome);
    QVERIFY(spi.waitFor("OnFrontConnected", 1));
    QCOMPARE(trader.api->ReqUserLogin(&login, 2), 0);
    QVERIFY(spi.waitFor("OnRspUserLogin", 1));
}

void TestCtpApi::queryFlowControl()
{
    FakeFront front;
    std::atomic<bool> hold{true};
    front.setReply([&hold](FakeFront &f, const Frame &request) {
        if (request.type == MsgType::ReqQryTradingAccount && hold) {
            return;
        }
        FakeFront::defaultReply(f, request);
    });
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));

    CThostFtdcQryTradingAccountField account{};
    CThostFtdcQryInvestorPositionField position{};
    QCOMPARE(trader.api->ReqQryTradingAccount(&account, 5), 0);
    QCOMPARE(trader.api->ReqQryInvestorPosition(&position, 6), -2);
    // Orders and other requests are not queries.
    CThostFtdcSettlementInfoConfirmField confirm{};
    QCOMPARE(trader.api->ReqSettlementInfoConfirm(&confirm, 7), 0);

    // The last answer ends the wait; the limit of one query per second remains.
    hold = false;
    CThostFtdcRspInfoField ok{};
    const QElapsedTimer sinceFirst = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    front.send(FrameCodec::encode(MsgType::RspQryTradingAccount, 5, true, &ok, nullptr, 0));
    QVERIFY(spi.waitFor("OnRspQryTradingAccount", 1));
    const int code = trader.api->ReqQryInvestorPosition(&position, 8);
    if (sinceFirst.elapsed() < 900) {
        QCOMPARE(code, -3);
    }
    QCOMPARE(sendWhenAllowed([&] { return trader.api->ReqQryInvestorPosition(&position, 9); }), 0);
    QVERIFY(spi.waitFor("OnRspQryInvestorPosition", 1));

    // A drop forgets the unanswered query.
    front.setReply([](FakeFront &f, const Frame &request) {
        if (request.type != MsgType::ReqQryTradingAccount) {
            FakeFront::defaultReply(f, request);
        }
    });
    QCOMPARE(sendWhenAllowed([&] { return trader.api->ReqQryTradingAccount(&account, 10); }), 0);
    front.dropAll();
    QVERIFY(spi.waitFor("OnFrontConnected", 2) && front.waitForConnections(2));
    QCOMPARE(sendWhenAllowed([&] { return trader.api->ReqQryInvestorPosition(&position, 11); }), 0);
}

void TestCtpApi::queryOutstandingUntilItsLastPiece_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("errorId");
    QTest::addColumn<QString>("callback");
    QTest::newRow("last piece") << int(MsgType::RspQryInvestorPosition) << 0
                                << "OnRspQryInvestorPosition";
    QTest::newRow("error answer") << int(MsgType::RspQryInvestorPosition) << 30
                                  << "OnRspQryInvestorPosition";
    QTest::newRow("RspError") << int(MsgType::RspError) << 6 << "OnRspError";
}

void TestCtpApi::queryOutstandingUntilItsLastPiece()
{
    QFETCH(int, type);
    QFETCH(int, errorId);
    QFETCH(QString, callback);
    qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "1000");
    FakeFront front;
    front.setReply(loginOn("20250101"));
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};
    QVERIFY(spi.waitFor("OnFrontConnected", 1));
    CThostFtdcQryInvestorPositionField query{};
    CThostFtdcQryTradingAccountField other{};
    QCOMPARE(trader.api->ReqQryInvestorPosition(&query, 5), 0);
    QVERIFY(front.waitForReceived(MsgType::ReqQryInvestorPosition, 1));

    // Neither a piece before the last nor another request's last answer ends the query.
    CThostFtdcInvestorPositionField piece{};
    CThostFtdcRspInfoField ok{};
    front.send(FrameCodec::encode(MsgType::RspQryInvestorPosition, 5, false, &ok, &piece));
    QVERIFY(spi.waitFor("OnRspQryInvestorPosition", 1));
    QCOMPARE(trader.api->ReqQryTradingAccount(&other, 6), -2);
    front.send(FrameCodec::encode(MsgType::RspQryInvestorPosition, 99, true, &ok, &piece));
    QVERIFY(spi.waitFor("OnRspQryInvestorPosition", 2));
    QCOMPARE(trader.api->ReqQryTradingAccount(&other, 6), -2);

    const int before = spi.count(callback.toStdString());
    CThostFtdcRspInfoField info{};
    info.ErrorID = errorId;
    const bool withRecord = errorId == 0;
    front.send(FrameCodec::encode(static_cast<MsgType>(type), 5, true, &info,
                                  withRecord ? &piece : nullptr, withRecord ? sizeof(piece) : 0));
    QVERIFY(spi.waitFor(callback.toStdString(), before + 1));
    QCOMPARE(trader.api->ReqQryTradingAccount(&other, 7), 0);
}

void TestCtpApi::answersReachTheirCallbacks()
{
    FakeFront front;
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));

    // An empty answer: a null record flagged last, with the request's number.
    CThostFtdcQryInvestorPositionField position{};
    QCOMPARE(trader.api->ReqQryInvestorPosition(&position, 42), 0);
    QVERIFY(spi.waitFor("OnRspQryInvestorPosition", 1));
    SpiEvent answer = spi.events().back();
    QCOMPARE(answer.requestId, 42);
    QVERIFY(answer.isLast);
    QVERIFY(!answer.hasRecord);
    QVERIFY(answer.hasRspInfo);

    // A series, an error with a GB2312 text, notices without request numbers.
    CThostFtdcSettlementInfoField piece{};
    std::strcpy(piece.Content, "\xbd\xe1\xcb\xe3");
    front.send(FrameCodec::encode(MsgType::RspQrySettlementInfo, 77, false, nullptr, &piece));
    front.send(FrameCodec::encode(MsgType::RspQrySettlementInfo, 77, true, nullptr, &piece));
    CThostFtdcRspInfoField error{};
    error.ErrorID = 3;
    std::strcpy(error.ErrorMsg, "\xb2\xbb\xba\xcf\xb7\xa8");
    front.send(FrameCodec::encode(MsgType::RspError, 78, true, &error, nullptr, 0));
    const CThostFtdcOrderField order = orderNotice(1);
    front.send(FrameCodec::encode(MsgType::RtnOrder, 0, true, nullptr, &order));
    QVERIFY(spi.waitFor("OnRtnOrder", 1));

    const std::vector<SpiEvent> events = spi.events();
    std::vector<SpiEvent> series;
    for (const SpiEvent &event : events) {
        if (event.name == "OnRspQrySettlementInfo") {
            series.push_back(event);
        }
    }
    QCOMPARE(series.size(), size_t(2));
    QVERIFY(!series[0].isLast && series[1].isLast && !series[0].hasRspInfo);
    QCOMPARE(spi.statement().front().Content, "\xbd\xe1\xcb\xe3");
    QCOMPARE(spi.count("OnRspError"), 1);
    const SpiEvent &err = events[events.size() - 2];
    QCOMPARE(err.errorId, 3);
    QCOMPARE(err.errorMsg, std::string("\xb2\xbb\xba\xcf\xb7\xa8"));
    QCOMPARE(QByteArray(spi.orders().front().OrderRef), QByteArray("           1"));
}

void TestCtpApi::terminalAuthentication()
{
    FakeFront front;
    front.setReply([](FakeFront &f, const Frame &request) {
        CThostFtdcReqAuthenticateField asked{};
        if (request.type != MsgType::ReqAuthenticate || !request.recordAs(asked)) {
            return;
        }
        CThostFtdcRspAuthenticateField answer{};
        std::strcpy(answer.UserID, asked.UserID);
        std::strcpy(answer.AppID, asked.AppID);
        answer.AppType = '1';
        CThostFtdcRspInfoField info{};
        info.ErrorID = request.requestId == 2 ? 63 : 0;
        std::strcpy(info.ErrorMsg, "\xc8\xcf\xd6\xa4");
        f.send(
            FrameCodec::encode(MsgType::RspAuthenticate, request.requestId, true, &info, &answer));
    });
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};
    QVERIFY(spi.waitFor("OnFrontConnected", 1));

    // Not a query: a second one right after the first is sent too.
    CThostFtdcReqAuthenticateField request{};
    std::strcpy(request.BrokerID, "9999");
    std::strcpy(request.UserID, "000001");
    std::strcpy(request.AuthCode, "0000000000000000");
    std::strcpy(request.AppID, "client_velmora_1.0");
    QCOMPARE(trader.api->ReqAuthenticate(&request, 1), 0);
    QCOMPARE(trader.api->ReqAuthenticate(&request, 2), 0);
    QCOMPARE(trader.api->ReqAuthenticate(nullptr, 3), -1);
    QVERIFY(spi.waitFor("OnRspAuthenticate", 2));

    CThostFtdcReqAuthenticateField sent{};
    QVERIFY(front.received()[1].recordAs(sent));
    QCOMPARE(QByteArray(sent.AuthCode), QByteArray(request.AuthCode));
    QCOMPARE(QByteArray(sent.AppID), QByteArray(request.AppID));
    const std::vector<SpiEvent> events = spi.events();
    QCOMPARE(events[1].requestId, 1);
    QVERIFY(events[1].hasRecord && events[1].isLast);
    QCOMPARE(events[1].errorId, 0);
    QCOMPARE(events[2].errorId, 63);
    QCOMPARE(events[2].errorMsg, std::string("\xc8\xcf\xd6\xa4"));
    QCOMPARE(QByteArray(spi.authentication().AppID), QByteArray(request.AppID));
    QCOMPARE(QByteArray(spi.authentication().UserID), QByteArray("000001"));
    QCOMPARE(spi.authentication().AppType, '1');
}

void TestCtpApi::reconnectsAfterDrop()
{
    FakeFront front;
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));

    // Unread bytes die with a dropped connection: let the first topics arrive first.
    QVERIFY(front.waitForReceived(MsgType::SubscribeTopic, 1));
    front.dropAll();
    QVERIFY(spi.waitFor("OnFrontDisconnected", 1));
    QVERIFY(spi.waitFor("OnFrontConnected", 2) && front.waitForConnections(2));
    QCOMPARE(spi.count("OnFrontDisconnected"), 1);
    QCOMPARE(spi.events()[1].reason, 0x1001);
    // The topics go out again on the new connection.
    QVERIFY(front.waitForReceived(MsgType::SubscribeTopic, 2));
    QCOMPARE(front.connections(), 2);
}

void TestCtpApi::heartbeatSilenceDropsTheConnection()
{
    qputenv("VELMORA_CTPAPI_HEARTBEAT_MS", "100");
    FakeFront front;
    front.setReply([](FakeFront &, const Frame &) {});
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};
    QVERIFY(spi.waitFor("OnFrontDisconnected", 1));
    QVERIFY(front.waitForReceived(MsgType::Heartbeat, 1));

    const std::vector<SpiEvent> events = spi.events();
    QCOMPARE(events[0].name, std::string("OnFrontConnected"));
    QCOMPARE(events[1].name, std::string("OnHeartBeatWarning"));
    auto dropped = std::find_if(events.begin(), events.end(),
                                [](const SpiEvent &e) { return e.name == "OnFrontDisconnected"; });
    QCOMPARE(dropped->reason, 0x2001);

    // A front that answers keeps the connection.
    front.setReply(&FakeFront::defaultReply);
    QVERIFY(spi.waitFor("OnFrontConnected", 2) && front.waitForConnections(2));
    QTest::qWait(1000);
    QCOMPARE(spi.count("OnFrontDisconnected"), 1);
}

void TestCtpApi::blockingCallbackHoldsTheHeartbeat_data()
{
    QTest::addColumn<int>("blockIntervals10");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("handed");
    // What follows a callback that blocked for the given tenths of heartbeat intervals, with
    // notices sent behind the blocked one or not.
    QTest::newRow("short") << 5 << 3 << "OnRtnOrder" << 3;
    // Nothing arrives meanwhile, and yet one warning only: the time spent in the callback is
    // not the front's silence.
    QTest::newRow("two intervals: a warning") << 25 << 1 << "OnHeartBeatWarning" << 1;
    QTest::newRow("four intervals: dropped with what came meanwhile")
        << 45 << 3 << "OnFrontDisconnected" << 1;
}

void TestCtpApi::blockingCallbackHoldsTheHeartbeat()
{
    QFETCH(int, blockIntervals10);
    QFETCH(int, sent);
    QFETCH(QString, after);
    QFETCH(int, handed);
    constexpr int kIntervalMs = 200;
    qputenv("VELMORA_CTPAPI_HEARTBEAT_MS", QByteArray::number(kIntervalMs));
    QTemporaryDir dir;
    FakeFront front;
    front.setReply(loginOn("20250101"));
    SpiRecorder spi;
    TraderHandle trader{
        startTrader(spi, front.address(), dir.path().toStdString() + "/", THOST_TERT_RESUME)};
    QVERIFY(spi.waitFor("OnFrontConnected", 1));
    CThostFtdcReqUserLoginField login{};
    QCOMPARE(trader.api->ReqUserLogin(&login, 1), 0);
    QVERIFY(spi.waitFor("OnRspUserLogin", 1));

    // Notices after the first arrive while its callback blocks the thread that reads them.
    spi.setHook([&](const SpiEvent &event) {
        if (event.name == "OnRtnOrder" && spi.count("OnRtnOrder") == 1) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(kIntervalMs * blockIntervals10 / 10));
        }
    });
    for (int sequence = 1; sequence <= sent; ++sequence) {
        sendNotice(front, sequence);
    }
    QVERIFY(spi.waitFor(after.toStdString(), after == "OnRtnOrder" ? 2 : 1));
    std::vector<SpiEvent> events = spi.events();
    const auto first = std::find_if(events.begin(), events.end(),
                                    [](const SpiEvent &e) { return e.name == "OnRtnOrder"; });
    QCOMPARE(std::next(first)->name, after.toStdString());
    if (after == "OnFrontDisconnected") {
        QCOMPARE(std::next(first)->reason, 0x2001);
        // The next connection resumes after the notice whose callback returned.
        QCOMPARE(greeting(front, 2).PrivateSequence, 1);
    }
    QTest::qWait(3 * kIntervalMs);
    QCOMPARE(spi.count("OnRtnOrder"), handed);
    QCOMPARE(spi.count("OnFrontDisconnected"), after == "OnFrontDisconnected" ? 1 : 0);
    QCOMPARE(spi.count("OnHeartBeatWarning"), after == "OnHeartBeatWarning" ? 1 : 0);
}

void TestCtpApi::malformedFrameDropsTheConnection()
{
    FakeFront front;
    SpiRecorder spi;
    TraderHandle trader{startTrader(spi, front.address())};
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));

    // A request type coming from the front is as wrong as garbage.
    CThostFtdcQryInstrumentField query{};
    front.send(FrameCodec::encode(MsgType::ReqQryInstrument, 1, true, nullptr, &query));
    QVERIFY(spi.waitFor("OnFrontDisconnected", 1));
    QCOMPARE(spi.events().back().reason, 0x2003);
    QVERIFY(spi.waitFor("OnFrontConnected", 2) && front.waitForConnections(2));

    front.send(std::vector<unsigned char>{0xff, 0xff, 0xff, 0x7f, 1, 2, 3});
    QVERIFY(spi.waitFor("OnFrontDisconnected", 2));
    QCOMPARE(spi.events().back().reason, 0x2003);
    QCOMPARE(spi.count("OnRspQryInstrument"), 0);
}

void TestCtpApi::releaseInsideCallback()
{
    // Release from a callback stops everything else and returns into that callback, which may
    // still use its Spi; the object goes when the callback returns (LeakSanitizer sees it go).
    FakeFront front;
    SpiRecorder spi;
    CThostFtdcTraderApi *api = startTrader(spi, front.address());
    std::atomic<bool> returned{false};
    std::atomic<bool> releasing{false};
    spi.setHook([&](const SpiEvent &event) {
        if (event.name == "OnRtnOrder" && !releasing.exchange(true)) {
            api->Release();
            returned = true;
        }
    });
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));
    for (int i = 0; i < 50; ++i) {
        sendNotice(front, 0);
    }
    QTRY_VERIFY(returned.load());
    QTRY_COMPARE(spi.inside(), 0);
    QTest::qWait(300);
    QCOMPARE(spi.count("OnRtnOrder"), 1);
    QCOMPARE(spi.count("OnFrontDisconnected"), 0);
}

void TestCtpApi::releaseWaitsForARunningCallback()
{
    FakeFront front;
    auto spi = std::make_unique<SpiRecorder>();
    CThostFtdcTraderApi *api = startTrader(*spi, front.address());
    auto handled = std::make_unique<int>(0);
    std::promise<void> entered;
    std::promise<void> unblock;
    std::shared_future<void> unblocked = unblock.get_future().share();
    std::atomic<int> calls{0};
    spi->setHook([&, target = handled.get()](const SpiEvent &event) {
        if (event.name == "OnRtnOrder" && calls.fetch_add(1) == 0) {
            entered.set_value();
            unblocked.wait();
            *target = 1;
        }
    });
    QVERIFY(spi->waitFor("OnFrontConnected", 1) && front.waitForConnections(1));

    // A stream of notices keeps the queue full while the first callback is held.
    std::atomic<bool> streaming{true};
    std::thread feeder([&] {
        for (int i = 0; streaming && i < 20000; ++i) {
            sendNotice(front, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QCOMPARE(entered.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    StderrCapture capture;
    auto release = std::async(std::launch::async, [api] { api->Release(); });
    // The callback is held, so Release cannot have returned; a deadlock would show as this line.
    QVERIFY(capture.waitFor("ctpapi: Release is waiting for OnRtnOrder to return (2 s)"));
    const bool heldBack = release.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
    unblock.set_value();
    const bool returned = release.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    streaming = false;
    feeder.join();
    QVERIFY(heldBack);
    QVERIFY(returned);
    QCOMPARE(*handled, 1);
    QCOMPARE(spi->count("OnRtnOrder"), 1);
    QCOMPARE(spi->inside(), 0);
    // Freed at once: a callback still running or starting now is a use after free under ASan.
    spi.reset();
    handled.reset();
    QTest::qWait(200);
}

void TestCtpApi::initAndReleaseRace()
{
    // Init and Release of one core on two threads at once, either may come first.
    using velmora::ctpapi::ApiCore;
    FakeFront front;
    for (int round = 0; round < 30; ++round) {
        SpiRecorder spi;
        auto adapter = std::make_unique<velmora::ctpapi::TraderSpiAdapter>(
            std::make_shared<velmora::ctpapi::FlowState>());
        adapter->setSpi(&spi);
        auto core = std::make_shared<ApiCore>(std::move(adapter), ApiCore::Settings{});
        core->registerFront(front.address());
        std::atomic<bool> go{false};
        std::thread initThread([&] {
            while (!go) {
                std::this_thread::yield();
            }
            core->init();
        });
        std::thread releaseThread([&] {
            while (!go) {
                std::this_thread::yield();
            }
            if (round % 2) {
                std::this_thread::sleep_for(std::chrono::microseconds(50 * round));
            }
            core->release();
        });
        go = true;
        initThread.join();
        releaseThread.join();
        const int seen = static_cast<int>(spi.events().size());
        QCOMPARE(core->send(FrameCodec::encode(MsgType::Heartbeat, 0, true, nullptr, nullptr, 0)),
                 -1);
        core->init();
        QTest::qWait(20);
        QCOMPARE(static_cast<int>(spi.events().size()), seen);
        QCOMPARE(spi.inside(), 0);
    }
}

void TestCtpApi::flowFolderKeepsWhatTheClientWasHanded()
{
    QTemporaryDir dir;
    const std::string flow = dir.path().toStdString() + "/";
    FakeFront front;
    front.setReply(loginOn("20250101"));
    CThostFtdcReqUserLoginField login{};
    int connections = 0;

    // A fresh folder has nothing to resume from.
    SpiRecorder first;
    SpiRecorder later;
    TraderHandle trader{startTrader(first, front.address(), flow, THOST_TERT_RESUME)};
    velmora::wire::TopicSubscription topics = greeting(front, ++connections);
    QCOMPARE(topics.PrivateResumeType, static_cast<int>(THOST_TERT_RESUME));
    QCOMPARE(topics.PrivateSequence, 0);
    QCOMPARE(QByteArray(topics.TradingDay), QByteArray());
    QVERIFY(first.waitFor("OnFrontConnected", 1));
    QCOMPARE(trader.api->ReqUserLogin(&login, 1), 0);
    QVERIFY(first.waitFor("OnRspUserLogin", 1));

    // A number counts once its callback has returned: while notice 3 is in its callback the file
    // holds 2, and the reconnection after it resumes after 3. An unnumbered notice changes
    // nothing.
    std::promise<void> entered;
    std::promise<void> unblock;
    std::shared_future<void> unblocked = unblock.get_future().share();
    first.setHook([&](const SpiEvent &event) {
        if (event.name == "OnRtnOrder" && first.count("OnRtnOrder") == 4) {
            entered.set_value();
            unblocked.wait();
        }
    });
    for (int sequence : {1, 2, 0, 3}) {
        sendNotice(front, sequence);
    }
    QCOMPARE(entered.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    velmora::ctpapi::FlowFile file;
    file.openOrExit(flow, velmora::ctpapi::FlowFile::kTraderFileName);
    const int whileInCallback = file.read().privateSequence;
    unblock.set_value();
    QCOMPARE(whileInCallback, 2);
    QTRY_COMPARE(file.read().privateSequence, 3);
    front.dropAll();
    topics = greeting(front, ++connections);
    QCOMPARE(topics.PrivateSequence, 3);
    QCOMPARE(QByteArray(topics.TradingDay), QByteArray("20250101"));
    QVERIFY(first.waitFor("OnFrontConnected", 2));
    trader.release();

    // A new object on the folder: RESUME carries the position, RESTART and QUICK only the type,
    // and another file-name prefix in the same folder is a flow of its own.
    struct Case
    {
        std::string flow;
        THOST_TE_RESUME_TYPE resume;
        int sequence;
        const char *day;
    };
    for (const Case &c :
         {Case{flow, THOST_TERT_RESUME, 3, "20250101"}, Case{flow, THOST_TERT_RESTART, 0, ""},
          Case{flow, THOST_TERT_QUICK, 0, ""}, Case{flow + "other", THOST_TERT_RESUME, 0, ""}}) {
        SpiRecorder spi;
        TraderHandle next{startTrader(spi, front.address(), c.flow, c.resume)};
        topics = greeting(front, ++connections);
        QCOMPARE(topics.PrivateResumeType, static_cast<int>(c.resume));
        QCOMPARE(topics.PrivateSequence, c.sequence);
        QCOMPARE(QByteArray(topics.TradingDay), QByteArray(c.day));
        QCOMPARE(topics.PublicSequence, 0);
    }

    // A login on another trading day starts the numbers again.
    front.setReply(loginOn("20250102"));
    trader.api = startTrader(later, front.address(), flow, THOST_TERT_RESUME);
    QCOMPARE(greeting(front, ++connections).PrivateSequence, 3);
    QVERIFY(later.waitFor("OnFrontConnected", 1));
    QCOMPARE(trader.api->ReqUserLogin(&login, 1), 0);
    QVERIFY(later.waitFor("OnRspUserLogin", 1));
    front.dropAll();
    topics = greeting(front, ++connections);
    QCOMPARE(topics.PrivateSequence, 0);
    QCOMPARE(QByteArray(topics.TradingDay), QByteArray("20250102"));
}

void TestCtpApi::unusableFlowPathEndsTheProcess_data()
{
    QTest::addColumn<QString>("api");
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("trader, missing folder") << "trader"
                                            << "missing/"
                                            << "velmora-trader.flow" << 1;
    QTest::newRow("trader, a file in the way") << "trader"
                                               << "file/"
                                               << "velmora-trader.flow" << 1;
    QTest::newRow("md, missing folder") << "md"
                                        << "missing/"
                                        << "velmora-md.flow" << 1;
    QTest::newRow("trader, usable") << "trader"
                                    << ""
                                    << "velmora-trader.flow" << 0;
    QTest::newRow("md, usable with a prefix") << "md"
                                              << "md-"
                                              << "velmora-md.flow" << 0;
}

void TestCtpApi::unusableFlowPathEndsTheProcess()
{
    QFETCH(QString, api);
    QFETCH(QString, flow);
    QFETCH(QString, file);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    std::ofstream(dir.filePath("file").toStdString()) << "x";
    const QString path = dir.path() + "/" + flow;

    // Creating the object is what ends the process, so it happens in a child.
    QProcess child;
    child.start(VELMORA_FLOWPROBE_EXE, {api, path});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), exitCode);
    const QString error = QString::fromLocal8Bit(child.readAllStandardError());
    if (exitCode == 0) {
        QCOMPARE(error, QString());
        QVERIFY(QFile::exists(path + file));
    } else {
        QVERIFY2(error.startsWith("ctpapi: flow folder unusable (" + path + file + ": ") &&
                     error.count('\n') == 1,
                 qPrintable(error));
    }
}

void TestCtpApi::marketDataSubscription()
{
    FakeFront front;
    SpiRecorder spi;
    const std::string flow = scratch.path().toStdString() + "/";
    CThostFtdcMdApi *md = CThostFtdcMdApi::CreateFtdcMdApi(flow.c_str(), false, false);
    md->RegisterSpi(&spi);
    std::string address = front.address();
    md->RegisterFront(address.data());
    md->Init();
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));

    char first[] = "rb2705";
    char second[] = "IF2706";
    char *ids[] = {first, second};
    QCOMPARE(md->SubscribeMarketData(ids, 2), 0);
    QVERIFY(front.waitForReceived(MsgType::SubscribeMarketData, 2));
    std::vector<Frame> subscriptions;
    for (const Frame &frame : front.received()) {
        if (frame.type == MsgType::SubscribeMarketData) {
            subscriptions.push_back(frame);
        }
    }
    CThostFtdcSpecificInstrumentField instrument{};
    QVERIFY(subscriptions[1].recordAs(instrument));
    QCOMPARE(QByteArray(instrument.InstrumentID), QByteArray("IF2706"));
    QVERIFY(!subscriptions[0].isLast && subscriptions[1].isLast);

    // Empty prices travel as DBL_MAX, untouched.
    CThostFtdcDepthMarketDataField tick{};
    std::strcpy(tick.InstrumentID, "rb2705");
    tick.LastPrice = 3500;
    tick.ClosePrice = DBL_MAX;
    front.send(FrameCodec::encode(MsgType::RtnDepthMarketData, 0, true, nullptr, &tick));
    QVERIFY(spi.waitFor("OnRtnDepthMarketData", 1));
    QCOMPARE(spi.ticks().front().ClosePrice, DBL_MAX);
    QCOMPARE(spi.ticks().front().LastPrice, 3500.0);
    md->Release();
}

QTEST_GUILESS_MAIN(TestCtpApi)
#include "tst_ctpapi.moc"
