// The strategy controller of the main window against a started simulated platform: the start and
// stop buttons in every state, the blocking states found by the user-data refresh, a signal
// period of 0, the reconnect windows before the sessions open and the new-version notice.

#include "clock.h"
#include "globalvars.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "platformsim.h"
#include "signalapi.h"
#include "signalobject.h"
#include "tradeservice.h"
#include "windowprobe.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

const char *const kTimers[] = {"signalTimer", "waitTimer", "tokenTimer", "userDataTimer",
                               "configTimer"};

} // namespace

class TestStrategy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void startAndStop_data();
    void startAndStop();
    void noSignalPeriodAndARepeatedStart();
    void blockedByThePlatform_data();
    void blockedByThePlatform();
    void reconnectWindows_data();
    void reconnectWindows();
    void newVersionNotice();

private:
    bool platformLogin();
    void verifyHalted();

    PlatformSim sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

void TestStrategy::initTestCase()
{
    MessageBox::setTestMode(true);
    QVERIFY(sim.start());
    window = std::make_unique<MainWindow>();
    probe = std::make_unique<WindowProbe>(*window);
    GlobalVars::mainWindow = window.get();
    SignalObject::setMainWindow(window.get());
}

bool TestStrategy::platformLogin()
{
    PlatformSim::useDemoUser();
    if (!GlobalVars::signalApi->login() || !GlobalVars::signalApi->getConfig()) {
        return false;
    }
    // No front here: the trading connection only has to be made, never to succeed.
    GlobalVars::tdAddress = QStringLiteral("tcp://127.0.0.1:1");
    GlobalVars::mdAddress = QStringLiteral("tcp://127.0.0.1:1");
    GlobalVars::signalTimerSeconds = 3600;
    return true;
}

void TestStrategy::init()
{
    QVERIFY(sim.patchUser({{"username", "demo"},
                           {"state", true},
                           {"simulation", QJsonObject{{"instrument", "rb2705"}}}}));
    QVERIFY(platformLogin());
    window->showMainWindow(true);
    MessageBox::takeShown();
    probe->clearMessages();
}

void TestStrategy::cleanup()
{
    Clock::setFixed(QDateTime());
    GlobalVars::tradeService->release();
}

void TestStrategy::cleanupTestCase()
{
    SignalObject::setMainWindow(nullptr);
    GlobalVars::mainWindow = nullptr;
    window.reset();
}

// The state a blocking finding leaves: nothing runs, only the re-login is offered.
void TestStrategy::verifyHalted()
{
    for (const char *name : kTimers) {
        QVERIFY2(!probe->child<QTimer>(name)->isActive(), name);
    }
    QVERIFY(!probe->child<QGroupBox>("groupBox2")->isEnabled());
    QVERIFY(!probe->child<QAction>("loginMenuItem")->isEnabled());
    QVERIFY(!probe->child<QAction>("logoutMenuItem")->isEnabled());
    QVERIFY(!probe->child<QAction>("actionConnect")->isEnabled());
    QVERIFY(probe->child<QAction>("actionReLogin")->isEnabled());
}

void TestStrategy::startAndStop_data()
{
    QTest::addColumn<bool>("start");
    QTest::addColumn<QString>("accountType");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("box");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("groupEnabled");

    const QString sim = QStringLiteral("simulation");
    QTest::newRow("start, not ready") << true << sim << true << -1 << 0 << false << true << true;
    QTest::newRow("start, stopped") << true << sim << true << 1 << 0 << false << true << true;
    QTest::newRow("start, real") << true << u("real") << true << 1 << 0 << false << true << true;
    QTest::newRow("start, real, frozen")
        << true << u("real") << false << 1 << 3 << false << false << false;
    QTest::newRow("start, other type")
        << true << u("other") << true << 1 << 0 << false << false << false;
    QTest::newRow("stop, running") << false << sim << true << 0 << 1 << false << false << true;
    QTest::newRow("stop, not ready") << false << sim << true << -1 << -1 << false << false << false;
    QTest::newRow("stop, stopped") << false << sim << true << 1 << 1 << false << false << true;
    for (int blocking : {3, 4, 5}) {
        QTest::addRow("start, blocked %d", blocking)
            << true << sim << true << blocking << blocking << true << false << false;
        QTest::addRow("stop, blocked %d", blocking)
            << false << sim << true << blocking << blocking << true << false << false;
    }
}

void TestStrategy::startAndStop()
{
    QFETCH(bool, start);
    QFETCH(QString, accountType);
    QFETCH(bool, usable);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, box);
    QFETCH(bool, running);
    QFETCH(bool, groupEnabled);

    GlobalVars::accountType = accountType;
    // Logged in: the start is offered only then.
    GlobalVars::tradeLoginState = 0;
    if (from == 0) {
        window->start_btn_click();
    }
    GlobalVars::strategyState = from;
    GlobalVars::state = usable;
    probe->clearMessages();
    MessageBox::takeShown();

    if (start) {
        window->start_btn_click();
    } else {
        window->stop_btn_click();
    }

    QCOMPARE(GlobalVars::strategyState.load(), to);
    // What the user reads for each state, as written for the users.
    const QMap<int, QString> stateTexts{{-1, u("登录后可运行策略")},
                                        {0, u("策略正在运行...")},
                                        {1, u("策略已停止.")},
                                        {3, u("账户被冻结不能运行策略")},
                                        {4, u("账户信息已改变，请重新登录")},
                                        {5, u("检测到有异地登录，请重新登录")}};
    const QString stateText = stateTexts.value(to);
    QCOMPARE(probe->messages(), QStringList{u("[策略] ") + stateText});
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), box ? 1 : 0);
    if (box) {
        QCOMPARE(shown.first().title, u("提示信息"));
        QCOMPARE(shown.first().text, stateText);
        QVERIFY(shown.first().buttons.isEmpty());
    }

    QCOMPARE(probe->child<QTimer>("signalTimer")->isActive(), running);
    // The blinking follows the state, whatever the account type.
    QCOMPARE(probe->child<QTimer>("waitTimer")->isActive(), to == 0);
    QCOMPARE(probe->child<QGroupBox>("groupBox2")->isEnabled(), groupEnabled);
    auto *status = probe->child<QLabel>("strategyStatusLabel");
    QCOMPARE(status->text(), running ? u("策略正在执行中，请保持程序运行、保持网络畅通")
                                     : u("等待中，策略已停止运行"));
    QVERIFY(status->styleSheet().startsWith(running ? "color:green;" : "color:red;"));
    QCOMPARE(probe->child<QLabel>("strategyStateLabel")->text(), status->text());
    if (groupEnabled) {
        QCOMPARE(probe->child<QPushButton>("strategyOnButton")->isEnabled(), !running);
        QCOMPARE(probe->child<QPushButton>("strategyOffButton")->isEnabled(), running);
        QCOMPARE(probe->child<QPushButton>("strategyOffButton")->styleSheet(),
                 running ? u("color:white;background:red") : QString());
    }
    if (to > 1) {
        verifyHalted();
    } else {
        QVERIFY(probe->child<QTimer>("tokenTimer")->isActive());
        QVERIFY(probe->child<QTimer>("userDataTimer")->isActive());
        QVERIFY(probe->child<QTimer>("configTimer")->isActive());
    }
}

void TestStrategy::noSignalPeriodAndARepeatedStart()
{
    // No period known yet: the polling runs once a second, not at every pass of the event loop,
    // and does nothing while the trading session is down.
    GlobalVars::signalTimerSeconds = 0;
    GlobalVars::strategyState = 1;
    window->start_btn_click();
    auto *signalTimer = probe->child<QTimer>("signalTimer");
    QVERIFY(signalTimer->isActive());
    QCOMPARE(signalTimer->interval(), 1000);
    QTest::qWait(50);
    QCOMPARE(probe->messages(), QStringList{u("[策略] 策略正在运行...")});

    // A second start leaves the running timer alone and says so again.
    GlobalVars::signalTimerSeconds = 5;
    window->start_btn_click();
    QCOMPARE(signalTimer->interval(), 1000);
    QCOMPARE(probe->messages(),
             (QStringList{u("[策略] 策略正在运行..."), u("[策略] 策略正在运行...")}));

    // The run indicator blinks between the dot and an ideographic space of the same width.
    auto *indicator = probe->child<QLabel>("labelState");
    indicator->setText(u("●"));
    window->waitEvent();
    QCOMPARE(indicator->text(), QString(QChar(0x3000)));
    window->waitEvent();
    QCOMPARE(indicator->text(), u("●"));

    window->stop_btn_click();
    QVERIFY(!signalTimer->isActive());
    QCOMPARE(indicator->text(), u("●"));
}

void TestStrategy::blockedByThePlatform_data()
{
    QTest::addColumn<QJsonObject>("userPatch");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");

    // A frozen account is not a failed refresh: the state changes without a message.
    QTest::newRow("frozen") << QJsonObject{{"state", false}} << QJsonObject() << 3 << QString();
    QTest::newRow("instrument changed")
        << QJsonObject{{"simulation", QJsonObject{{"instrument", "ag2706"}}}} << QJsonObject() << 4
        << u("[策略] 账户信息已改变，请重新登录");
    QTest::newRow("login elsewhere")
        << QJsonObject() << QJsonObject{{"path", "/api/userData"}, {"status", 401}} << 5
        << u("[策略] 检测到有异地登录，请重新登录");
}

void TestStrategy::blockedByThePlatform()
{
    QFETCH(QJsonObject, userPatch);
    QFETCH(QJsonObject, fault);
    QFETCH(int, state);
    QFETCH(QString, message);

    GlobalVars::strategyState = 1;
    window->start_btn_click();
    QVERIFY(probe->child<QTimer>("signalTimer")->isActive());
    probe->clearMessages();
    if (!userPatch.isEmpty()) {
        userPatch.insert("username", "demo");
        QVERIFY(sim.patchUser(userPatch));
    }
    if (!fault.isEmpty()) {
        QVERIFY(sim.fault(fault));
    }

    window->userData();

    QCOMPARE(GlobalVars::strategyState.load(), state);
    QCOMPARE(probe->messages().contains(message), !message.isEmpty());
    QVERIFY(!probe->messages().join('\n').contains(u("[策略] 策略")));
    verifyHalted();
}

void TestStrategy::reconnectWindows_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("secondsConnected");
    QTest::addColumn<bool>("reconnects");

    QTest::newRow("08:54:59") << "08:54:59" << 1200 << false;
    QTest::newRow("08:55:00") << "08:55:00" << 1200 << true;
    QTest::newRow("09:00:59") << "09:00:59" << 1200 << true;
    QTest::newRow("09:01:00") << "09:01:00" << 1200 << false;
    QTest::newRow("20:54:00") << "20:54:00" << 1200 << false;
    QTest::newRow("20:55:00") << "20:55:00" << 1200 << true;
    QTest::newRow("21:00:30") << "21:00:30" << 1200 << true;
    QTest::newRow("21:01:00") << "21:01:00" << 1200 << false;
    QTest::newRow("10 min 59 s") << "09:00:00" << 659 << false;
    QTest::newRow("11 min") << "09:00:00" << 660 << true;
}

void TestStrategy::reconnectWindows()
{
    QFETCH(QString, time);
    QFETCH(int, secondsConnected);
    QFETCH(bool, reconnects);

    const QDateTime now(QDate(2026, 12, 7), QTime::fromString(time, "HH:mm:ss"));
    Clock::setFixed(now);
    GlobalVars::tradeService->release();
    QVERIFY(GlobalVars::tradeApi.load() == nullptr);
    GlobalVars::ctpConnectionTime = now.addSecs(-secondsConnected);
    GlobalVars::tradeLoginState = 0;
    GlobalVars::strategyState = 1;
    GlobalVars::pendingRequest = 0;

    window->userData();

    QCOMPARE(GlobalVars::pendingRequest.load(), reconnects ? 12 : 0);
    QCOMPARE(GlobalVars::tradeApi.load() != nullptr, reconnects);

    // Not while logged out, nor in a blocking state.
    GlobalVars::tradeService->release();
    GlobalVars::pendingRequest = 0;
    GlobalVars::tradeLoginState = 3;
    window->userData();
    QCOMPARE(GlobalVars::pendingRequest.load(), 0);
    QVERIFY(GlobalVars::tradeApi.load() == nullptr);
}

void TestStrategy::newVersionNotice()
{
    const QString notice = u("检测到新版本，为保证程序正确性，请尽快下载最新版本！");
    // Only a trailing blank apart, and still another version.
    QVERIFY(!sim.admin("POST", "/admin/config", {{"platform", QJsonObject{{"version", "1.0 "}}}})
                 .isEmpty());
    probe->clearMessages();
    window->refreshConfig();
    QCOMPARE(probe->messages(), QStringList{notice});

    QVERIFY(!sim.admin("POST", "/admin/config", {{"platform", QJsonObject{{"version", "1.0"}}}})
                 .isEmpty());
    probe->clearMessages();
    window->refreshConfig();
    QVERIFY(probe->messages().isEmpty());
}

QTEST_MAIN(TestStrategy)
#include "tst_strategy.moc"
