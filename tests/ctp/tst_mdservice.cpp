// The market-data service against the simulated front started as a process: login and
// subscription, the quote in the session record, a refused login, the reconnection after a
// dropped front, the logout and a release while ticks flow.

#include "globalvars.h"
#include "mdservice.h"
#include "mdspi.h"
#include "servicefront.h"
#include "signalobject.h"
#include "simprocess.h"

#include <httplib.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cfloat>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

const int kWaitMs = 15000;

// The system's own lines are critical messages; they are kept here instead of being printed.
std::mutex capturedMutex;
QStringList captured;
QtMessageHandler previousHandler = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtCriticalMsg) {
        previousHandler(type, context, message);
        return;
    }
    std::lock_guard<std::mutex> lock(capturedMutex);
    captured << message;
}

int logged(const QString &line)
{
    std::lock_guard<std::mutex> lock(capturedMutex);
    return captured.count(line);
}

int loggedStartingWith(const QString &prefix)
{
    std::lock_guard<std::mutex> lock(capturedMutex);
    return static_cast<int>(std::count_if(captured.begin(), captured.end(),
                                          [&](const QString &l) { return l.startsWith(prefix); }));
}

bool waitLogged(const QString &line, int times = 1, int timeoutMs = kWaitMs)
{
    QElapsedTimer waited;
    waited.start();
    while (logged(line) < times && waited.elapsed() < timeoutMs) {
        QTest::qWait(10);
    }
    return logged(line) >= times;
}

CThostFtdcDepthMarketDataField tick(const char *instrument, double price, int volume)
{
    CThostFtdcDepthMarketDataField record{};
    std::strncpy(record.InstrumentID, instrument, sizeof(record.InstrumentID) - 1);
    for (double *field : {&record.LastPrice, &record.OpenPrice, &record.ClosePrice,
                          &record.PreClosePrice, &record.HighestPrice, &record.LowestPrice,
                          &record.UpperLimitPrice, &record.LowerLimitPrice, &record.BidPrice1,
                          &record.AskPrice1, &record.Turnover, &record.OpenInterest}) {
        *field = price;
    }
    record.BidVolume1 = record.AskVolume1 = record.Volume = volume;
    return record;
}

} // namespace

// Stands in for the main window's instrument table: counts the redraws the relays ask for.
class InstrumentTable : public QObject
{
    Q_OBJECT

public:
    int redraws = 0;
    bool offGuiThread = false;

public slots:
    void setTableInstrument()
    {
        offGuiThread = offGuiThread || QThread::currentThread() != thread();
        ++redraws;
    }
};

class TestMdService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void loginSubscribesAndTicksFillTheQuote();
    void tickFilter_data();
    void tickFilter();
    void refusedLoginAndALateConnection();
    void droppedFrontLogsInAgainWith12();
    void logoutUnsubscribesEvenWhenRefused();
    void releaseWhileTicksFlow();

private:
    bool startFront(const QStringList &extra = {});
    bool admin(const std::string &path, const std::string &body);
    // The market-data front's request log as "type:requestId", oldest first.
    QStringList mdRequests();
    // Connects, logs in with 11 and waits for the first quote.
    bool logIn();

    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<SimProcess> front;
    MdService service;
    InstrumentTable table;
};

void TestMdService::initTestCase()
{
    previousHandler = qInstallMessageHandler(capture);
    SignalObject::setMainWindow(&table);
}

void TestMdService::init()
{
    GlobalVars::resetSession();
    GlobalVars::username = QStringLiteral("tester");
    GlobalVars::brokerID = QStringLiteral("9999");
    GlobalVars::investerID = QStringLiteral("000001");
    GlobalVars::investerPassword = QStringLiteral("123456");
    GlobalVars::instrument = QStringLiteral("rb2705");
    {
        std::lock_guard<std::mutex> lock(capturedMutex);
        captured.clear();
    }
    table.redraws = 0;
    data = std::make_unique<QTemporaryDir>();
    front = std::make_unique<SimProcess>();
}

void TestMdService::cleanup()
{
    service.release();
    QVERIFY(!table.offGuiThread);
    front.reset();
    data.reset();
}

bool TestMdService::startFront(const QStringList &extra)
{
    return startServiceFront(*front, data->path(), extra);
}

bool TestMdService::admin(const std::string &path, const std::string &body)
{
    return adminRequest(*front, path, body);
}

QStringList TestMdService::mdRequests()
{
    const QUrl url(front->address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = client.Get("/requests?front=md");
    QStringList requests;
    if (!result || result->status != 200) {
        return {"no answer"};
    }
    const QJsonArray entries =
        QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).array();
    for (const QJsonValue &entry : entries) {
        const QJsonObject e = entry.toObject();
        requests << QStringLiteral("%1:%2").arg(e["type"].toString()).arg(e["requestId"].toInt());
    }
    return requests;
}

bool TestMdService::logIn()
{
    GlobalVars::lastPrice = -1.0;
    return service.init() == 0 && waitLogged("[行情] 连接成功") && service.reqUserLogin(11) == 0 &&
           QTest::qWaitFor([] { return GlobalVars::mdLoginState == 0; }, kWaitMs) &&
           QTest::qWaitFor([] { return GlobalVars::lastPrice > 0; }, kWaitMs);
}

void TestMdService::loginSubscribesAndTicksFillTheQuote()
{
    QVERIFY(startFront());
    QVERIFY(admin("/quotes/pause", "{}"));
    QVERIFY(logIn());
    const QString flow = QStringLiteral("flow/tester/9999_000001_%1_md")
                             .arg(static_cast<QString>(GlobalVars::startStamp));
    QVERIFY(QDir(flow).exists());
    QCOMPARE(mdRequests(), QStringList({"ReqUserLogin:11", "SubscribeMarketData:0"}));

    // The walk is paused: the snapshot after subscribing is the one tick so far, one redraw each.
    QTRY_COMPARE_WITH_TIMEOUT(table.redraws, 1, kWaitMs);

    // Locked at the upper limit: the empty ask side arrives as the largest double.
    QVERIFY(admin("/quote",
                  R"({"instrument": "rb2705", "bids": [[3745, 800], [3744, 20]], "asks": []})"));
    QTRY_COMPARE_WITH_TIMEOUT(table.redraws, 2, kWaitMs);
    QCOMPARE(GlobalVars::bidPrice1.load(), 3745.0);
    QCOMPARE(GlobalVars::bidVolume1.load(), 800);
    QCOMPARE(GlobalVars::askPrice1.load(), 0.0);
    QCOMPARE(GlobalVars::askVolume1.load(), 0);
    QCOMPARE(GlobalVars::closePrice.load(), 0.0);
    QCOMPARE(GlobalVars::upperLimitPrice.load(), 3745.0);
    QCOMPARE(GlobalVars::lowerLimitPrice.load(), 3255.0);
    const double last = GlobalVars::lastPrice;

    // Another instrument's snapshot changes nothing but still redraws the table.
    char other[] = "sc2706";
    char *ids[] = {other};
    QCOMPARE(MdSpi::subscribeMarketData(ids, 1), 0);
    QTRY_COMPARE_WITH_TIMEOUT(table.redraws, 3, kWaitMs);
    QCOMPARE(GlobalVars::lastPrice.load(), last);
    QCOMPARE(GlobalVars::bidVolume1.load(), 800);
    QCOMPARE(GlobalVars::askPrice1.load(), 0.0);

    for (const char *line :
         {"[CTP行情连接] 初始化连接", "[行情] 连接成功", "[行情登录] 发送请求，返回码： 0",
          "[行情登录] 返回码： 0 ，返回信息： \"正确\"", "[行情订阅] 发送请求，返回码： 0"}) {
        QVERIFY2(logged(line) >= 1, line);
    }
    // A subscription answered without error is not logged.
    QCOMPARE(loggedStartingWith("[行情订阅应答]"), 0);
}

void TestMdService::tickFilter_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<double>("price");
    QTest::addColumn<double>("stored");
    QTest::addColumn<int>("volume");

    const double untouched = -5.0;
    QTest::newRow("the instrument") << QByteArray("rb2705") << 3600.0 << 3600.0 << 7;
    QTest::newRow("trailing blanks") << QByteArray("rb2705   ") << 3600.0 << 3600.0 << 7;
    QTest::newRow("no price") << QByteArray("rb2705") << DBL_MAX << 0.0 << 7;
    QTest::newRow("largest real price")
        << QByteArray("rb2705") << 999999999999.0 << 999999999999.0 << 7;
    QTest::newRow("another instrument") << QByteArray("rb2710") << 3600.0 << untouched << -5;
    QTest::newRow("a prefix of it") << QByteArray("rb27") << 3600.0 << untouched << -5;
}

// The callback itself, on this thread, where the relay runs the slot at once.
void TestMdService::tickFilter()
{
    QFETCH(QByteArray, id);
    QFETCH(double, price);
    QFETCH(double, stored);
    QFETCH(int, volume);

    GlobalVars::lastPrice = GlobalVars::closePrice = GlobalVars::askPrice1 = -5.0;
    GlobalVars::turnover = GlobalVars::openInterest = -5.0;
    GlobalVars::bidVolume1 = GlobalVars::volume = -5;
    MdSpi spi;
    CThostFtdcDepthMarketDataField record = tick(id.constData(), price, 7);
    spi.OnRtnDepthMarketData(&record);
    spi.OnRtnDepthMarketData(nullptr);

    QCOMPARE(table.redraws, 1);
    for (double value :
         {GlobalVars::lastPrice.load(), GlobalVars::closePrice.load(), GlobalVars::askPrice1.load(),
          GlobalVars::turnover.load(), GlobalVars::openInterest.load()}) {
        QCOMPARE(value, stored);
    }
    QCOMPARE(GlobalVars::bidVolume1.load(), volume);
    QCOMPARE(GlobalVars::volume.load(), volume);
}

void TestMdService::refusedLoginAndALateConnection()
{
    QVERIFY(startFront());
    QVERIFY(admin("/fault", R"({"front": "md", "request": "ReqUserLogin", "errorId": 3,
                               "errorMsg": "CTP:不合法的登录"})"));
    QCOMPARE(service.init(), 0);
    QVERIFY(waitLogged("[行情] 连接成功"));
    QCOMPARE(service.reqUserLogin(11), 0);
    QVERIFY(waitLogged("[行情登录] 返回码： 3 ，返回信息： \"CTP:不合法的登录\""));
    QCOMPARE(GlobalVars::mdLoginState.load(), -1);
    QCOMPARE(mdRequests(), QStringList({"ReqUserLogin:11"}));
    service.release();

    // Connected only after the trading login: it logs in by itself.
    GlobalVars::tradeLoginState = 0;
    QCOMPARE(service.init(), 0);
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::mdLoginState == 0; }, kWaitMs));
    QCOMPARE(mdRequests().mid(1), QStringList({"ReqUserLogin:12", "SubscribeMarketData:0"}));
}

void TestMdService::droppedFrontLogsInAgainWith12()
{
    QVERIFY(startFront());
    QVERIFY(logIn());
    QVERIFY(QTest::qWaitFor([&] { return mdRequests().size() == 2; }, kWaitMs));
    QVERIFY(admin("/drop", R"({"refuseSeconds": 1})"));
    QVERIFY(waitLogged("[行情] 已断开"));
    GlobalVars::lastPrice = -1.0;

    // The API reconnects by itself; the service logs in again and subscribes on the answer.
    QVERIFY(waitLogged("[行情] 连接成功", 2, 30000));
    const QStringList after = {"ReqUserLogin:11", "SubscribeMarketData:0", "ReqUserLogin:12",
                               "SubscribeMarketData:0"};
    QVERIFY(QTest::qWaitFor([&] { return mdRequests() == after; }, kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(GlobalVars::lastPrice > 0, kWaitMs);
    QCOMPARE(GlobalVars::mdLoginState.load(), 0);
    QCOMPARE(mdRequests(), after);
}

void TestMdService::logoutUnsubscribesEvenWhenRefused()
{
    QVERIFY(startFront());
    QVERIFY(logIn());
    QVERIFY(admin("/fault", R"({"front": "md", "request": "ReqUserLogout", "errorId": 9,
                               "errorMsg": "CTP:无此权限"})"));
    QCOMPARE(service.reqUserLogout(101), 0);
    QVERIFY(waitLogged("[行情退出登录] 返回码： 9 ，返回信息： \"CTP:无此权限\""));
    QCOMPARE(GlobalVars::mdLoginState.load(), 0);
    // Still logged in at the front, so the unsubscription is answered without error, and logged.
    QVERIFY(waitLogged("[行情退订应答] 返回码： 0 ，返回信息： \"正确\""));

    QCOMPARE(service.reqUserLogout(102), 0);
    QTRY_COMPARE_WITH_TIMEOUT(GlobalVars::mdLoginState.load(), 3, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(loggedStartingWith("[行情退订应答] 返回码："), 2, kWaitMs);
    QCOMPARE(logged("[行情退订] 发送请求，返回码： 0"), 2);
    QCOMPARE(mdRequests().mid(2), QStringList({"ReqUserLogout:101", "UnSubscribeMarketData:0",
                                               "ReqUserLogout:102", "UnSubscribeMarketData:0"}));
}

void TestMdService::releaseWhileTicksFlow()
{
    QVERIFY(startFront({"--tick-ms", "1"}));
    QVERIFY(logIn());
    QTRY_VERIFY_WITH_TIMEOUT(table.redraws > 20, kWaitMs);

    // The trading side may ask for a login at any moment, also while the service goes.
    std::atomic<bool> released{false};
    std::atomic<bool> stop{false};
    std::atomic<int> sentAfterRelease{0};
    std::thread trading([&] {
        while (!stop) {
            const bool wasReleased = released;
            if (service.reqUserLogin(101) == 0 && wasReleased) {
                ++sentAfterRelease;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    QTest::qWait(50);
    service.release();
    released = true;
    QTest::qWait(50);
    stop = true;
    trading.join();

    QCOMPARE(sentAfterRelease.load(), 0);
    QVERIFY(GlobalVars::mdApi.load() == nullptr);
    QVERIFY(GlobalVars::mdSpi.load() == nullptr);
    GlobalVars::lastPrice = -1.0;
    const int disconnections = loggedStartingWith("[行情] 已断开");
    QTest::qWait(300);
    QCOMPARE(GlobalVars::lastPrice.load(), -1.0);
    QCOMPARE(loggedStartingWith("[行情] 已断开"), disconnections);

    // A later start makes a new callback object and connects again.
    service.release();
    QCOMPARE(service.init(), 0);
    QVERIFY(GlobalVars::mdSpi.load() != nullptr);
    QVERIFY(waitLogged("[行情] 连接成功", 2));
}

QTEST_MAIN(TestMdService)
#include "tst_mdservice.moc"
