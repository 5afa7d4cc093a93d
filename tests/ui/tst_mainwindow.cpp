// The main window offscreen: its form and status bar, the message area, and one session against a
// started simulated platform and front, from the platform login through the trading login, the
// tables, the logout and the re-login to the exit.

#include "clock.h"
#include "globalvars.h"
#include "loginsite.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "platformsim.h"
#include "servicefront.h"
#include "signalapi.h"
#include "signalobject.h"
#include "simprocess.h"
#include "tradeservice.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

namespace {

const int kWaitMs = 20000;

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

template <class T> T *child(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found) {
        qFatal("no child %s", name);
    }
    return found;
}

QString cell(const QObject &window, const char *view, int row, int column)
{
    return child<QTableView>(window, view)->model()->index(row, column).data().toString();
}

QStringList lines(const QObject &window)
{
    return child<QTextEdit>(window, "textEdit")->toPlainText().split(QLatin1Char('\n'));
}

bool timersActive(const QObject &window, QStringList names)
{
    for (const QString &name : names) {
        if (!child<QTimer>(window, name.toLatin1().constData())->isActive()) {
            return false;
        }
    }
    return true;
}

bool anyTimerActive(const QObject &window)
{
    for (const QTimer *timer : window.findChildren<QTimer *>()) {
        if (!timer->objectName().isEmpty() && timer->isActive()) {
            return true;
        }
    }
    return false;
}

// The enabling of the named actions and widgets, as "1101".
QString enabling(const QObject &window, std::initializer_list<const char *> names)
{
    QString flags;
    for (const char *name : names) {
        flags += child<QObject>(window, name)->property("enabled").toBool() ? '1' : '0';
    }
    return flags;
}

QString sessionActions(const QObject &window)
{
    return enabling(window, {"loginMenuItem", "logoutMenuItem", "actionConnect", "actionReLogin"});
}

// The orders, the queries and the start of the strategy.
QString accountActions(const QObject &window)
{
    return enabling(window, {"actionBuyOpen", "actionSellClose", "actionSellOpen", "actionBuyClose",
                             "actionSearchAccount", "actionSearchPosition",
                             "actionSearchInstrument", "actionSettlementInfo", "strategyOnButton"});
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formAndStatusTexts();
    void messageAreaShowsTextsLiterally();
    void tabLeavesTablesAndReachesButtons();
    void oneSessionFromLoginToExit();

private:
    bool platformLogin(SimProcess &front);
};

void TestMainWindow::initTestCase()
{
    qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
    MessageBox::setTestMode(true);
    Clock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
}

void TestMainWindow::formAndStatusTexts()
{
    MainWindow window;
    QCOMPARE(window.objectName(), u("MainWindow"));
    QCOMPARE(window.windowTitle(), u("程序化交易(CTP版)"));
    QCOMPARE(window.size(), QSize(1100, 700));
    QVERIFY(!window.windowIcon().isNull());

    const struct
    {
        const char *name;
        const char *text;
    } texts[] = {{"groupBoxAccount", "交易账户信息"},
                 {"groupBoxInstrument", "合约行情"},
                 {"groupBoxPosition", "持仓信息"},
                 {"groupBox2", "策略状态"},
                 {"groupBox3", "信息栏"},
                 {"labelState", "●"},
                 {"strategyStateLabel", "策略运行状态：登录后可执行策略"},
                 {"strategyOnButton", "开 始"},
                 {"strategyOffButton", "停 止"},
                 {"connectionStatusCaption", "CTP服务器连接状态："},
                 {"connectionStatusLabel", "● 正在连接..."},
                 {"loginStatusCaption", "CTP账户登录状态："},
                 {"loginStatusLabel", "未登录"},
                 {"strategyStatusCaption", "策略运行状态："},
                 {"strategyStatusLabel", "等待中，登录后可执行策略"}};
    for (const auto &t : texts) {
        QObject *object = child<QObject>(window, t.name);
        const QByteArray property = object->inherits("QGroupBox") ? "title" : "text";
        QCOMPARE(object->property(property).toString(), u(t.text));
    }
    QVERIFY(!child<QGroupBox>(window, "groupBox2")->isEnabled());
    QVERIFY(!child<QPushButton>(window, "strategyOnButton")->isEnabled());
    // Menus in menu-bar order, their items in order, separators as "—".
    QStringList menus;
    for (QAction *menuAction : child<QMenuBar>(window, "menuBar")->actions()) {
        QStringList items;
        for (QAction *item : menuAction->menu()->actions()) {
            items << (item->isSeparator() ? u("—") : item->objectName() + '=' + item->text());
        }
        menus << menuAction->menu()->objectName() + ':' + menuAction->text() + '[' +
                     items.join(',') + ']';
    }
    QCOMPARE(menus,
             QStringList(
                 {u("menu:选项[loginMenuItem=登录交易账户,logoutMenuItem=注销交易账户,—,"
                    "actionConnect=重新连接CTP服务器,—,actionReLogin=注销录程序化用户]"),
                  u("menu_2:编辑[clearMenuItem=清空信息栏]"),
                  u("actionView:视图[actionViewAccount=交易账户信息 - 显示/隐藏,"
                    "actionViewInstrument=合约行情 - 显示/隐藏,actionViewPosition=持仓信息 "
                    "- 显示/隐藏,—,actionViewShow=全部显示,actionViewHide=全部隐藏]"),
                  u("menu_3:报单[actionBuyOpen=多头开仓（买开）,actionSellClose=多头平仓（卖平）,"
                    "—,actionSellOpen=空头开仓（卖开),actionBuyClose=空头平仓（买平）]"),
                  u("menu_4:查询[actionSearchAccount=刷新交易账户信息,actionSearchPosition="
                    "刷新持仓信息,actionSearchInstrument=刷新合约信息,—,"
                    "actionSettlementInfo=显示结算单,—,actionActivity=运行记录]")}));

    // The status bar's six labels, in order.
    QStringList status;
    for (QLabel *label : child<QStatusBar>(window, "statusBar")->findChildren<QLabel *>()) {
        if (!label->objectName().isEmpty()) {
            status << label->objectName();
        }
    }
    QCOMPARE(status,
             QStringList({"connectionStatusCaption", "connectionStatusLabel", "loginStatusCaption",
                          "loginStatusLabel", "strategyStatusCaption", "strategyStatusLabel"}));

    // The two trading states as the status bar shows them.
    const struct
    {
        int state;
        const char *connection;
        const char *login;
    } states[] = {{0, "已连接", "已登录"},
                  {1, "正在连接...", "正在登录..."},
                  {2, "连接失败", "登录失败"},
                  {3, "连接已断开", "已退出登录"},
                  {-1, "未连接", "未登录"}};
    auto *connection = child<QLabel>(window, "connectionStatusLabel");
    auto *login = child<QLabel>(window, "loginStatusLabel");
    auto *loginItem = child<QAction>(window, "loginMenuItem");
    GlobalVars::state = true;
    for (const auto &s : states) {
        const QString colour = s.state == 0 ? u("color:green;") : u("color:red;");
        GlobalVars::tradeConnectionState = s.state;
        window.setConnectionState(false);
        QCOMPARE(connection->text(), u("● CTP") + u(s.connection));
        QCOMPARE(connection->styleSheet(), colour + u("margin-right:10px;"));
        QCOMPARE(loginItem->isEnabled(), s.state == 0);
        GlobalVars::tradeLoginState = s.state;
        window.setLoginState(false);
        QCOMPARE(login->text(), u("● ") + u(s.login));
        QCOMPARE(login->styleSheet(), colour + u("margin-left:10px;margin-right:10px;"));
        QCOMPARE(loginItem->isEnabled(), s.state != 0);
    }

    // A re-login refused on a live connection: the account shows as logged out and nothing
    // that acts on it is offered, until a later login succeeds.
    QCOMPARE(accountActions(window), u("000000000"));
    GlobalVars::strategyState = 1;
    GlobalVars::tradeConnectionState = 0;
    window.setConnectionState(true);
    for (int state : {0, 3, 0}) {
        GlobalVars::tradeLoginState = state;
        window.setLoginState(state == 0);
        QCOMPARE(login->text(), state == 0 ? u("● 已登录") : u("● 已退出登录"));
        QCOMPARE(accountActions(window), state == 0 ? u("111111111") : u("000000000"));
    }
    GlobalVars::resetSession();
}

void TestMainWindow::messageAreaShowsTextsLiterally()
{
    MainWindow window;
    const QString stamp = u(" - 2026/12/07 10:00:00");
    window.append(u("[错误] <b>CTP:资金不足</b> 50%1 %2"));
    window.append(u("second"));
    QCOMPARE(lines(window), QStringList({u(">> [错误] <b>CTP:资金不足</b> 50%1 %2") + stamp,
                                         u(">> second") + stamp}));
    window.clearTextEdit();
    window.append(u("after clearing"));
    window.append(u("next"));
    QCOMPARE(lines(window), QStringList({u(">> after clearing") + stamp, u(">> next") + stamp}));
    for (QTextBlock block = child<QTextEdit>(window, "textEdit")->document()->begin();
         block.isValid(); block = block.next()) {
        QCOMPARE(block.blockFormat().lineHeightType(), int(QTextBlockFormat::FixedHeight));
        QCOMPARE(block.blockFormat().lineHeight(), 30.0);
    }
}

void TestMainWindow::tabLeavesTablesAndReachesButtons()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // Filled tables are what keeps Tab inside a view that navigates its cells with it.
    window.toggleViewShow();
    // The two buttons are never enabled together; here both are, so each shows its place.
    child<QGroupBox>(window, "groupBox2")->setEnabled(true);
    child<QPushButton>(window, "strategyOnButton")->setEnabled(true);
    child<QPushButton>(window, "strategyOffButton")->setEnabled(true);

    child<QTextEdit>(window, "textEdit")->setFocus();
    const QStringList order{"accountView",      "instrumentView",    "positionView",
                            "strategyOnButton", "strategyOffButton", "textEdit"};
    for (Qt::KeyboardModifier modifier : {Qt::NoModifier, Qt::ShiftModifier}) {
        QStringList visited;
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifier);
            visited << QApplication::focusWidget()->objectName();
        }
        QStringList expected = order;
        if (modifier == Qt::ShiftModifier) {
            std::reverse(expected.begin(), expected.end() - 1);
        }
        QCOMPARE(visited, expected);
    }
}

bool TestMainWindow::platformLogin(SimProcess &front)
{
    PlatformSim::useDemoUser();
    if (!GlobalVars::signalApi->login() || !GlobalVars::signalApi->getConfig()) {
        return false;
    }
    GlobalVars::tdAddress = front.address("td");
    GlobalVars::mdAddress = front.address("md");
    GlobalVars::investerPassword = QStringLiteral("123456");
    return true;
}

void TestMainWindow::oneSessionFromLoginToExit()
{
    PlatformSim sim;
    QVERIFY(sim.start());
    QTemporaryDir data;
    SimProcess front;
    QVERIFY(startServiceFront(front, data.path()));
    GlobalVars::tradeService->chainDelayMs = 100;

    MainWindow window;
    window.closePauseMs = 0;
    LoginSite loginSite;
    GlobalVars::mainWindow = &window;
    GlobalVars::loginSite = &loginSite;
    SignalObject::setMainWindow(&window);
    QCOMPARE(sessionActions(window), u("1111"));

    // The platform login shows the window and starts the trading connection.
    QVERIFY(platformLogin(front));
    window.showMainWindow(true);
    QVERIFY(window.isVisible());
    QCOMPARE(lines(window).first(), u(">> [初始化] 已建立模拟交易环境 - 2026/12/07 10:00:00"));
    QCOMPARE(window.windowTitle(), u("velmora - demo - 程序化交易(CTP版) - 模拟交易"));
    QCOMPARE(child<QLabel>(window, "accountTypeLabel")->text(), u("模拟盘交易"));
    QVERIFY(timersActive(window, {"tokenTimer", "userDataTimer", "configTimer"}));
    QVERIFY(QTest::qWaitFor(
        [&] { return child<QLabel>(window, "connectionStatusLabel")->text() == u("● CTP已连接"); },
        kWaitMs));
    QVERIFY(
        child<QLabel>(window, "connectionStatusLabel")->styleSheet().startsWith("color:green;"));
    QCOMPARE(sessionActions(window), u("1111"));

    // The trading login and its sequence end with the strategy ready.
    QCOMPARE(GlobalVars::tradeService->reqUserLogin(11), 0);
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::strategyState == 1; }, kWaitMs));
    QVERIFY(QTest::qWaitFor(
        [&] { return !lines(window).filter(u(">> [策略] 策略已停止. - ")).isEmpty(); }, kWaitMs));
    QCOMPARE(child<QLabel>(window, "loginStatusLabel")->text(), u("● 已登录"));
    QVERIFY(child<QLabel>(window, "loginStatusLabel")->styleSheet().startsWith("color:green;"));
    QCOMPARE(sessionActions(window), u("0111"));
    QVERIFY(child<QGroupBox>(window, "groupBox2")->isEnabled());
    QCOMPARE(accountActions(window), u("111111111"));

    // The tables show the caches.
    window.setTableAccount();
    window.setTablePosition();
    QCOMPARE(cell(window, "accountView", 0, 0), u("程序化平台用户名"));
    QCOMPARE(cell(window, "accountView", 1, 0), u("demo"));
    QCOMPARE(cell(window, "accountView", 1, 1), u("模拟交易"));
    QCOMPARE(cell(window, "accountView", 1, 4), u("000001"));
    QCOMPARE(cell(window, "accountView", 1, 7),
             QString::number(GlobalVars::available.load(), 'f', 2));
    QCOMPARE(child<QTableView>(window, "accountView")->model()->columnCount(), 8);
    QCOMPARE(cell(window, "positionView", 1, 0), u("买入"));
    QCOMPARE(cell(window, "positionView", 2, 10),
             QString::number(GlobalVars::shortCloseProfit.load(), 'f', 2));
    GlobalVars::priceTick = 0.2;
    GlobalVars::expireDate = u("2027:05");
    window.setTableInstrument();
    QCOMPARE(child<QTableView>(window, "instrumentView")->model()->columnCount(), 17);
    QCOMPARE(cell(window, "instrumentView", 1, 0), u("rb2705"));
    QCOMPARE(cell(window, "instrumentView", 1, 12), u("2027"));
    QCOMPARE(cell(window, "instrumentView", 1, 16), u("0.2"));
    QCOMPARE(cell(window, "instrumentView", 0, 14), u("交易中"));
    window.grab().save(QStringLiteral("/tmp/h9-mainwindow.png"));

    // Every quote changes the cells in place, and a longer text widens its column; nothing
    // piles up under the view.
    auto *instrumentView = child<QTableView>(window, "instrumentView");
    const QAbstractItemModel *quotedModel = instrumentView->model();
    const int nameWidth = instrumentView->columnWidth(1);
    for (int i = 0; i < 30; ++i) {
        GlobalVars::instrumentName = u("螺纹钢二七零五合约") + QString::number(i);
        window.setTableInstrument();
    }
    QCOMPARE(instrumentView->model(), quotedModel);
    QCOMPARE(cell(window, "instrumentView", 1, 1), u("螺纹钢二七零五合约29"));
    QVERIFY(instrumentView->columnWidth(1) > nameWidth);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(
        instrumentView->findChildren<QAbstractItemModel *>(QString(), Qt::FindDirectChildrenOnly)
            .size(),
        1);
    // A hidden table is not rebuilt; shown again, it shows the caches at once, not what it held
    // when it was hidden.
    window.toggleViewInstrument();
    QVERIFY(!child<QGroupBox>(window, "groupBoxInstrument")->isVisible());
    const QAbstractItemModel *shownModel = instrumentView->model();
    GlobalVars::expireDate = u("20280514");
    window.setTableInstrument();
    window.setLoginState(false);
    QCOMPARE(instrumentView->model(), shownModel);
    window.toggleViewInstrument();
    QCOMPARE(cell(window, "instrumentView", 1, 12), u("20280514"));

    // Logout keeps the session; the strategy is not ready any more.
    window.logoutSlot();
    QCOMPARE(GlobalVars::strategyState.load(), -1);
    QVERIFY(lines(window).last().startsWith(u(">> [策略] 登录后可运行策略")));
    QVERIFY(QTest::qWaitFor(
        [&] { return child<QLabel>(window, "loginStatusLabel")->text() == u("● 已退出登录"); },
        kWaitMs));
    QCOMPARE(accountActions(window), u("000000000"));
    QCOMPARE(GlobalVars::pendingRequest.load(), 0);

    // Re-login and exit declined, or the exit box closed otherwise: nothing is torn down.
    MessageBox::takeShown();
    MessageBox::setNextAnswer(1);
    window.actionReLogin_click();
    MessageBox::setNextAnswer(1);
    QVERIFY(!window.close());
    MessageBox::setNextAnswer(-1);
    QVERIFY(!window.close());
    const QList<MessageBox::Shown> asked = MessageBox::takeShown();
    QCOMPARE(asked.size(), 3);
    QCOMPARE(asked[0].title + asked[0].text, u("提示注销当前程序化用户，重新登录？"));
    QCOMPARE(asked[1].title + asked[1].text, u("提示确定退出？"));
    QCOMPARE(asked[1].buttons, (QList<QString>{u("确定"), u("取消")}));
    QVERIFY(window.isVisible() && window.isEnabled());
    QVERIFY(timersActive(window, {"tokenTimer", "userDataTimer", "configTimer"}));

    // Re-login confirmed: the session closes, the platform login window takes over, and the
    // signals already acted on are remembered.
    GlobalVars::signalIds.append(QStringLiteral("S-done"));
    MessageBox::setNextAnswer(0);
    window.actionReLogin_click();
    QVERIFY(!window.isVisible() && !window.isEnabled());
    QVERIFY(loginSite.isVisible());
    QVERIFY(!anyTimerActive(window));
    // The login item follows the login refresh of the close; the window is disabled anyway.
    QCOMPARE(sessionActions(window).mid(1), u("001"));
    QVERIFY(GlobalVars::tradeApi.load() == nullptr);
    QVERIFY(GlobalVars::username.isEmpty());
    QCOMPARE(GlobalVars::strategyState.load(), -1);
    QCOMPARE(GlobalVars::signalIds, QStringList{QStringLiteral("S-done")});

    // A second session, closed by the exit while a report is still on its way: the report
    // goes out under the session's token before the session is reset.
    loginSite.hide();
    QVERIFY(platformLogin(front));
    window.showMainWindow(true);
    QVERIFY(window.isEnabled());
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs));
    const int reportsBefore = sim.reports().size();
    QVERIFY(sim.fault({{"path", "/api/tradeSimulation"}, {"delayMs", 1500}}));
    GlobalVars::signalApi->reportOrder(u("K-exit"), u("0"), u("多头 开仓"), 1, 3500.0);
    MessageBox::setNextAnswer(0);
    QVERIFY(window.close());
    const QJsonArray reports = sim.reports();
    QCOMPARE(reports.size(), reportsBefore + 1);
    QCOMPARE(reports.last().toObject()["report"].toObject()["orderID"].toString(), u("K-exit"));
    QVERIFY(reports.last().toObject()["accepted"].toBool());
    QVERIFY(!window.isVisible() && !window.isEnabled());
    QVERIFY(!anyTimerActive(window));
    QVERIFY(GlobalVars::tradeApi.load() == nullptr);
    QVERIFY(GlobalVars::token.isEmpty());

    SignalObject::setMainWindow(nullptr);
    GlobalVars::mainWindow = nullptr;
    GlobalVars::loginSite = nullptr;
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
