// The trading-account login dialog: the form, the checks before a request, what an unfinished
// earlier login asks, and a login against a started simulated front.

#include "capture.h"
#include "globalvars.h"
#include "loginctp.h"
#include "messagebox.h"
#include "servicefront.h"
#include "simprocess.h"
#include "startup.h"
#include "tradeservice.h"
#include "utils.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
QString u(const char *text)
{
    return QString::fromUtf8(text);
}
} // namespace

class TestLoginCTP : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<Capture> capture;
    std::unique_ptr<LoginCTP> dialog;

    QLineEdit *field(const char *name) { return dialog->findChild<QLineEdit *>(name); }
    QPushButton *okButton() { return dialog->findChild<QPushButton *>("ok_btn"); }

    void showFilled(const QString &password)
    {
        dialog->fillAccountFields();
        dialog->showWindow();
        field("investerPasswordText")->setText(password);
    }

    // Each box as "title|text|buttons"; every one must belong to the dialog.
    QStringList boxes()
    {
        QStringList texts;
        for (const MessageBox::Shown &box : MessageBox::takeShown()) {
            texts << (box.parent == dialog.get() ? QString() : QStringLiteral("(no parent) ")) +
                         box.title + '|' + box.text + '|' + box.buttons.join(',');
        }
        return texts;
    }

private slots:
    void initTestCase()
    {
        qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
        useGb2312Locale();
        QVERIFY(dir.isValid());
        GlobalVars::iniPath = dir.filePath("setup.ini");
        Utils::writeSetting("SETUP", "investerID", "remembered");
        MessageBox::setTestMode(true);
        GlobalVars::tradeService->chainDelayMs = 20;
    }

    void init()
    {
        GlobalVars::resetSession();
        GlobalVars::brokerID = QStringLiteral("9999");
        GlobalVars::investerID = QStringLiteral("000001");
        GlobalVars::instrument = QStringLiteral("rb2705");
        capture = std::make_unique<Capture>();
        dialog = std::make_unique<LoginCTP>();
        GlobalVars::tradeService->setWindows(dialog.get(), nullptr);
        MessageBox::takeShown();
    }

    void cleanup()
    {
        GlobalVars::tradeService->release();
        GlobalVars::tradeService->setWindows(nullptr, nullptr);
        dialog.reset();
        capture.reset();
    }

    void formAndShowing()
    {
        QStringList texts;
        for (const char *name : {"label", "brokerIDLabel", "investerIDLabel", "instrumentLabel",
                                 "investerPasswordLabel", "ok_btn", "investerIDText"}) {
            texts << dialog->findChild<QWidget *>(name)->property("text").toString();
        }
        // Until the main window fills the fields, the account comes from the settings file.
        QCOMPARE(texts,
                 QStringList({u("请输入交易账户的密码"), u(" 经纪公司："), u("开户名："),
                              u(" 合约代码："), u("密\u3000码："), u("确  定"), "remembered"}));
        QCOMPARE(dialog->windowTitle(), u("交易账户"));
        QVERIFY(!dialog->windowIcon().isNull() && !dialog->isVisible());
        for (const char *name :
             {"brokerIDText", "investerIDText", "instrumentText", "investerPasswordText"}) {
            const bool password = QByteArray(name) == "investerPasswordText";
            QCOMPARE(field(name)->isEnabled() && !field(name)->isReadOnly(), password);
            QCOMPARE(field(name)->echoMode(), password ? QLineEdit::Password : QLineEdit::Normal);
            QCOMPARE(field(name)->maxLength(), 20);
            const QByteArray label = QByteArray(name).replace("Text", "Label");
            QCOMPARE(dialog->findChild<QLabel *>(label)->buddy(), field(name));
        }

        okButton()->setEnabled(false);
        showFilled("left over");
        dialog->closeWindow();
        QVERIFY(!dialog->isVisible() && field("investerPasswordText")->text().isEmpty());
        dialog->showWindow();
        QVERIFY(dialog->isVisible() && okButton()->isEnabled());
        QCOMPARE(field("brokerIDText")->text() + field("investerIDText")->text() +
                     field("instrumentText")->text(),
                 QStringLiteral("9999000001rb2705"));
        QCOMPARE(dialog->focusWidget(), field("investerPasswordText"));
        QCOMPARE(field("investerPasswordText")->nextInFocusChain(), okButton());
    }

    void checksBeforeTheRequest_data()
    {
        // The session's account, the account shown, the instrument and the password.
        QTest::addColumn<QStringList>("form");
        QTest::addColumn<QString>("box");
        const QString blank = u("提示信息|输入不能为空|");
        QTest::newRow("another account shown")
            << QStringList{"000001", "000002", "rb2705", ""} << u("提示信息|交易账户不正确！|");
        QTest::newRow("blank password") << QStringList{"000001", "000001", "rb2705", "  "} << blank;
        QTest::newRow("no instrument") << QStringList{"000001", "000001", " ", "pw"} << blank;
        QTest::newRow("no account at all") << QStringList{"", "", "rb2705", "pw"} << blank;
    }

    void checksBeforeTheRequest()
    {
        QFETCH(QStringList, form);
        QFETCH(QString, box);
        GlobalVars::investerID = form[0];
        GlobalVars::instrument = form[2];
        showFilled(form[3]);
        field("investerIDText")->setText(form[1]);

        QTest::mouseClick(okButton(), Qt::LeftButton);

        QCOMPARE(boxes(), QStringList{box});
        QVERIFY(dialog->isVisible() && okButton()->isEnabled());
        QCOMPARE(field("investerPasswordText")->text(), form[3]);
        QVERIFY(GlobalVars::investerPassword.isEmpty());
        QCOMPARE(GlobalVars::pendingRequest.load(), 0);
    }

    // Without a front nothing can be sent, so every path that tries shows the network refusal.
    void whatIsPendingDecides_data()
    {
        QTest::addColumn<int>("pending");
        QTest::addColumn<int>("answer"); // to the question; -1 closes it
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("pendingAfter");
        const QString ask =
            u("提示|上次登录失败，可能当前处在非交易时段，是否继续尝试登录？|确定,取消");
        const QString network = u("提示信息|登录失败，请检查网络|");
        QTest::newRow("nothing pending") << 0 << -1 << QStringList{network} << 0;
        QTest::newRow("unfinished, retry") << 11 << 0 << QStringList{ask, network} << 0;
        QTest::newRow("unfinished, cancel") << 11 << 1 << QStringList{ask} << 11;
        QTest::newRow("unfinished, box closed") << 11 << -1 << QStringList{ask} << 11;
        QTest::newRow("another request pending")
            << 21 << -1
            << QStringList{u("提示信息|登录失败，CTP连接发生错误，请退出软件稍后再试！|")} << 21;
    }

    void whatIsPendingDecides()
    {
        QFETCH(int, pending);
        QFETCH(int, answer);
        QFETCH(QStringList, boxes);
        QFETCH(int, pendingAfter);
        GlobalVars::pendingRequest = pending;
        GlobalVars::strategyState = 4;
        if (pending == 11) {
            MessageBox::setNextAnswer(answer);
        }
        showFilled(" pw ");

        QTest::keyClick(field("investerPasswordText"), Qt::Key_Return);

        QCOMPARE(this->boxes(), boxes);
        QVERIFY(!dialog->isVisible() && !okButton()->isEnabled());
        QVERIFY(field("investerPasswordText")->text().isEmpty());
        QCOMPARE(GlobalVars::investerPassword.get(), u(" pw "));
        QCOMPARE(GlobalVars::pendingRequest.load(), pendingAfter);
        // A changed account waits for the platform login, whatever the trading login does.
        QCOMPARE(GlobalVars::strategyState.load(), 4);
    }

    void oneClickSendsOneLogin()
    {
        SimProcess front;
        QTemporaryDir data;
        QVERIFY(startServiceFront(front, data.path()));
        GlobalVars::pendingRequest = 1;
        QCOMPARE(GlobalVars::tradeService->init(), 0);
        QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, 20000));
        GlobalVars::pendingRequest = 0;
        showFilled("123456");

        QTest::mouseClick(okButton(), Qt::LeftButton);

        QVERIFY(!dialog->isVisible());
        QCOMPARE(boxes(), QStringList());
        QCOMPARE(GlobalVars::pendingRequest.load(), 11);
        QStringList lines;
        QVERIFY(QTest::qWaitFor(
            [&] { return (lines << capture->takeLines()).contains(u("[查询资金账户] 完毕")); },
            20000));
        QCOMPARE(lines.filter(u("交易账户登录")), QStringList{u("[交易账户登录] 已登录")});
        QCOMPARE(GlobalVars::tradeLoginState.load(), 0);
        QCOMPARE(GlobalVars::pendingRequest.load(), 0);
    }
};

QTEST_MAIN(TestLoginCTP)
#include "tst_loginctp.moc"
