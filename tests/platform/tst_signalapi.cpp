#include "capture.h"
#include "globalvars.h"
#include "messagebox.h"
#include "platformsim.h"
#include "sessionstore.h"
#include "signalapi.h"
#include "signalobject.h"

#include <QtTest>

#include <memory>
#include <thread>

namespace {
QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QJsonObject envelope(int code, const QString &msg, const QJsonValue &data = QJsonValue())
{
    QJsonObject object{{"code", code}, {"msg", msg}};
    if (!data.isUndefined()) {
        object.insert("data", data);
    }
    return object;
}
} // namespace

class TestSignalApi : public QObject
{
    Q_OBJECT

private:
    PlatformSim sim;
    QJsonObject demoUser;
    QJsonObject platformConfig;
    std::unique_ptr<Capture> capture;
    std::unique_ptr<SignalApi> api;

    // The information boxes shown since the last call; each must be the plain "提示信息" box.
    QStringList boxes()
    {
        QStringList texts;
        for (const MessageBox::Shown &box : MessageBox::takeShown()) {
            if (box.parent != nullptr || box.title != u("提示信息") || !box.buttons.isEmpty()) {
                texts << QStringLiteral("unexpected box: ") + box.title;
            }
            texts << box.text;
        }
        return texts;
    }

    bool loginDemo(const QString &accountType = QStringLiteral("simulation"))
    {
        PlatformSim::useDemoUser(accountType);
        return api->login();
    }

    QJsonObject currentConfigSimulation()
    {
        return sim.admin("GET", "/admin/config").value("data").toObject();
    }

    void expectNothingShown()
    {
        QCOMPARE(capture->takeLines(), QStringList());
        QCOMPARE(boxes(), QStringList());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        platformConfig = sim.platformConfig();
        demoUser = sim.user(QStringLiteral("demo"));
        QVERIFY(!platformConfig.isEmpty() && !demoUser.isEmpty());
        MessageBox::setTestMode(true);
    }

    void init()
    {
        GlobalVars::baseUrl = sim.url();
        PlatformSim::useDemoUser();
        capture = std::make_unique<Capture>();
        api = std::make_unique<SignalApi>();
        MessageBox::takeShown();
    }

    void cleanup()
    {
        api.reset();
        capture.reset();
        sim.admin("DELETE", "/admin/fault");
        sim.patchUser(demoUser);
        sim.admin("POST", "/admin/config", {{"platform", platformConfig}});
    }

    // --- session ---------------------------------------------------------------------------

    void loginStoresTheAccountOfTheChosenType_data()
    {
        QTest::addColumn<QString>("accountType");
        QTest::addColumn<QString>("investerID");
        QTest::newRow("simulation") << "simulation"
                                    << "000001";
        QTest::newRow("real") << "real"
                              << "000002";
    }

    void loginStoresTheAccountOfTheChosenType()
    {
        QFETCH(QString, accountType);
        QFETCH(QString, investerID);
        sim.admin("DELETE", "/admin/requests");
        QVERIFY(loginDemo(accountType));

        QCOMPARE(GlobalVars::state.load(), true);
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(GlobalVars::token.get()).hasMatch());
        QCOMPARE(GlobalVars::profit.load(), 0.2);
        QCOMPARE(GlobalVars::maxCapital.load(), 1000000.0);
        QVERIFY(!GlobalVars::loginCode.isEmpty());
        QCOMPARE(GlobalVars::brokerID.get(), QStringLiteral("9999"));
        QCOMPARE(GlobalVars::investerID.get(), investerID);
        QCOMPARE(GlobalVars::instrument.get(), QStringLiteral("rb2705"));
        // Nothing beyond the account: the environment is the configuration's business.
        QVERIFY(GlobalVars::name.isEmpty() && GlobalVars::mdAddress.isEmpty());
        QCOMPARE(GlobalVars::leverage.load(), 0);
        QCOMPARE(GlobalVars::strategyState.load(), -1);
        expectNothingShown();
        QCOMPARE(capture->takeWarnings(), QStringList());

        const QJsonObject sent =
            QJsonDocument::fromJson(
                sim.requests("/api/login").at(0).toObject().value("body").toString().toUtf8())
                .object();
        QCOMPARE(sent, QJsonObject({{"username", "demo"}, {"password", "demo"}}));
    }

    void loginFailuresTellTheUserAndStoreNothing_data()
    {
        QTest::addColumn<QString>("accountType");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QJsonObject>("userPatch");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("box");

        QTest::newRow("wrong password")
            << "simulation" << QJsonObject() << QJsonObject() << u("[提示信息] 用户名或密码错误")
            << u("用户名或密码错误");
        QTest::newRow("platform down")
            << "simulation" << QJsonObject{{"status", 500}} << QJsonObject()
            << u("[提示信息] [网络异常31] 远程服务器发生错误")
            << u("[网络异常31] 远程服务器发生错误");
        QTest::newRow("no envelope")
            << "simulation" << QJsonObject{{"body", QJsonObject{{"data", QJsonObject()}}}}
            << QJsonObject() << u("[错误] 读取远程数据出错") << u("读取远程数据出错");
        QTest::newRow("incomplete user")
            << "simulation"
            << QJsonObject{{"body", envelope(0, "ok", QJsonObject{{"username", "demo"}})}}
            << QJsonObject() << u("[错误] 读取远程数据出错") << u("读取远程数据出错");
        QTest::newRow("real account without instrument")
            << "real" << QJsonObject()
            << QJsonObject{{"real", QJsonObject{{"instrument", QJsonValue::Null}}}}
            << u("[提示信息] 请先设置实盘交易信息后再登录") << u("请先设置实盘交易信息后再登录");
        QTest::newRow("no simulation account")
            << "simulation" << QJsonObject() << QJsonObject{{"simulation", QJsonValue::Null}}
            << u("[提示信息] 请先设置模拟交易信息后再登录") << u("请先设置模拟交易信息后再登录");
    }

    void loginFailuresTellTheUserAndStoreNothing()
    {
        QFETCH(QString, accountType);
        QFETCH(QJsonObject, fault);
        QFETCH(QJsonObject, userPatch);
        QFETCH(QString, line);
        QFETCH(QString, box);
        if (!fault.isEmpty()) {
            fault.insert("path", "/api/login");
            QVERIFY(sim.fault(fault));
        }
        if (!userPatch.isEmpty()) {
            userPatch.insert("username", "demo");
            QVERIFY(sim.patchUser(userPatch));
        }
        PlatformSim::useDemoUser(accountType);
        if (QTest::currentDataTag() == QLatin1String("wrong password")) {
            GlobalVars::password = QStringLiteral("wrong");
        }

        QVERIFY(!api->login());
        QCOMPARE(capture->takeLines(), QStringList{line});
        QCOMPARE(boxes(), QStringList{box});
        QVERIFY(GlobalVars::token.isEmpty());
        QVERIFY(GlobalVars::loginCode.isEmpty());
        QVERIFY(GlobalVars::brokerID.isEmpty());
        QVERIFY(GlobalVars::instrument.isEmpty());
        QCOMPARE(GlobalVars::state.load(), false);
        QCOMPARE(capture->takeWarnings(), QStringList()); // login logs no transport errors
    }

    void getConfigStoresTheEnvironment()
    {
        QVERIFY(loginDemo("real"));
        const QString token = GlobalVars::token;
        QVERIFY(api->getConfig());
        QCOMPARE(GlobalVars::token.get(), token);
        QCOMPARE(GlobalVars::investerID.get(), QStringLiteral("000002"));
        QCOMPARE(GlobalVars::signalTimerSeconds.load(), 5);
        QCOMPARE(GlobalVars::tokenTimerSeconds.load(), 600);
        QCOMPARE(GlobalVars::version.get(), QStringLiteral("1.0"));
        QCOMPARE(GlobalVars::leverage.load(), 1);
        QCOMPARE(GlobalVars::name.get(), u("实盘环境"));
        QCOMPARE(GlobalVars::mdAddress.get(), QStringLiteral("tcp://127.0.0.1:41213"));
        QCOMPARE(GlobalVars::tdAddress.get(), QStringLiteral("tcp://127.0.0.1:41205"));
        QCOMPARE(GlobalVars::appID.get(), QStringLiteral("velmora_demo_1.0"));
        QCOMPARE(GlobalVars::authCode.get(), QStringLiteral("0000000000000000"));
        QCOMPARE(capture->takeWarnings(), QStringList());
    }

    void frontAddressesGetTheirScheme_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("stored");
        QTest::newRow("host and port") << "127.0.0.1:41213"
                                       << "tcp://127.0.0.1:41213";
        QTest::newRow("with scheme") << "tcp://10.0.0.1:1"
                                     << "tcp://10.0.0.1:1";
        QTest::newRow("scheme in capitals") << "TCP://10.0.0.1:1"
                                            << "tcp://TCP://10.0.0.1:1";
    }

    void frontAddressesGetTheirScheme()
    {
        QFETCH(QString, given);
        QFETCH(QString, stored);
        const QJsonObject env{{"mdAddress", given}, {"tdAddress", given}};
        QVERIFY(sim.admin("POST", "/admin/config",
                          {{"platform", QJsonObject{{"simulation", env}, {"version", "1.1"}}}})
                    .value("code") == 0);
        QVERIFY(loginDemo());
        QVERIFY(api->getConfig());
        QCOMPARE(GlobalVars::mdAddress.get(), stored);
        QCOMPARE(GlobalVars::tdAddress.get(), stored);
        QCOMPARE(GlobalVars::version.get(), QStringLiteral("1.1"));
    }

    // A period no timer can run is replaced by the last valid one, or 1 s, and said once.
    void unusableTimerPeriodsKeepTheLastValidOne()
    {
        QVERIFY(loginDemo());
        GlobalVars::signalTimerSeconds = 0;
        GlobalVars::tokenTimerSeconds = 600;
        const auto configure = [this](const QJsonValue &signal, const QJsonValue &token) {
            sim.admin("POST", "/admin/config",
                      {{"platform", QJsonObject{{"signalTimerSeconds", signal},
                                                {"tokenTimerSeconds", token}}}});
            return api->getConfig();
        };
        QVERIFY(configure(0, 1e12));
        QCOMPARE(GlobalVars::signalTimerSeconds.load(), 1);
        QCOMPARE(GlobalVars::tokenTimerSeconds.load(), 600);
        QVERIFY(configure(0, 1e12));
        QCOMPARE(capture->takeWarnings(),
                 QStringList({u("[Config] Warning: signalTimerSeconds = 0 不可用，沿用 1 秒"),
                              u("[Config] Warning: tokenTimerSeconds = 1000000000000 不可用，"
                                "沿用 600 秒")}));
        QVERIFY(configure(7, 300));
        QVERIFY(configure(-3, "60"));
        QCOMPARE(GlobalVars::signalTimerSeconds.load(), 7);
        QCOMPARE(GlobalVars::tokenTimerSeconds.load(), 300);
        QCOMPARE(capture->takeWarnings().size(), 2);
    }

    void getConfigFailuresOnlyLog_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QJsonObject>("configPatch");
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("not an envelope") << QJsonObject{{"body", "[]"}} << QJsonObject()
                                         << QStringList{"[Config] Warning: data format error"};
        QTest::newRow("401") << QJsonObject{{"status", 401}} << QJsonObject()
                             << QStringList{
                                    u("[网络异常22] 请求远程数据时出现错误，错误信息： 401 . "
                                      "访问未授权. [Time]: \"LC\"  |  \"Config\""),
                                    u("[Config] Warning:  401 ,  \"[网络异常21] "
                                      "请求远程数据时出现错误. 访问未授权. [Time]:LC\"")};
        QTest::newRow("platform error")
            << QJsonObject{{"body", envelope(7, u("维护中"))}} << QJsonObject()
            << QStringList{u("[Config] Warning:  7 ,  \"维护中\"")};
        QTest::newRow("environment incomplete")
            << QJsonObject() << QJsonObject{{"simulation", QJsonObject{{"name", QJsonValue::Null}}}}
            << QStringList{u("[Config] Warning:  0 ,  \"成功\"  | data not found")};
        QTest::newRow("no leverage") << QJsonObject() << QJsonObject{{"leverage", QJsonValue::Null}}
                                     << QStringList{u("[Config] Warning:  0 ,  \"成功\"  | data "
                                                      "not found")};
    }

    void getConfigFailuresOnlyLog()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QJsonObject, configPatch);
        QFETCH(QStringList, warnings);
        QVERIFY(loginDemo());
        GlobalVars::loginCode = QStringLiteral("LC");
        if (!fault.isEmpty()) {
            fault.insert("path", "/api/config");
            QVERIFY(sim.fault(fault));
        }
        if (!configPatch.isEmpty()) {
            sim.admin("POST", "/admin/config", {{"platform", configPatch}});
        }
        GlobalVars::version = QStringLiteral("0.9");
        QVERIFY(!api->getConfig());
        QCOMPARE(capture->takeWarnings(), warnings);
        QCOMPARE(GlobalVars::version.get(), QStringLiteral("0.9"));
        QVERIFY(GlobalVars::mdAddress.isEmpty());
        expectNothingShown();
    }

    void getTokenRenewsTheSession()
    {
        QVERIFY(loginDemo());
        const QString first = GlobalVars::token;
        QVERIFY(api->getToken());
        QVERIFY(GlobalVars::token.get() != first);
        QVERIFY(api->getConfig()); // the new token is the one in use
        QCOMPARE(capture->takeWarnings(), QStringList());
    }

    void getTokenFailuresKeepTheToken_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("warning");
        // A transport failure has no data, so it reads as a malformed reply.
        QTest::newRow("expired") << QJsonObject() // the token is expired by the test
                                 << u("[Auth] Warning: data format error");
        QTest::newRow("platform error") << QJsonObject{{"body", envelope(5, u("拒绝"), "")}}
                                        << u("[Auth] Warning:  5 ,  \"拒绝\"  | data not found");
        QTest::newRow("no data") << QJsonObject{{"body", envelope(0, "ok")}}
                                 << u("[Auth] Warning: data format error");
        // Taking an object for a token would end the session at the next request.
        QTest::newRow("data is an object")
            << QJsonObject{{"body", envelope(0, "ok", QJsonObject{{"token", "x"}})}}
            << u("[Auth] Warning: data format error");
    }

    void getTokenFailuresKeepTheToken()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, warning);
        QVERIFY(loginDemo());
        GlobalVars::loginCode = QStringLiteral("LC");
        const QString token = GlobalVars::token;
        if (fault.isEmpty()) {
            sim.admin("POST", "/admin/expireToken", {{"token", token}});
        } else {
            fault.insert("path", "/api/token");
            QVERIFY(sim.fault(fault));
        }
        QVERIFY(!api->getToken());
        QCOMPARE(GlobalVars::token.get(), token);
        QCOMPARE(capture->takeWarnings(), QStringList{warning});
    }

    void getUserDataRefreshesTheProfile()
    {
        QVERIFY(loginDemo());
        QVERIFY(sim.patchUser(
            {{"username", "demo"}, {"state", false}, {"profit", 0.5}, {"maxCapital", 20000}}));
        QVERIFY(api->getUserData());
        QCOMPARE(GlobalVars::state.load(), false);
        QCOMPARE(GlobalVars::profit.load(), 0.5);
        QCOMPARE(GlobalVars::maxCapital.load(), 20000.0);
        QCOMPARE(GlobalVars::strategyState.load(), -1);
        expectNothingShown();
        QCOMPARE(capture->takeWarnings(), QStringList());
    }

    void aLoginElsewhereEndsTheSession_data()
    {
        QTest::addColumn<bool>("expireToken");
        QTest::newRow("second login") << false;
        QTest::newRow("401") << true;
    }

    void aLoginElsewhereEndsTheSession()
    {
        QFETCH(bool, expireToken);
        QVERIFY(loginDemo());
        const QString loginCode = GlobalVars::loginCode;
        QVERIFY(sim.patchUser({{"username", "demo"}, {"profit", 0.3}}));
        if (expireToken) {
            sim.admin("POST", "/admin/expireToken", {{"username", "demo"}});
        } else {
            // The same user logs in from another client.
            SignalApi elsewhere;
            const QString token = GlobalVars::token;
            QVERIFY(elsewhere.login());
            GlobalVars::loginCode = loginCode;
            GlobalVars::token = token;
        }
        GlobalVars::strategyState = 2;

        QVERIFY(!api->getUserData());
        QCOMPARE(GlobalVars::strategyState.load(), 5);
        QCOMPARE(GlobalVars::loginCode.get(), loginCode);
        QStringList warnings = capture->takeWarnings();
        QCOMPARE(warnings.takeLast(), u("[提示信息] 检测到异地登录"));
        if (expireToken) {
            QCOMPARE(warnings,
                     QStringList{u("[网络异常22] 请求远程数据时出现错误，错误信息： 401 . "
                                   "访问未授权. [Time]: \"%1\"  |  \"User\"")
                                     .arg(loginCode)});
            QCOMPARE(GlobalVars::profit.load(), 0.2);
        } else {
            QCOMPARE(warnings, QStringList());
            QCOMPARE(GlobalVars::profit.load(), 0.3); // stored before the session check
        }
        expectNothingShown();
    }

    void aChangedAccountOrInstrumentStopsTheStrategy_data()
    {
        QTest::addColumn<QJsonObject>("account");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("warning");
        const QString accountLine =
            u("[提示信息] 检测到交易账户已修改，不要同时运行多个程序，或在程序运行时改变合约");
        const QString accountWarning = u("[提示信息] 检测到交易账户已修改");
        QTest::newRow("broker") << QJsonObject{{"brokerID", "8888"}} << accountLine
                                << accountWarning;
        QTest::newRow("investor") << QJsonObject{{"investerID", "000009"}} << accountLine
                                  << accountWarning;
        QTest::newRow("instrument")
            << QJsonObject{{"instrument", "ag2706"}}
            << u("[提示信息] 检测到合约已修改，不要同时运行多个程序，或在程序运行时改变合约")
            << u("[提示信息] 检测到合约已修改");
    }

    void aChangedAccountOrInstrumentStopsTheStrategy()
    {
        QFETCH(QJsonObject, account);
        QFETCH(QString, line);
        QFETCH(QString, warning);
        QVERIFY(loginDemo("real"));
        QVERIFY(sim.patchUser({{"username", "demo"}, {"real", account}}));
        QVERIFY(!api->getUserData());
        QCOMPARE(GlobalVars::strategyState.load(), 4);
        QCOMPARE(capture->takeLines(), QStringList{line});
        QCOMPARE(capture->takeWarnings(), QStringList{warning});
        // What the login stored is what the check compares against; it is not overwritten.
        QCOMPARE(GlobalVars::brokerID.get(), QStringLiteral("9999"));
        QCOMPARE(GlobalVars::investerID.get(), QStringLiteral("000002"));
        QCOMPARE(GlobalVars::instrument.get(), QStringLiteral("rb2705"));

        // The other account type's changes are none of this session's business.
        PlatformSim::useDemoUser("simulation");
        QVERIFY(api->login());
        QVERIFY(api->getUserData());
    }

    void getUserDataFailures_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("platform down")
            << QJsonObject{{"status", 500}}
            << QStringList{u("[网络异常32] 远程服务器发生错误，错误信息： 500  |  \"User\""),
                           u("[User] Warning:  500 ,  \"[网络异常31] 远程服务器发生错误\"")};
        QTest::newRow("no envelope")
            << QJsonObject{{"body", "{}"}} << QStringList{"[User] Warning: data format error"};
        QTest::newRow("incomplete profile")
            << QJsonObject{{"body", envelope(0, "ok", QJsonObject{{"username", "demo"}})}}
            << QStringList();
    }

    void getUserDataFailures()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QStringList, warnings);
        QVERIFY(loginDemo());
        fault.insert("path", "/api/userData");
        QVERIFY(sim.fault(fault));
        GlobalVars::strategyState = 2;
        QVERIFY(!api->getUserData());
        QCOMPARE(GlobalVars::strategyState.load(), 2);
        QCOMPARE(capture->takeWarnings(), warnings);
        expectNothingShown();
    }

    void getLoginMessage_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("warning");
        QTest::newRow("message") << QJsonObject() << u("欢迎使用") << QString();
        QTest::newRow("no envelope")
            << QJsonObject{{"body", "null"}} << u("[错误] 读取远程数据出错")
            << "[Message] Warning: data format error";
        QTest::newRow("error") << QJsonObject{{"body", envelope(3, u("停机维护"))}} << u("停机维护")
                               << u("[Message] Warning:  3 ,  \"停机维护\"");
        QTest::newRow("no message")
            << QJsonObject{{"body", envelope(0, "ok", QJsonObject{{"text", "x"}})}}
            << u("[错误] 读取远程数据出错")
            << u("[Message] Warning:  0 ,  \"ok\"  | data not found");
    }

    void getLoginMessage()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, text);
        QFETCH(QString, warning);
        if (!fault.isEmpty()) {
            fault.insert("path", "/api/getLoginMessage");
            QVERIFY(sim.fault(fault));
        }
        QVERIFY(api->getLoginMessage().startsWith(text));
        QCOMPARE(capture->takeWarnings(), warning.isEmpty() ? QStringList() : QStringList{warning});
    }

    void getLoginMessageWhenThePlatformIsUnreachable()
    {
        GlobalVars::baseUrl = QStringLiteral("http://127.0.0.1:9");
        QCOMPARE(api->getLoginMessage(), u("[网络异常41] 远程服务器无法连接"));
        QCOMPARE(capture->takeWarnings(),
                 QStringList{u("[Message] Warning:  -1 ,  \"[网络异常41] 远程服务器无法连接\"")});
    }

    // --- signals ---------------------------------------------------------------------------

    void theCurrentSignalOfTheAccountType()
    {
        QVERIFY(loginDemo("real"));
        QVERIFY(sim.publishSignal({{"username", "demo"},
                                   {"accountType", "real"},
                                   {"id", "R-1"},
                                   {"direction", "sell"},
                                   {"openOrClose", "close"}}));
        QVERIFY(sim.publishSignal({{"username", "demo"},
                                   {"accountType", "simulation"},
                                   {"id", "S-1"},
                                   {"direction", "buy"},
                                   {"openOrClose", "open"}}));
        QJsonObject real, simulation;
        QVERIFY(api->signalReal(&real));
        QVERIFY(api->signalSimulation(&simulation));
        QCOMPARE(real.value("id").toString(), QStringLiteral("R-1"));
        QCOMPARE(real.value("direction").toString(), QStringLiteral("sell"));
        QCOMPARE(simulation.value("id").toString(), QStringLiteral("S-1"));
        QCOMPARE(simulation.keys(), (QStringList{"direction", "expires", "id", "instrument",
                                                 "isExpired", "isTraded", "openOrClose"}));
        QCOMPARE(capture->takeWarnings(), QStringList());
    }

    void signalFailuresLeaveTheRecordAlone_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("warning");
        QJsonObject withoutExpires{{"id", "X"},          {"instrument", "rb2705"},
                                   {"direction", "buy"}, {"openOrClose", "open"},
                                   {"isExpired", false}, {"isTraded", false}};
        QTest::newRow("no signal yet") << QJsonObject() << u("[SS] Warning:  1002 ,  \"暂无信号\"");
        QTest::newRow("no envelope")
            << QJsonObject{{"body", "not json"}} << "[SS] Warning: data format error";
        QTest::newRow("without expires") << QJsonObject{{"body", envelope(0, "ok", withoutExpires)}}
                                         << "[SS] Warning:  0 ,  \"ok\"  | data not found";
        QJsonObject tradedAsText = withoutExpires;
        tradedAsText.insert("expires", "2026-12-08 10:00:00");
        QJsonObject idAsNumber = tradedAsText;
        tradedAsText.insert("isTraded", "false");
        idAsNumber.insert("id", 7);
        QTest::newRow("isTraded as text") << QJsonObject{{"body", envelope(0, "ok", tradedAsText)}}
                                          << "[SS] Warning:  0 ,  \"ok\"  | data malformed";
        QTest::newRow("id as a number") << QJsonObject{{"body", envelope(0, "ok", idAsNumber)}}
                                        << "[SS] Warning:  0 ,  \"ok\"  | data malformed";
        QTest::newRow("401") << QJsonObject{{"status", 401}}
                             << u("[SS] Warning:  401 ,  \"[网络异常21] "
                                  "请求远程数据时出现错误. 访问未授权. [Time]:LC\"");
    }

    void signalFailuresLeaveTheRecordAlone()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, warning);
        // A user who never had a signal.
        QVERIFY(sim.patchUser({{"username", "nosignal"},
                               {"password", "p"},
                               {"realname", "n"},
                               {"mobile", "1"},
                               {"regdate", "2026-01-01"},
                               {"state", true},
                               {"profit", 0.1},
                               {"maxCapital", 1},
                               {"simulation", demoUser.value("simulation")}}));
        PlatformSim::useDemoUser();
        GlobalVars::username = QStringLiteral("nosignal");
        GlobalVars::password = QStringLiteral("p");
        QVERIFY(api->login());
        GlobalVars::loginCode = QStringLiteral("LC");
        if (!fault.isEmpty()) {
            fault.insert("path", "/api/signalSimulation");
            QVERIFY(sim.fault(fault));
        }
        QJsonObject signal{{"untouched", true}};
        QVERIFY(!api->signalSimulation(&signal));
        QCOMPARE(signal, QJsonObject({{"untouched", true}}));
        QCOMPARE(capture->takeWarnings(), QStringList{warning});
    }

    // --- reports ---------------------------------------------------------------------------

    void reportsArriveAsThePlatformStoresThem()
    {
        QVERIFY(loginDemo());
        sim.admin("DELETE", "/admin/requests");
        const qint64 since = sim.reports().size();
        GlobalVars::available = 100000.5;
        GlobalVars::leverage = 3;
        GlobalVars::volumeMultiple = 10;
        api->reportOrder("1234567", "S-9", u("多头 开仓"), 2, 3500.5);
        api->reportOrder("1234568", "0", u("空头 平今"), 1, 3499);
        api->reportFill("1234567", 2, 3500);
        GlobalVars::accountType = QStringLiteral("real");
        api->tradeReal("1234569", "S-9", u("空头 开仓"), 1, 3600, u("自动"));
        api->tradeRealSuccess("1234569", 1, 3600.25);
        QVERIFY(api->waitForReports(15000));

        const QJsonArray stored = sim.reports();
        QCOMPARE(stored.size() - since, 5);
        const QString token = GlobalVars::token;
        const auto order = [&](const char *orderID, const char *signalID, const char *direction,
                               int volume, double price, const char *type) {
            return QJsonObject{
                {"token", token},         {"username", "demo"},   {"instrument", "rb2705"},
                {"brokerID", "9999"},     {"signalID", signalID}, {"direction", u(direction)},
                {"submitVolume", volume}, {"price", price},       {"available", 100000.5},
                {"leverage", 3},          {"profit", 0.2},        {"volumeMultiple", 10},
                {"type", u(type)},        {"orderID", orderID}};
        };
        const auto fill = [&](const char *orderID, int volume, double price) {
            return QJsonObject{{"token", token},
                               {"username", "demo"},
                               {"orderID", orderID},
                               {"volume", volume},
                               {"price", price}};
        };
        const QList<QPair<QString, QJsonObject>> expected{
            {"/api/tradeSimulation", order("1234567", "S-9", "多头 开仓", 2, 3500.5, "自动")},
            {"/api/tradeSimulation", order("1234568", "0", "空头 平今", 1, 3499, "手动")},
            {"/api/tradeSimulationSuccess", fill("1234567", 2, 3500)},
            {"/api/tradeReal", order("1234569", "S-9", "空头 开仓", 1, 3600, "自动")},
            {"/api/tradeRealSuccess", fill("1234569", 1, 3600.25)}};
        for (int i = 0; i < expected.size(); ++i) {
            const QJsonObject item = stored.at(since + i).toObject();
            QCOMPARE(item.value("path").toString(), expected.at(i).first);
            QCOMPARE(item.value("accepted").toBool(), true);
            QCOMPARE(item.value("report").toObject(), expected.at(i).second);
        }
        // The report goes in the body, not in a header, and as JSON.
        const QJsonObject headers =
            sim.requests("/api/tradeReal").at(0).toObject().value("headers").toObject();
        QCOMPARE(headers.value("content-type").toString(), QStringLiteral("application/json"));
        QVERIFY(!headers.contains("authorization"));
        QCOMPARE(capture->takeWarnings(), QStringList());
    }

    void anOtherAccountTypeReportsNothing()
    {
        QVERIFY(loginDemo());
        sim.admin("DELETE", "/admin/requests");
        GlobalVars::accountType = QStringLiteral("paper");
        api->reportOrder("1", "S-1", u("多头 开仓"), 1, 1);
        api->reportFill("1", 1, 1);
        QVERIFY(api->waitForReports(15000));
        QCOMPARE(sim.admin("GET", "/admin/requests").value("data").toArray().size(), 0);
    }

    // Values are those of the moment of the call, and the order is the order of the calls,
    // from whichever thread they come.
    void reportsKeepTheirValuesAndTheirOrder()
    {
        QVERIFY(loginDemo());
        const qint64 since = sim.reports().size();
        // The first report is held up, so the others wait in the queue.
        QVERIFY(sim.fault({{"path", "/api/tradeSimulation"}, {"delayMs", 300}}));
        GlobalVars::available = 1.0;
        api->reportOrder("100", "S-1", u("多头 开仓"), 1, 1);
        std::thread tradingThread([this] {
            for (int i = 1; i <= 20; ++i) {
                api->reportFill(QString::number(100 + i), i, 1);
            }
        });
        tradingThread.join();
        GlobalVars::available = 2.0;
        api->reportOrder("200", "S-1", u("多头 开仓"), 1, 1);
        QVERIFY(api->waitForReports(15000));

        const QJsonArray stored = sim.reports();
        QCOMPARE(stored.size() - since, 22);
        QCOMPARE(stored.at(since).toObject().value("report").toObject().value("available"), 1.0);
        for (int i = 1; i <= 20; ++i) {
            const QJsonObject report = stored.at(since + i).toObject().value("report").toObject();
            QCOMPARE(report.value("orderID").toString(), QString::number(100 + i));
        }
        const QJsonObject last = stored.at(since + 21).toObject().value("report").toObject();
        QCOMPARE(last.value("available"), 2.0);
    }

    // A burst of faults on the report paths: every report is stored once, in the order handed
    // in, with the body it was built with but for a token renewed meanwhile. A refusal is the
    // platform's answer and is not sent again.
    void reportsOutlastAFaultBurstAndArriveOnce()
    {
        QVERIFY(loginDemo());
        sim.admin("DELETE", "/admin/requests");
        const qint64 since = sim.reports().size();
        const QString oldToken = GlobalVars::token;
        QVERIFY(api->getToken());
        const QString newToken = GlobalVars::token;
        GlobalVars::token = oldToken;

        api->timeoutMs = 300;
        api->reportRetry.firstPauseMs = 50;
        api->reportRetry.maxPauseMs = 400;
        const QString order = QStringLiteral("/api/tradeSimulation");
        const QString fill = QStringLiteral("/api/tradeSimulationSuccess");
        const QString refused = QStringLiteral("/api/tradeRealSuccess");
        for (const QJsonObject &rule :
             {QJsonObject{{"path", order}, {"status", 500}},
              QJsonObject{{"path", order}, {"status", 401}, {"body", envelope(401, "x")}},
              QJsonObject{{"path", order}, {"body", "{\"code\":"}},
              QJsonObject{{"path", order}, {"drop", true}},
              // Longer than the client waits, after which the platform stores it anyway.
              QJsonObject{{"path", order}, {"delayMs", 800}},
              QJsonObject{{"path", fill}, {"body", envelope(0, "ok")}, {"truncateAt", 5}},
              QJsonObject{{"path", fill}, {"location", "http://127.0.0.1:9/x"}},
              QJsonObject{{"path", fill}, {"body", QJsonObject{{"ok", true}}}},
              QJsonObject{{"path", fill}, {"status", 503}, {"count", 2}},
              QJsonObject{{"path", refused}, {"body", envelope(1, u("拒绝"))}}}) {
            QVERIFY(sim.fault(rule));
        }
        api->reportOrder("1", "S-1", u("多头 开仓"), 1, 3500.5);
        GlobalVars::token = newToken;
        api->reportFill("1", 1, 3500.5);
        api->reportOrder("2", "S-1", u("多头 平仓"), 2, 3510);
        api->reportFill("2", 2, 3510.25);
        api->tradeRealSuccess("3", 1, 3520);
        QVERIFY(api->waitForReports(60000));

        const QJsonArray stored = sim.reports();
        QCOMPARE(stored.size() - since, 4);
        const QStringList paths{order, fill, order, fill};
        const QStringList orderIDs{"1", "1", "2", "2"};
        QSet<QString> keys;
        for (int i = 0; i < 4; ++i) {
            const QJsonObject item = stored.at(since + i).toObject();
            const QJsonObject report = item.value("report").toObject();
            QCOMPARE(item.value("path").toString(), paths.at(i));
            QVERIFY(item.value("accepted").toBool());
            QCOMPARE(report.value("orderID").toString(), orderIDs.at(i));
            QCOMPARE(report.value("token").toString(), newToken);
            const QString key = item.value("idempotencyKey").toString();
            QCOMPARE(key.size(), 36);
            keys << key;

            // Every attempt carried the report's key and its body, the token aside.
            QByteArray firstBody;
            for (const QJsonValue &request : sim.requests(paths.at(i))) {
                const QJsonObject r = request.toObject();
                if (r.value("headers").toObject().value("idempotency-key").toString() != key) {
                    continue;
                }
                const QByteArray body = r.value("body").toString().toUtf8();
                if (firstBody.isEmpty()) {
                    firstBody = QByteArray(body).replace(oldToken.toUtf8(), newToken.toUtf8());
                    QCOMPARE(QJsonDocument::fromJson(firstBody).object(), report);
                } else {
                    QCOMPARE(body, firstBody);
                }
            }
            QVERIFY(!firstBody.isEmpty());
        }
        QCOMPARE(keys.size(), 4);
        QCOMPARE(sim.requests(refused).size(), 1);

        // The first failure and the outcome of each report that met faults, nothing per attempt;
        // the refused one whole.
        const QStringList lines = capture->takeWarnings();
        QCOMPARE(lines.size(), 5);
        QVERIFY2(lines.at(4).startsWith(u("[平台报告] 平台拒绝：TRS {")), qPrintable(lines.at(4)));
        for (int i = 0; i < 4; i += 2) {
            const QString tag = i == 0 ? QStringLiteral("TS") : QStringLiteral("TSS");
            QVERIFY2(lines.at(i).startsWith(u("[平台报告] 发送失败，稍后重试：") + tag + " "),
                     qPrintable(lines.at(i)));
            QVERIFY2(lines.at(i + 1).startsWith(u("[平台报告] 第 ")) &&
                         lines.at(i + 1).endsWith(u(" 次发送后送达：") + tag),
                     qPrintable(lines.at(i + 1)));
        }
        expectNothingShown();
    }

    // A report that never gets through is given up at its bound (attempts, or time), logged
    // without its token, and the report behind it still goes out.
    void aReportThatNeverGetsThroughIsGivenUp_data()
    {
        QTest::addColumn<int>("maxAttempts");
        QTest::addColumn<int>("giveUpAfterMs");
        QTest::newRow("attempts") << 3 << 60000;
        QTest::newRow("time") << 1000 << 1000;
    }

    void aReportThatNeverGetsThroughIsGivenUp()
    {
        QFETCH(int, maxAttempts);
        QFETCH(int, giveUpAfterMs);
        QVERIFY(loginDemo());
        sim.admin("DELETE", "/admin/requests");
        const qint64 since = sim.reports().size();
        api->reportRetry = ReportWorker::Retry{50, 200, maxAttempts, giveUpAfterMs};
        QVERIFY(sim.fault({{"path", "/api/tradeSimulation"}, {"status", 500}, {"count", 1000}}));
        api->reportOrder("1", "S-1", u("多头 开仓"), 1, 1);
        api->reportFill("1", 1, 1);
        QVERIFY(api->waitForReports(30000));

        const int attempts = sim.requests("/api/tradeSimulation").size();
        QVERIFY2(maxAttempts < 1000 ? attempts == maxAttempts : attempts > 1 && attempts < 1000,
                 qPrintable(QString::number(attempts)));
        const QJsonArray stored = sim.reports();
        QCOMPARE(stored.size() - since, 1);
        QCOMPARE(stored.at(since).toObject().value("path").toString(),
                 QStringLiteral("/api/tradeSimulationSuccess"));
        const QStringList lines = capture->takeWarnings();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(u("[平台报告] 发送失败，稍后重试：TS ")));
        QVERIFY2(lines.at(1).startsWith(u("[平台报告] 未发出：TS {")) &&
                     lines.at(1).contains("\"orderID\":\"1\"") && !lines.at(1).contains("token"),
                 qPrintable(lines.at(1)));
    }

    // A report goes out under its own user's token only, waiting while that user is logged
    // out; one the platform refuses is logged whole, to be entered by hand.
    void aReportWaitsForItsOwnUser()
    {
        QVERIFY(loginDemo());
        sim.admin("DELETE", "/admin/requests");
        const qint64 since = sim.reports().size();
        QVERIFY(sim.fault({{"path", "/api/tradeSimulation"}, {"status", 500}, {"count", 2}}));
        api->reportRetry = ReportWorker::Retry{200, 200, 20, 60000};
        api->reportOrder("7", "S-7", u("多头 开仓"), 1, 1);
        QTRY_COMPARE(sim.requests("/api/tradeSimulation").size(), 1);
        GlobalVars::username = QStringLiteral("another");
        GlobalVars::token = QStringLiteral("another's token");
        QVERIFY(!api->waitForReports(1500));
        QCOMPARE(sim.requests("/api/tradeSimulation").size(), 1);
        QVERIFY(loginDemo());
        QVERIFY(api->waitForReports(15000));
        const QJsonArray stored = sim.reports();
        QCOMPARE(stored.size() - since, 1);
        QCOMPARE(stored.at(since)["report"]["token"].toString(), GlobalVars::token.get());

        QVERIFY(sim.fault(
            {{"path", "/api/tradeSimulationSuccess"}, {"body", envelope(9, u("订单不存在"))}}));
        api->reportFill("7", 1, 1);
        QVERIFY(api->waitForReports(15000));
        const QStringList lines = capture->takeWarnings();
        QVERIFY2(lines.contains(u("[平台报告] 等待用户demo再次登录后发送：TS")),
                 qPrintable(lines.join('|')));
        QVERIFY2(lines.last().startsWith(u("[平台报告] 平台拒绝：TSS {")) &&
                     lines.last().contains("\"orderID\":\"7\"") &&
                     lines.last().contains(u("订单不存在")) && !lines.last().contains("token"),
                 qPrintable(lines.last()));
    }

    // What a killed process left in its store: the report goes out at the next login with its
    // own key and the owner's new token, once; the signals it acted on stay acted on.
    void theStoreOfAKilledProcessIsTakenUpAtLogin()
    {
        PlatformSim::useDemoUser();
        const QString file = GlobalVars::dataFolder.get() + "/demo-9999-000001.sqlite";
        QString notice;
        {
            const auto earlier = SessionStore::open(file, &notice);
            QVERIFY(earlier);
            earlier->signalActed("simulation", "S-9");
            SessionStore::Report row;
            row.username = "demo";
            row.path = "/api/tradeSimulationSuccess";
            row.tag = "TSS";
            row.body = QJsonDocument(QJsonObject{{"token", "stale"},
                                                 {"username", "demo"},
                                                 {"orderID", "1k"},
                                                 {"volume", 1},
                                                 {"price", 3500.0}})
                           .toJson(QJsonDocument::Compact);
            row.idempotencyKey = "00000000-0000-4000-8000-000000000001";
            QVERIFY(earlier->reportQueued(row, "1k") > 0);
        }
        const qint64 since = sim.reports().size();
        GlobalVars::signalIds.clear();
        QVERIFY(api->login());
        const QString token = GlobalVars::token;
        QVERIFY(notice.isEmpty());
        QCOMPARE(GlobalVars::signalIds, QStringList{"S-9"});
        QVERIFY(api->waitForReports(15000));
        QVERIFY(api->login());
        QVERIFY(api->waitForReports(15000));
        const QJsonArray stored = sim.reports();
        QCOMPARE(stored.size() - since, 1);
        QCOMPARE(stored.at(since)["idempotencyKey"].toString(),
                 QStringLiteral("00000000-0000-4000-8000-000000000001"));
        QCOMPARE(stored.at(since)["report"]["token"].toString(), token);
        QVERIFY(SessionStore::current()->waitingReports().empty());
        capture->takeWarnings();
    }

    // Session close and exit: what is queued goes out within the bound, or is accounted for.
    void queuedReportsAreSentOrAccountedFor()
    {
        QVERIFY(loginDemo());
        const qint64 since = sim.reports().size();
        // A slow platform, within the request time-out: the wait ends once all are stored.
        QVERIFY(sim.fault({{"path", "/api/tradeSimulation"}, {"delayMs", 400}, {"count", 2}}));
        QVERIFY(sim.fault({{"path", "/api/tradeSimulationSuccess"}, {"delayMs", 400}}));
        api->reportOrder("1", "S-1", u("多头 开仓"), 1, 1);
        std::thread tradingThread([this] { api->reportFill("1", 1, 1); });
        tradingThread.join();
        api->reportOrder("2", "S-1", u("多头 平仓"), 1, 1);
        QVERIFY(api->waitForReports(30000));
        const QJsonArray stored = sim.reports();
        QCOMPARE(stored.size() - since, 3);
        for (int i = since; i < stored.size(); ++i) {
            QVERIFY(stored.at(i).toObject().value("accepted").toBool());
        }
        QCOMPARE(capture->takeWarnings(), QStringList());

        // A platform stalled past the bound: the wait gives up and says how many are left.
        api->timeoutMs = 1000;
        api->reportRetry.firstPauseMs = 600000;
        api->reportRetry.maxPauseMs = 600000;
        api->reportRetry.giveUpAfterMs = 1200000;
        QVERIFY(sim.fault({{"path", "/api/tradeSimulation"}, {"delayMs", 5000}, {"count", 5}}));
        QElapsedTimer waited;
        waited.start();
        for (int i = 0; i < 5; ++i) {
            api->reportOrder(QString::number(10 + i), "S-2", u("空头 开仓"), 1, 1);
        }
        QVERIFY(!api->waitForReports(200));
        QVERIFY(waited.elapsed() >= 200);
        QCOMPARE(capture->takeWarnings(),
                 QStringList{u("[平台报告] 等待超时，尚有 5 条报告未发出")});

        // At exit the client waits one time-out, not one per stalled report, and a retry pause
        // ends at once; every report is logged, without its token, as not sent.
        QElapsedTimer closing;
        closing.start();
        api.reset();
        QVERIFY2(closing.elapsed() < 30000, qPrintable(QString::number(closing.elapsed())));
        QSet<QString> notSent;
        for (const QString &line : capture->takeWarnings()) {
            if (line.startsWith(u("[平台报告] 未发出：TS "))) {
                QVERIFY2(!line.contains("token"), qPrintable(line));
                notSent << line.section(QStringLiteral("\"orderID\":\""), 1).left(2);
            } else {
                QVERIFY2(line.startsWith(u("[平台报告] 等待超时")) ||
                             line.startsWith(u("[平台报告] 发送失败，稍后重试：TS ")),
                         qPrintable(line));
            }
        }
        QCOMPARE(notSent, (QSet<QString>{"10", "11", "12", "13", "14"}));
    }

    // A message-area line is never lost for want of a window, and the relay follows the window.
    void messagesWaitForTheMainWindow()
    {
        SignalObject::setMainWindow(nullptr);
        api->showMessage(u("[提示信息] 一"));
        api->showMessage(u("[提示信息] 二"));
        QCOMPARE(capture->takeWarnings(),
                 QStringList({u("[消息区] 主窗口尚未就绪：[提示信息] 一"),
                              u("[消息区] 主窗口尚未就绪：[提示信息] 二")}));
        SignalObject::setMainWindow(capture.get());
        api->showMessage(u("[提示信息] 三"));
        QCOMPARE(capture->takeLines(),
                 QStringList({u("[提示信息] 一"), u("[提示信息] 二"), u("[提示信息] 三")}));

        // The window goes; its relay must not be reused, nor reach into it when replaced.
        capture.reset();
        api->showMessage(u("[提示信息] 四"));
        capture = std::make_unique<Capture>();
        api->showMessage(u("[提示信息] 五"));
        QCOMPARE(capture->takeLines(), QStringList({u("[提示信息] 四"), u("[提示信息] 五")}));
    }

    // --- hostile replies -------------------------------------------------------------------

    void hostileRepliesNeverPassForAnswers()
    {
        QVERIFY(loginDemo());
        const QByteArray huge(1024 * 1024, 'x');
        const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
        QList<QJsonObject> rules;
        const auto body = [&rules](const QJsonValue &value) {
            rules << QJsonObject{{"body", value}};
        };
        body(envelope(0, "ok", true));
        body(envelope(0, "ok", QJsonArray{1, 2}));
        body(QJsonObject{{"code", "0"}, {"msg", "ok"}, {"data", 5}});
        body(QJsonObject{{"code", QJsonObject()}, {"msg", QJsonArray()}});
        body(QJsonObject{{"code", 1e300}, {"msg", 1}});
        body(QJsonObject{{"code", 0.5}, {"msg", QJsonValue::Null}, {"data", QJsonValue::Null}});
        body(envelope(0, "ok",
                      QJsonObject{{"username", 1},
                                  {"realname", QJsonValue::Null},
                                  {"mobile", QJsonArray()},
                                  {"regdate", false},
                                  {"state", "yes"},
                                  {"profit", "0.2"},
                                  {"maxCapital", "1e9"},
                                  {"loginCode", 7},
                                  {"token", QJsonObject()},
                                  {"simulation", "9999"},
                                  {"real", 0},
                                  {"message", 3},
                                  {"id", QJsonArray()},
                                  {"instrument", 2705}}));
        body(envelope(0, QString::fromLatin1(huge)));
        body(envelope(0, "ok", QJsonObject{{"message", QString::fromLatin1(huge)}}));
        body(QString::fromLatin1(deep));
        body(QString::fromLatin1("{\"code\":0,\"msg\":\"ok\",\"data\":") +
             QString::fromLatin1(deep));
        body("{\"code\":0,\"msg\":\"ok\",\"data\":{\"message\":\"abc");
        body("\xef\xbb\xbf{\"code\":0}");
        body("");
        body("{\"code\":0,\"msg\":\"ok\",\"code\":1}");
        rules << QJsonObject{
            {"bodyBase64",
             QString::fromLatin1(QByteArray("{\"code\":0,\"msg\":\"\xff\xfe\xc3\","
                                            "\"data\":{\"message\":\"\xed\xa0\x80\"}}")
                                     .toBase64())}};
        rules << QJsonObject{
            {"bodyBase64", QString::fromLatin1(QByteArray("\x00\x01\x02", 3).toBase64())}};
        rules << QJsonObject{{"body", envelope(0, "ok", QJsonObject{{"message", "cut"}})},
                             {"truncateAt", 20}};
        rules << QJsonObject{{"status", 200}, {"contentType", "text/plain"}, {"body", "0"}};
        rules << QJsonObject{{"status", 204}};
        rules << QJsonObject{{"status", 999}, {"body", envelope(0, "ok")}};
        rules << QJsonObject{{"drop", true}};
        rules << QJsonObject{{"location", "ftp://127.0.0.1/x"}};
        rules << QJsonObject{{"location", QString(5000, QLatin1Char('/'))}};
        rules << QJsonObject{{"status", 101}};

        api->timeoutMs = 3000;
        // A second attempt of a report would take the fault meant for the next call.
        api->reportRetry.maxAttempts = 1;
        const QString token = GlobalVars::token;
        const QString loginCode = GlobalVars::loginCode;
        const int callsPerRule = 1000 / rules.size() + 1;
        for (QJsonObject rule : rules) {
            rule.insert("path", "*");
            // Room for the network library's one resend of a request whose connection closed
            // before any answer.
            rule.insert("count", 2 * callsPerRule);
            QVERIFY(sim.fault(rule));
            for (int call = 0; call < callsPerRule; ++call) {
                QJsonObject signal{{"untouched", true}};
                switch (call % 7) {
                case 0:
                    QVERIFY(!api->login());
                    break;
                case 1:
                    QVERIFY(!api->getConfig());
                    break;
                case 2:
                    QVERIFY(!api->getToken());
                    break;
                case 3:
                    QVERIFY(!api->getUserData());
                    break;
                case 4:
                    QVERIFY(
                        !(call % 2 ? api->signalReal(&signal) : api->signalSimulation(&signal)));
                    QCOMPARE(signal, QJsonObject({{"untouched", true}}));
                    break;
                case 5: {
                    const QString text = api->getLoginMessage();
                    QVERIFY2(text.size() < 100 || text.startsWith(QLatin1String("xxxx")),
                             qPrintable(text.left(100)));
                    break;
                }
                default:
                    api->reportFill("1", 1, 1);
                    QVERIFY(api->waitForReports(15000));
                    break;
                }
                // Nothing of the session was overwritten by a hostile answer.
                QCOMPARE(GlobalVars::token.get(), token);
                QCOMPARE(GlobalVars::loginCode.get(), loginCode);
                QCOMPARE(GlobalVars::brokerID.get(), QStringLiteral("9999"));
            }
            sim.admin("DELETE", "/admin/fault");
            capture->takeLines();
            capture->takeWarnings();
            MessageBox::takeShown();
        }
        // The platform and the client are both still fine.
        QVERIFY(api->getUserData());
    }
};

QTEST_GUILESS_MAIN(TestSignalApi)
#include "tst_signalapi.moc"
