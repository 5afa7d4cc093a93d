// The whole program in one run, its windows built as the entry point builds them, against the
// simulated platform and the simulated front started as processes: the login message, the
// platform login, the trading login and its sequence, the strategy acting on a published signal,
// the order filled at the front, the reports the platform stored, the position table, the
// session close on exit, and no password left behind in any file.

#include "../strategy/windowprobe.h"
#include "activitywindow.h"
#include "clientdriver.h"
#include "globalvars.h"
#include "logging.h"
#include "messagebox.h"
#include "servicefront.h"
#include "sessionstore.h"
#include "signalapi.h"
#include "startup.h"
#include "tradeservice.h"
#include "utils.h"

#include <httplib.h>

#include <QAction>
#include <QDirIterator>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

namespace {

const int kWaitMs = 30000;
// Unlike anything else the run writes, so that a find is a leak.
const char *const kPlatformPassword = "Pw-platform-7Qx";
const char *const kTradingPassword = "Pw-trading-3Kz";

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QJsonArray frontList(const SimProcess &front, const char *path)
{
    const QUrl url(front.address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = client.Get(path);
    return result && result->status == 200
               ? QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).array()
               : QJsonArray();
}

QString positionCell(QWidget &window, int row, int column)
{
    QAbstractItemModel *model = window.findChild<QTableView *>("positionView")->model();
    return model ? model->index(row, column).data().toString() : QString();
}

// Every file below the folder that holds the text.
QStringList filesHolding(const QString &folder, const QByteArray &text)
{
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text)) {
            found << file.fileName();
        }
    }
    return found;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void signalBecomesAFilledAndReportedPosition();
};

void TestEndToEnd::signalBecomesAFilledAndReportedPosition()
{
    // The sequence's queries follow each other faster than a real front's one per second.
    qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
    GlobalVars::tradeService->chainDelayMs = 100;
    QTemporaryDir configDir;
    const QString frontConfig = configDir.filePath("front.json");
    QFile config(frontConfig);
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(ClientDriver::defaultFrontConfig().replace(
        "\"123456\"", QByteArray("\"") + kTradingPassword + "\""));
    config.close();

    ClientDriver driver(kWaitMs);
    QVERIFY2(driver.startSimulators({}, {"--config", frontConfig}), qPrintable(driver.failure()));
    // The program's own log files, in the run's working folder.
    qInstallMessageHandler(messageHandler);
    const auto restoreHandler = qScopeGuard([] { qInstallMessageHandler(nullptr); });
    PlatformSim &platform = driver.platform();
    SimProcess &front = driver.front();
    QCOMPARE(
        platform
            .admin("POST", "/admin/config", {{"platform", QJsonObject{{"signalTimerSeconds", 1}}}})
            .value("code")
            .toInt(-1),
        0);
    // 10,000,000 x 0.01 / (10 x 3500) = 2.86: two lots, one from each of the two best asks.
    QVERIFY(platform.patchUser(
        {{"username", "demo"}, {"password", kPlatformPassword}, {"profit", 0.01}}));
    QVERIFY(adminRequest(front, "/quotes/pause", "{}"));
    QVERIFY(adminRequest(front, "/quote",
                         R"({"instrument": "rb2705", "bids": [[3499, 5]],
                             "asks": [[3500, 1], [3501, 1], [3502, 5]]})"));
    // The platform's address comes from the settings file, as the program reads it.
    Utils::writeSetting("SETUP", "server", platform.url());
    GlobalVars::baseUrl = QString();
    applySettingsFile(driver.workPath());
    QCOMPARE(GlobalVars::baseUrl.get(), platform.url());
    // The client learns the fronts only from the platform's configuration.
    GlobalVars::tdAddress = QString();

    QVERIFY2(driver.showLoginMessage(), qPrintable(driver.failure()));
    ProgramWindows &windows = driver.windows();
    WindowProbe probe(windows.main);
    const QString loginMessage =
        platform.admin("GET", "/admin/config").value("data").toObject()["loginMessage"].toString();
    QVERIFY(!loginMessage.isEmpty());
    QCOMPARE(windows.message.findChild<QTextEdit *>("textEdit")->toPlainText(), loginMessage);
    QVERIFY2(driver.acknowledgeLoginMessage(), qPrintable(driver.failure()));
    QVERIFY2(driver.logInToPlatform("demo", kPlatformPassword), qPrintable(driver.failure()));
    QCOMPARE(windows.main.windowTitle(), u("velmora - demo - 程序化交易(CTP版) - 模拟交易"));
    QCOMPARE(probe.messages().value(0), u("[初始化] 已建立模拟交易环境"));
    QCOMPARE(GlobalVars::tdAddress.get(), front.address("td"));

    QVERIFY2(driver.logInToTradingAccount(kTradingPassword), qPrintable(driver.failure()));
    QCOMPARE(windows.ctp.findChild<QLineEdit *>("investerIDText")->text(), u("000001"));
    for (const char *line : {"[交易账户登录] 已登录", "[结算单确认] 完毕", "[查询合约] 完毕",
                             "[查询持仓] 完毕", "[查询资金账户] 完毕"}) {
        QVERIFY2(probe.messages().contains(u(line)), line);
    }
    // The market data brings the set book.
    QVERIFY(QTest::qWaitFor([] { return GlobalVars::askPrice1 == 3500; }, kWaitMs));
    QCOMPARE(positionCell(windows.main, 1, 1), u("0"));
    QVERIFY2(driver.startStrategy(), qPrintable(driver.failure()));
    QCOMPARE(windows.main.findChild<QTimer *>("signalTimer")->interval(), 1000);

    const QJsonObject published = platform.admin("POST", "/admin/signal",
                                                 {{"username", "demo"},
                                                  {"accountType", "simulation"},
                                                  {"direction", "buy"},
                                                  {"openOrClose", "open"}});
    const QString signalId = published.value("data").toObject().value("id").toString();
    QVERIFY(!signalId.isEmpty());
    const auto fillLines = [&] { return probe.messages().filter(u("[成交通知]")).size(); };
    QVERIFY(QTest::qWaitFor(
        [&] {
            return fillLines() == 2 && positionCell(windows.main, 1, 1) == u("2") &&
                   GlobalVars::pendingRequest == 0;
        },
        kWaitMs));
    QCOMPARE(positionCell(windows.main, 1, 2), u("2"));
    const QJsonArray orders = frontList(front, "/orders");
    QCOMPARE(orders.size(), 1);
    const QJsonObject order = orders.first().toObject();
    QCOMPARE(order.value("volumeTraded").toInt(), 2);
    const QJsonArray trades = frontList(front, "/trades");
    QCOMPARE(trades.size(), 2);

    // The platform tied the fills to the signal through the order's number.
    QVERIFY(QTest::qWaitFor(
        [&] {
            return platform.admin("GET", "/admin/signal?username=demo&accountType=simulation")
                .value("data")
                .toObject()
                .value("isTraded")
                .toBool();
        },
        kWaitMs));

    // A signal for another instrument is ignored; a close the broker refuses ends refused.
    const auto publish = [&](const QJsonObject &extra) {
        QJsonObject signal{{"username", "demo"}, {"accountType", "simulation"}};
        for (auto it = extra.begin(); it != extra.end(); ++it) {
            signal.insert(it.key(), it.value());
        }
        return platform.admin("POST", "/admin/signal", signal)
            .value("data")
            .toObject()
            .value("id")
            .toString();
    };
    const QString otherId =
        publish({{"instrument", "ag2706"}, {"direction", "buy"}, {"openOrClose", "open"}});
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const SessionStore::Activity &row : SessionStore::current()->activitySince(0, 0)) {
                if (row.subject == otherId) {
                    return true;
                }
            }
            return false;
        },
        kWaitMs));
    QVERIFY(adminRequest(
        front, "/fault",
        R"({"request": "ReqOrderInsert", "errorId": 31, "errorMsg": "CTP:资金不足"})"));
    const QString closeId = publish({{"direction", "sell"}, {"openOrClose", "close"}});
    QVERIFY(QTest::qWaitFor(
        [&] { return probe.messages().filter(u("[报单录入错误]")).size() == 1; }, kWaitMs));

    // The activity window, from the 查询 menu, shows all four as they ended.
    windows.main.findChild<QAction *>("actionActivity")->trigger();
    ActivityWindow *activity = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        activity = activity ? activity : qobject_cast<ActivityWindow *>(window);
    }
    QVERIFY(activity && activity->isVisible());
    const auto shownRows = [&] {
        const QAbstractItemModel *shown = activity->findChild<QTableView *>()->model();
        QStringList rows;
        for (int r = 0; r < shown->rowCount(); ++r) {
            QStringList cells;
            for (int c = 1; c < shown->columnCount(); ++c) {
                cells << shown->index(r, c).data().toString();
            }
            rows << cells.join('|');
        }
        return rows;
    };
    QStringList rows;
    QVERIFY(QTest::qWaitFor(
        [&] {
            rows = shownRows();
            return rows.filter(u("|被拒绝：[31] CTP:资金不足")).size() == 1;
        },
        kWaitMs));
    QVERIFY2(rows.contains(u("信号|%1|rb2705 buy open|已执行").arg(signalId)),
             qPrintable(rows.join('\n')));
    QVERIFY(rows.contains(u("信号|%1|ag2706 buy open|忽略：非本账户合约").arg(otherId)));
    QVERIFY(rows.contains(u("信号|%1|rb2705 sell close|已执行").arg(closeId)));
    QCOMPARE(rows.filter(u("报单|")).filter(u("|全部成交（2手）")).size(), 1);
    QCOMPARE(rows.filter(u("成交|")).size(), 2);
    activity->close();

    QVERIFY2(driver.stopStrategy(), qPrintable(driver.failure()));
    QVERIFY(!windows.main.findChild<QTimer *>("signalTimer")->isActive());
    QVERIFY(driver.noBoxes());
    MessageBox::setNextAnswer(0);
    QVERIFY(windows.main.close());
    const QList<MessageBox::Shown> asked = MessageBox::takeShown();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().text + asked.first().buttons.join(','), u("确定退出？确定,取消"));
    QVERIFY(!windows.main.isVisible());
    QCOMPARE(GlobalVars::strategyState.load(), -1);
    QCOMPARE(GlobalVars::tradeConnectionState.load(), -1);
    QCOMPARE(GlobalVars::tradeLoginState.load(), -1);
    QVERIFY(!GlobalVars::tradeSpi.load() && !GlobalVars::mdSpi.load());
    // What QApplication checks before it ends the event loop on a closed window.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        QVERIFY2(!window->isVisible() || !window->testAttribute(Qt::WA_QuitOnClose),
                 qPrintable(window->objectName()));
    }

    // The close waited for the reports: the order's first, then its fills, all accepted.
    const QJsonArray reports = platform.reports();
    // The refused close was sent, so it was reported too, last.
    QCOMPARE(reports.size(), 2 + trades.size());
    QCOMPARE(reports.last()["report"]["signalID"].toString(), closeId);
    const QString orderId = u("%1%2%3")
                                .arg(order.value("frontId").toInt())
                                .arg(order.value("sessionId").toInt())
                                .arg(order.value("orderRef").toString().trimmed());
    const QJsonObject orderReport = reports[0].toObject();
    QCOMPARE(orderReport["kind"].toString(), u("order"));
    QCOMPARE(orderReport["report"]["signalID"].toString(), signalId);
    QCOMPARE(orderReport["report"]["type"].toString(), u("自动"));
    QCOMPARE(orderReport["report"]["orderID"].toString(), orderId);
    QCOMPARE(orderReport["report"]["direction"].toString(), u("多头 开仓"));
    QCOMPARE(orderReport["report"]["submitVolume"].toInt(), 2);
    for (int i = 1; i <= trades.size(); ++i) {
        const QJsonObject fill = reports[i].toObject();
        QVERIFY(fill["accepted"].toBool());
        QCOMPARE(fill["kind"].toString(), u("fill"));
        QCOMPARE(fill["report"]["orderID"].toString(), orderId);
        QCOMPARE(fill["report"]["volume"].toInt(), trades[i - 1]["volume"].toInt());
    }

    // Logs, flow folders and the settings file keep neither password.
    QVERIFY(QFile::exists(driver.workPath() + "/setup.ini"));
    QVERIFY(QDir(driver.workPath() + "/flow").exists());
    QVERIFY(!filesHolding(driver.workPath() + "/log", "[CTP").isEmpty());
    for (const char *password : {kPlatformPassword, kTradingPassword}) {
        const QStringList leaks = filesHolding(driver.workPath(), password);
        QVERIFY2(leaks.isEmpty(), qPrintable(leaks.join(' ')));
    }
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
