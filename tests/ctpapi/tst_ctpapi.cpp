// The API's own behaviour against a scripted front: return codes, flow control, reconnection,
// heartbeats, malformed input and Release on every thread.

#include "fakefront.h"
#include "spirecorder.h"

#include <QtTest>

#include <cfloat>
#include <cstring>
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

CThostFtdcTraderApi *startTrader(SpiRecorder &spi, const std::string &address)
{
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi("");
    api->RegisterSpi(&spi);
    api->SubscribePublicTopic(THOST_TERT_RESTART);
    api->SubscribePrivateTopic(THOST_TERT_RESTART);
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

} // namespace

class TestCtpApi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void connectsAndSubscribesTopicsFirst();
    void requestsFailWithoutConnection();
    void queryFlowControl();
    void answersReachTheirCallbacks();
    void reconnectsAfterDrop();
    void heartbeatSilenceDropsTheConnection();
    void malformedFrameDropsTheConnection();
    void releaseInsideCallback();
    void releaseWhileCallbackBlocked();
    void releaseLetsAShortCallbackEnd();
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
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi("");
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
    api->Release();
    QCOMPARE(spi.count("OnFrontConnected"), 0);

    CThostFtdcMdApi *md = CThostFtdcMdApi::CreateFtdcMdApi("", false, false);
    char id[] = "rb2705";
    char *ids[] = {id};
    QCOMPARE(md->SubscribeMarketData(ids, 1), -1);
    md->Release();
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
    FakeFront front;
    SpiRecorder spi;
    CThostFtdcTraderApi *api = startTrader(spi, front.address());
    std::atomic<bool> released{false};
    spi.setHook([&](const SpiEvent &event) {
        if (event.name == "OnRtnOrder" && !released.exchange(true)) {
            api->Release();
        }
    });
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));
    for (int i = 0; i < 50; ++i) {
        const CThostFtdcOrderField order = orderNotice(i);
        front.send(FrameCodec::encode(MsgType::RtnOrder, 0, true, nullptr, &order));
    }
    QTRY_VERIFY(released.load());
    QTRY_COMPARE(spi.inside(), 0);
    QTest::qWait(300);
    QCOMPARE(spi.count("OnRtnOrder"), 1);
    QCOMPARE(spi.count("OnFrontDisconnected"), 0);
}

void TestCtpApi::releaseWhileCallbackBlocked()
{
    FakeFront front;
    SpiRecorder spi;
    CThostFtdcTraderApi *api = startTrader(spi, front.address());
    std::promise<void> entered;
    std::promise<void> unblock;
    std::shared_future<void> unblocked = unblock.get_future().share();
    std::atomic<int> blocked{0};
    spi.setHook([&](const SpiEvent &event) {
        if (event.name == "OnRtnOrder" && blocked.fetch_add(1) == 0) {
            entered.set_value();
            unblocked.wait();
        }
    });
    QVERIFY(spi.waitFor("OnFrontConnected", 1) && front.waitForConnections(1));

    // A stream of notices keeps the queue full while the first callback is stuck.
    std::atomic<bool> streaming{true};
    std::thread feeder([&] {
        for (int i = 0; streaming && i < 5000; ++i) {
            const CThostFtdcOrderField order = orderNotice(i);
            front.send(FrameCodec::encode(MsgType::RtnOrder, 0, true, nullptr, &order));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QCOMPARE(entered.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    auto release = std::async(std::launch::async, [api] { api->Release(); });
    const bool returned = release.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    const int countAtRelease = spi.count("OnRtnOrder");
    unblock.set_value();
    // The callback that was running when Release returned is the client's to wait for.
    QTRY_COMPARE(spi.inside(), 0);
    QTest::qWait(300);
    streaming = false;
    feeder.join();
    QVERIFY(returned);
    QCOMPARE(countAtRelease, 1);
    QCOMPARE(spi.count("OnRtnOrder"), 1);
}

void TestCtpApi::releaseLetsAShortCallbackEnd()
{
    // The client destroys its Spi right after Release: a callback that is about to end must not
    // outlive Release.
    FakeFront front;
    SpiRecorder spi;
    CThostFtdcTraderApi *api = startTrader(spi, front.address());
    std::promise<void> entered;
    std::atomic<bool> finished{false};
    spi.setHook([&](const SpiEvent &event) {
        if (event.name == "OnRtnOrder") {
            entered.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            finished = true;
        }
    });
    QVERIFY(spi.waitFor("OnFrontConnected", 1) &&
            front.waitForReceived(MsgType::SubscribeTopic, 1));
    const CThostFtdcOrderField order = orderNotice(1);
    front.send(FrameCodec::encode(MsgType::RtnOrder, 0, true, nullptr, &order));
    QCOMPARE(entered.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    api->Release();
    QVERIFY(finished.load());
    QTRY_COMPARE(spi.inside(), 0);
}

void TestCtpApi::marketDataSubscription()
{
    FakeFront front;
    SpiRecorder spi;
    CThostFtdcMdApi *md = CThostFtdcMdApi::CreateFtdcMdApi("", false, false);
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
