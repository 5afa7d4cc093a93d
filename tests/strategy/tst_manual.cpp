// The manual order and query commands of the main window, logged in to a started simulated
// front and platform: the question texts, the refusals, and what reaches the front.

#include "globalvars.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "platformsim.h"
#include "servicefront.h"
#include "signalapi.h"
#include "signalobject.h"
#include "simprocess.h"
#include "tradeservice.h"
#include "windowprobe.h"

#include <httplib.h>

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

const int kWaitMs = 20000;

// The market-data login rides on the trading login's answer, so it needs the market-data
// connection made by then; the service says so only in its log.
std::atomic<bool> marketDataConnected{false};
QtMessageHandler previousHandler = nullptr;

void watchLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QString::fromUtf8("[行情] 连接成功"))) {
        marketDataConnected = true;
    }
    previousHandler(type, context, message);
}

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

class TestManual : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void questions_data();
    void questions();
    void refusals_data();
    void refusals();
    void commandsReachTheFront();

private:
    // How many requests of the kind the front has received.
    int frontRequests(const char *type);
    void trigger(const char *action);

    PlatformSim sim;
    QTemporaryDir data;
    SimProcess front;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

void TestManual::initTestCase()
{
    qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
    MessageBox::setTestMode(true);
    QVERIFY(sim.start());
    PlatformSim::useDemoUser();
    QVERIFY(GlobalVars::signalApi->login());
    QVERIFY(GlobalVars::signalApi->getConfig());
    QVERIFY(startServiceFront(front, data.path()));
    GlobalVars::investerPassword = QStringLiteral("123456");

    window = std::make_unique<MainWindow>();
    probe = std::make_unique<WindowProbe>(*window);
    GlobalVars::mainWindow = window.get();
    SignalObject::setMainWindow(window.get());

    TradeService *trading = GlobalVars::tradeService;
    trading->chainDelayMs = 100;
    previousHandler = qInstallMessageHandler(watchLog);
    QCOMPARE(trading->init(), 0);
    QVERIFY(QTest::qWaitFor(
        [] { return GlobalVars::tradeConnectionState == 0 && marketDataConnected; }, kWaitMs));
    QCOMPARE(trading->reqUserLogin(11), 0);
    QVERIFY(QTest::qWaitFor(
        [] { return GlobalVars::strategyState == 1 && GlobalVars::mdLoginState == 0; }, kWaitMs));
}

void TestManual::init()
{
    GlobalVars::strategyState = 1;
    GlobalVars::accountType = QStringLiteral("simulation");
    QCOMPARE(GlobalVars::tradeConnectionState.load(), 0);
    QCOMPARE(GlobalVars::tradeLoginState.load(), 0);
    QCoreApplication::processEvents();
    probe->clearMessages();
    MessageBox::takeShown();
}

void TestManual::cleanupTestCase()
{
    GlobalVars::tradeService->release();
    qInstallMessageHandler(previousHandler);
    QVERIFY(GlobalVars::signalApi->waitForReports(15000));
    SignalObject::setMainWindow(nullptr);
    GlobalVars::mainWindow = nullptr;
    window.reset();
}

int TestManual::frontRequests(const char *type)
{
    const QUrl url(front.address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = client.Get((std::string("/requests?front=td&type=") + type).c_str());
    if (!result || result->status != 200) {
        return -1;
    }
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).array().size();
}

void TestManual::trigger(const char *action)
{
    probe->child<QAction>(action)->trigger();
}

void TestManual::questions_data()
{
    QTest::addColumn<QString>("accountType");
    QTest::addColumn<double>("profit");
    QTest::addColumn<int>("strategyState");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("question");

    // 0.3 x 100 is 30.000000000000004, shown as 30.
    QTest::newRow("open long, real")
        << "real" << 0.3 << 1 << "actionBuyOpen" << u("手动 多头 开仓")
        << u("将以 30 % 的资金多头 开仓，是否继续？实盘环境请谨慎操作！");
    QTest::newRow("open short, simulation")
        << "simulation" << 0.125 << 1 << "actionSellOpen" << u("手动 空头 开仓")
        << u("将以 12.5 % 的资金空头 开仓，是否继续？");
    QTest::newRow("close long, real")
        << "real" << 0.3 << 1 << "actionSellClose" << u("手动 多头 平仓")
        << u("将要 多头 平仓，是否继续？实盘环境请谨慎操作！");
    // Logged in, the login sequence not finished yet: the question is asked all the same.
    QTest::newRow("close short, not ready")
        << "simulation" << 0.3 << -1 << "actionBuyClose" << u("手动 空头 平仓")
        << u("将要 空头 平仓，是否继续？");
}

void TestManual::questions()
{
    QFETCH(QString, accountType);
    QFETCH(double, profit);
    QFETCH(int, strategyState);
    QFETCH(QString, action);
    QFETCH(QString, title);
    QFETCH(QString, question);

    GlobalVars::accountType = accountType;
    GlobalVars::profit = profit;
    GlobalVars::strategyState = strategyState;
    const int ordersBefore = frontRequests("ReqOrderInsert");

    MessageBox::setNextAnswer(1);
    trigger(action.toLatin1().constData());

    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, title);
    QCOMPARE(shown.first().text, question);
    QCOMPARE(shown.first().buttons, (QList<QString>{u("是"), u("否")}));
    QCOMPARE(shown.first().parent, window.get());
    // Declined: nothing goes out and nothing is written.
    QTest::qWait(200);
    QCOMPARE(frontRequests("ReqOrderInsert"), ordersBefore);
    QVERIFY(probe->messages().isEmpty());
}

void TestManual::refusals_data()
{
    QTest::addColumn<int>("connection");
    QTest::addColumn<int>("login");
    QTest::addColumn<int>("strategyState");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("line");

    const QString notLoggedIn = u("[错误] 未登录不能进行此操作！");
    QTest::newRow("order, disconnected") << 3 << 0 << 1 << "actionBuyOpen" << notLoggedIn;
    QTest::newRow("order, logged out") << 0 << 3 << 1 << "actionSellClose" << notLoggedIn;
    QTest::newRow("order, running")
        << 0 << 0 << 0 << "actionSellOpen" << u("[错误] 手动 空头 开仓，策略正在运行...");
    QTest::newRow("order, running and down") << 3 << 0 << 0 << "actionBuyClose" << notLoggedIn;
    QTest::newRow("query, logged out")
        << 0 << -1 << 1 << "actionSearchPosition" << u("[错误] 未登录，不能进行此操作");
    QTest::newRow("query, running")
        << 0 << 0 << 0 << "actionSettlementInfo" << u("[错误] 查询失败，策略正在运行...");
}

void TestManual::refusals()
{
    QFETCH(int, connection);
    QFETCH(int, login);
    QFETCH(int, strategyState);
    QFETCH(QString, action);
    QFETCH(QString, line);

    const int before = frontRequests("ReqOrderInsert") + frontRequests("ReqQryInvestorPosition") +
                       frontRequests("ReqQrySettlementInfo");
    GlobalVars::tradeConnectionState = connection;
    GlobalVars::tradeLoginState = login;
    GlobalVars::strategyState = strategyState;
    trigger(action.toLatin1().constData());
    GlobalVars::tradeConnectionState = 0;
    GlobalVars::tradeLoginState = 0;

    QCOMPARE(probe->messages(), QStringList{line});
    QVERIFY(MessageBox::takeShown().isEmpty());
    QTest::qWait(200);
    QCOMPARE(frontRequests("ReqOrderInsert") + frontRequests("ReqQryInvestorPosition") +
                 frontRequests("ReqQrySettlementInfo"),
             before);
}

void TestManual::commandsReachTheFront()
{
    // A query while the strategy is stopped goes out without a question, and its answer
    // reaches the cache.
    const int accountQueries = frontRequests("ReqQryTradingAccount");
    GlobalVars::available = -1.0;
    trigger("actionSearchAccount");
    QVERIFY(MessageBox::takeShown().isEmpty());
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::available >= 0.0; }, kWaitMs));
    QCOMPARE(frontRequests("ReqQryTradingAccount"), accountQueries + 1);

    // "是" sends the order, marked as given by hand in the platform's report.
    QVERIFY(QTest::qWaitFor(
        [] { return GlobalVars::askPrice1 > 0 && GlobalVars::upperLimitPrice > 0; }, kWaitMs));
    GlobalVars::profit = 1.0;
    GlobalVars::leverage = 1;
    GlobalVars::currMargin = 0.0;
    GlobalVars::available = 2.0 * GlobalVars::volumeMultiple * GlobalVars::upperLimitPrice;
    const int orders = frontRequests("ReqOrderInsert");
    const int reports = sim.reports().size();
    MessageBox::setNextAnswer(0);
    trigger("actionBuyOpen");
    QTRY_COMPARE_WITH_TIMEOUT(frontRequests("ReqOrderInsert"), orders + 1, kWaitMs);
    QVERIFY(GlobalVars::signalApi->waitForReports(kWaitMs));
    const QJsonArray stored = sim.reports();
    QVERIFY(stored.size() > reports);
    const QJsonObject report = stored[reports].toObject();
    QCOMPARE(report["path"].toString(), u("/api/tradeSimulation"));
    QCOMPARE(report["report"].toObject()["signalID"].toString(), u("0"));
}

QTEST_MAIN(TestManual)
#include "tst_manual.moc"
