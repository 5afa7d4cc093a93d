// The platform login window against a started simulated platform: the form, the refusals of
// the login procedure and the hand-over to the main window.

#include "capture.h"
#include "globalvars.h"
#include "loginsite.h"
#include "messagebox.h"
#include "platformsim.h"
#include "utils.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
QString u(const char *text)
{
    return QString::fromUtf8(text);
}
} // namespace

class TestLoginSite : public QObject
{
    Q_OBJECT

private:
    PlatformSim sim;
    QTemporaryDir settingsDir;
    QJsonObject demoUser;
    QJsonObject platformConfig;
    std::unique_ptr<Capture> capture;
    std::unique_ptr<LoginSite> window;

    template <class T = QWidget> T *child(const char *name) { return window->findChild<T *>(name); }
    QLineEdit *field(const char *name) { return child<QLineEdit>(name); }
    QPushButton *button(const QString &name) { return child<QPushButton>(qPrintable(name)); }
    bool buttonsEnabled()
    {
        return button("simulation_btn")->isEnabled() && button("real_btn")->isEnabled();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QVERIFY(settingsDir.isValid());
        GlobalVars::iniPath = settingsDir.filePath("setup.ini");
        platformConfig = sim.platformConfig();
        demoUser = sim.user(QStringLiteral("demo"));
        QVERIFY(!platformConfig.isEmpty() && !demoUser.isEmpty());
        MessageBox::setTestMode(true);
    }

    void init()
    {
        GlobalVars::resetSession();
        GlobalVars::baseUrl = sim.url();
        Utils::writeSetting("SETUP", "username", "before");
        capture = std::make_unique<Capture>();
        window = std::make_unique<LoginSite>();
        window->showWindow();
        sim.admin("DELETE", "/admin/requests");
        MessageBox::takeShown();
    }

    void cleanup()
    {
        window.reset();
        capture.reset();
        sim.admin("DELETE", "/admin/fault");
        sim.patchUser(demoUser);
        sim.admin("POST", "/admin/config", {{"platform", platformConfig}});
    }

    void formAndTabOrder()
    {
        QStringList texts;
        for (const char *name : {"label", "investerIDLabel", "investerPasswordLabel",
                                 "simulation_btn", "real_btn", "usernameText"}) {
            texts << child(name)->property("text").toString();
        }
        QCOMPARE(texts, QStringList({u("提示：这里登录的是程序化交易平台的账号"), u("用户名："),
                                     u("密\u3000码："), u("登录模拟"), u("登录实盘"), "before"}));
        QCOMPARE(window->windowTitle(), u("程序化交易(CTP版) - 用户登录"));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(child<QLabel>("investerIDLabel")->buddy(), field("usernameText"));
        QCOMPARE(child<QLabel>("investerPasswordLabel")->buddy(), field("passwordText"));
        QCOMPARE(field("passwordText")->echoMode(), QLineEdit::Password);
        QStringList tabs;
        for (QWidget *w = field("usernameText"); tabs.size() < 4; w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus) {
                tabs << w->objectName();
            }
        }
        QCOMPARE(tabs, QStringList({"usernameText", "passwordText", "simulation_btn", "real_btn"}));
        // Shown with a remembered name, the password field has the focus.
        QCOMPARE(window->focusWidget(), field("passwordText"));
        for (const char *name : {"usernameText", "passwordText"}) {
            field(name)->clear();
            QTest::keyClicks(field(name), QString(25, QLatin1Char('x')));
            QCOMPARE(field(name)->text().size(), 20);
        }
    }

    void refusalsKeepTheWindowOpen_data()
    {
        // The button, the user name, the password, and what the platform is made to refuse.
        QTest::addColumn<QStringList>("attempt");
        QTest::addColumn<QString>("box");
        const QString blank = u("输入不能为空");
        const QString config = u("%1信息错误，请确定开通实盘权限，以及配置实盘信息。");
        QTest::newRow("blank user name")
            << QStringList{"simulation_btn", "   ", "demo", ""} << blank;
        QTest::newRow("blank password") << QStringList{"real_btn", "demo", " \t", ""} << blank;
        // Sent and remembered exactly as typed; the platform knows no such user.
        QTest::newRow("user name with spaces")
            << QStringList{"simulation_btn", " demo ", "demo", ""} << u("用户名或密码错误");
        QTest::newRow("no simulation configuration")
            << QStringList{"simulation_btn", "demo", "demo", "simulation"}
            << config.arg(u("模拟盘账号"));
        QTest::newRow("no real configuration")
            << QStringList{"real_btn", "demo", "demo", "real"} << config.arg(u("实盘账号"));
        QTest::newRow("new version") << QStringList{"real_btn", "demo", "demo", "version"}
                                     << u("当前有新版本，为保证程序正确性，请下载最新版本");
        QTest::newRow("frozen account")
            << QStringList{"simulation_btn", "demo", "demo", "frozen"} << u("账户已冻结不可用");
    }

    void refusalsKeepTheWindowOpen()
    {
        QFETCH(QStringList, attempt);
        QFETCH(QString, box);
        const QString button = attempt[0], username = attempt[1], password = attempt[2];
        const QString platform = attempt[3];
        if (platform == QLatin1String("frozen")) {
            QVERIFY(sim.patchUser({{"username", "demo"}, {"state", false}}));
        } else if (!platform.isEmpty()) {
            const QJsonObject patch =
                platform == QLatin1String("version")
                    ? QJsonObject{{"version", "1.1"}}
                    : QJsonObject{{platform, QJsonObject{{"name", QJsonValue::Null}}}};
            QCOMPARE(sim.admin("POST", "/admin/config", {{"platform", patch}}).value("code"), 0);
        }
        const bool sent = box != u("输入不能为空");
        QSignalSpy handedOver(window.get(), &LoginSite::showMainWindow);
        field("usernameText")->setText(username);
        field("passwordText")->setText(password);

        QTest::mouseClick(this->button(button), Qt::LeftButton);

        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title + '|' + shown[0].text, u("提示信息|") + box);
        // Only the refusal of the form itself belongs to the window.
        QCOMPARE(shown[0].parent, sent ? nullptr : static_cast<QWidget *>(window.get()));
        QVERIFY(window->isVisible() && buttonsEnabled());
        QCOMPARE(handedOver.count(), 0);
        const QJsonArray logins = sim.requests("/api/login");
        QCOMPARE(logins.size(), sent ? 1 : 0);
        QCOMPARE(Utils::readSetting("SETUP", "username"), sent ? username : u("before"));
        QCOMPARE(GlobalVars::username.get(), sent ? username : QString());
        if (sent) {
            const QString body = logins[0].toObject().value("body").toString();
            QCOMPARE(QJsonDocument::fromJson(body.toUtf8()).object().value("username").toString(),
                     username);
            QCOMPARE(GlobalVars::password.get(), password);
            QCOMPARE(GlobalVars::accountType.get(),
                     button == QLatin1String("real_btn") ? u("real") : u("simulation"));
        }
    }

    void loginHandsOverAndLogoutShowsTheWindowAgain()
    {
        // The request is held back, so clicks arriving meanwhile meet disabled buttons.
        QVERIFY(sim.fault({{"path", "/api/login"}, {"delayMs", 300}}));
        bool running = false;
        bool clickedWhileRunning = false;
        QTimer::singleShot(50, [&] {
            clickedWhileRunning = running;
            QVERIFY(!buttonsEnabled());
            QTest::mouseClick(button("real_btn"), Qt::LeftButton);
            QTest::mouseClick(button("simulation_btn"), Qt::LeftButton);
        });
        QSignalSpy handedOver(window.get(), &LoginSite::showMainWindow);
        connect(window.get(), &LoginSite::showMainWindow, this,
                [&] { QVERIFY(!window->isVisible()); });
        field("usernameText")->setText("demo");
        field("passwordText")->setText("demo");

        running = true;
        QTest::keyClick(field("passwordText"), Qt::Key_Return);
        running = false;

        QVERIFY2(clickedWhileRunning, "the second click came after the login");
        QCOMPARE(handedOver.count(), 1);
        QCOMPARE(handedOver[0][0].toBool(), true);
        QCOMPARE(sim.requests("/api/login").size(), 1);
        QCOMPARE(GlobalVars::accountType.get(), u("simulation"));
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QVERIFY(!window->isVisible() && field("passwordText")->text().isEmpty());
        QVERIFY(!button("simulation_btn")->isEnabled());
        QCOMPARE(capture->takeWarnings(),
                 QStringList{u("[客户端登录]  \"%1\"").arg(GlobalVars::startStamp.get())});

        // Logout: the same name, an empty password, the buttons back, the focus on the password.
        window->showWindow();
        QVERIFY(window->isVisible() && buttonsEnabled());
        QCOMPARE(field("usernameText")->text(), u("demo"));
        QVERIFY(field("passwordText")->text().isEmpty());
        QCOMPARE(window->focusWidget(), field("passwordText"));
        // The next start remembers the name.
        QCOMPARE(LoginSite().findChild<QLineEdit *>("usernameText")->text(), u("demo"));
    }
};

QTEST_MAIN(TestLoginSite)
#include "tst_loginsite.moc"
