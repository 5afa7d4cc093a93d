// The message window: what OK and Cancel do for each type of text, texts shown exactly as
// sent, the platform's login message, and a settlement statement delivered by a started
// simulated front and confirmed from the window.

#include "capture.h"
#include "globalvars.h"
#include "loginsite.h"
#include "messagebox.h"
#include "messagewindow.h"
#include "platformsim.h"
#include "servicefront.h"
#include "signalapi.h"
#include "simprocess.h"
#include "startup.h"
#include "tradeservice.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QJsonObject envelope(int code, const QString &msg, const QJsonObject &data = {})
{
    QJsonObject object{{"code", code}, {"msg", msg}};
    if (!data.isEmpty()) {
        object.insert("data", data);
    }
    return object;
}
} // namespace

class TestMessageWindow : public QObject
{
    Q_OBJECT

private:
    PlatformSim platform;
    QTemporaryDir dir;
    std::unique_ptr<Capture> capture;
    std::unique_ptr<LoginSite> loginSite;
    std::unique_ptr<MessageWindow> window;

    QTextEdit *textEdit() { return window->findChild<QTextEdit *>("textEdit"); }
    QPushButton *button(const QString &name) { return window->findChild<QPushButton *>(name); }
    QString text() { return textEdit()->toPlainText(); }

    bool fakeLoginMessage(const QJsonObject &fault)
    {
        QJsonObject rule = fault;
        rule.insert("path", "/api/getLoginMessage");
        return platform.fault(rule);
    }

private slots:
    void initTestCase()
    {
        qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
        useGb2312Locale();
        QVERIFY2(platform.start(), qPrintable(platform.errorString()));
        QVERIFY(dir.isValid());
        GlobalVars::iniPath = dir.filePath("setup.ini");
        MessageBox::setTestMode(true);
        GlobalVars::tradeService->chainDelayMs = 20;
    }

    void init()
    {
        capture = std::make_unique<Capture>();
        loginSite = std::make_unique<LoginSite>();
        GlobalVars::loginSite = loginSite.get();
        window = std::make_unique<MessageWindow>();
        MessageBox::takeShown();
    }

    void cleanup()
    {
        GlobalVars::tradeService->release();
        GlobalVars::tradeService->setWindows(nullptr, nullptr);
        platform.admin("DELETE", "/admin/fault");
        window.reset();
        GlobalVars::loginSite = nullptr;
        loginSite.reset();
        capture.reset();
    }

    void formAndTabOrder()
    {
        QCOMPARE(window->windowTitle(), u("消息窗口"));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(window->layout()->contentsMargins(), QMargins(0, 0, 0, 6));
        QVERIFY(textEdit()->isReadOnly());
        auto *row = window->findChild<QGridLayout *>("gridLayout");
        QCOMPARE(row->itemAtPosition(0, 1)->widget(), button("okButton"));
        QCOMPARE(row->itemAtPosition(0, 3)->widget(), button("cancelButton"));
        QCOMPARE(button("okButton")->text() + button("cancelButton")->text(), u("确定取消"));
        QStringList tabs;
        for (QWidget *w = textEdit(); tabs.size() < 4; w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus) {
                tabs << w->objectName();
            }
        }
        QCOMPARE(tabs, QStringList({"textEdit", "okButton", "cancelButton", "textEdit"}));
    }

    void buttonsActByType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<int>("answer"); // to the question; -1 when none is asked
        // Afterwards: visible, text kept, OK enabled, login window shown.
        QTest::addColumn<QList<bool>>("after");
        using L = QList<bool>;
        QTest::newRow("login message, ok") << 1 << "okButton" << -1 << L{0, 0, 0, 1};
        // Closing leaves the text: the application ends with its last window.
        QTest::newRow("login message, cancel") << 1 << "cancelButton" << -1 << L{0, 1, 1, 0};
        QTest::newRow("statement, cancel, stay") << 2 << "cancelButton" << 1 << L{1, 1, 1, 0};
        QTest::newRow("statement, cancel, leave") << 2 << "cancelButton" << 0 << L{0, 0, 1, 0};
        QTest::newRow("inert, ok") << 3 << "okButton" << -1 << L{1, 1, 0, 0};
        QTest::newRow("inert, cancel") << 3 << "cancelButton" << -1 << L{1, 1, 1, 0};
        QTest::newRow("other, ok") << 7 << "okButton" << -1 << L{0, 0, 0, 0};
        QTest::newRow("other, cancel") << 0 << "cancelButton" << -1 << L{0, 0, 1, 0};
    }

    void buttonsActByType()
    {
        QFETCH(int, type);
        QFETCH(QString, pressed);
        QFETCH(int, answer);
        QFETCH(QList<bool>, after);
        if (answer >= 0) {
            MessageBox::setNextAnswer(answer);
        }
        window->showWindow();
        QVERIFY(!button("okButton")->isEnabled());
        window->showMessageText(type, QStringLiteral("text"));
        QVERIFY(button("okButton")->isEnabled());

        QTest::mouseClick(button(pressed), Qt::LeftButton);

        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), answer >= 0 ? 1 : 0);
        if (answer >= 0) {
            QCOMPARE(shown[0].parent, static_cast<QWidget *>(window.get()));
            QCOMPARE(shown[0].title + '|' + shown[0].text + '|' + shown[0].buttons.join(','),
                     u("提示信息|"
                       "根据相关规定，每天必须先确认结算单，否则无法进行交易。继续退出吗？|是,否"));
        }
        QCOMPARE(QList<bool>({window->isVisible(), text() == QLatin1String("text"),
                              button("okButton")->isEnabled(), loginSite->isVisible()}),
                 after);
        QCOMPARE(window->type, type);
    }

    void statementPiecesJoinInAFixedPitch()
    {
        // Cut as a front cuts by bytes: inside a line, and between CR and LF.
        const QString statement = u("  交易结算单(盯市)\r\n日期 | 合约   | 手数\r\n"
                                    "0101 | rb2705 |    3\r\n免责声明：%1 <i>\r\n");
        const QList<int> cuts{9, statement.indexOf('\n'), 20, 49, statement.size()};
        for (int i = 0, from = 0; i < cuts.size(); from = cuts[i++]) {
            const bool last = i == cuts.size() - 1;
            window->appendMessageText(last, 2, statement.mid(from, cuts[i] - from));
            QCOMPARE(button("okButton")->isEnabled(), last);
        }
        QVERIFY(window->isVisible());
        QCOMPARE(text(), QString(statement).remove('\r'));

        // A wrapped line or a proportional face would break the columns.
        const QTextBlock block = textEdit()->document()->findBlockByNumber(2);
        QVERIFY(block.blockFormat().nonBreakableLines());
        const QFont font = QTextCursor(block).charFormat().font();
        QVERIFY(font.fixedPitch() && font.styleHint() == QFont::Monospace);
        if (QFontDatabase().families().contains(QStringLiteral("WenQuanYi Zen Hei Mono"))) {
            const QFontMetricsF metrics(font);
            QCOMPARE(metrics.horizontalAdvance(u("中")), 2 * metrics.horizontalAdvance("a"));
        }

        // The next statement starts on a line of its own.
        window->appendMessageText(true, 2, QStringLiteral("next"));
        QVERIFY(text().endsWith(QStringLiteral("\n\nnext")));
    }

    void boxesShowTextsLiterally()
    {
        // Shown for real: a platform's text in a box stays text, and a link in it stays dead.
        const QString markup = u("<a href=\"x\">link</a><b>b</b>");
        QString seen;
        auto pressWhenShown = [&seen](int button) {
            QTimer::singleShot(0, [&seen, button] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box);
                if (const auto *label = box->findChild<QLabel *>("qt_msgbox_label")) {
                    seen = label->text() +
                           (label->textFormat() == Qt::PlainText ? " plain" : " markup") +
                           (label->textInteractionFlags() & Qt::LinksAccessibleByMouse ? " links"
                                                                                       : "");
                }
                box->buttons().value(button)->click();
            });
        };
        MessageBox::setTestMode(false);
        const auto hookBack = qScopeGuard([] { MessageBox::setTestMode(true); });
        pressWhenShown(0);
        MessageBox::information(window.get(), u("提示信息"), markup);
        QCOMPARE(seen, markup + " plain");
        // The question answers by the button's place, as the legacy form it replaces.
        seen.clear();
        pressWhenShown(1);
        QCOMPARE(MessageBox::question(window.get(), u("提示"), markup, u("是"), u("否")), 1);
        QCOMPARE(seen, markup + " plain");
    }

    void loginMessageFromAReply_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QStringList>("lines");
        const QString readError = u("[错误] 读取远程数据出错");
        // Markup and placeholders stay as the platform sent them.
        const QString literal = u("<b>公告</b> &amp; 第%1条");
        QTest::newRow("message") << QJsonObject{{"body", envelope(0, "ok", {{"message", literal}})}}
                                 << QStringList{literal};
        QTest::newRow("platform error without data")
            << QJsonObject{{"body", envelope(1, "x")}} << QStringList{"x", readError, ""};
        QTest::newRow("not json") << QJsonObject{{"body", "<html>"}}
                                  << QStringList{readError, readError, ""};
        // The first line is the transport error, with the reply's own text.
        QTest::newRow("server error")
            << QJsonObject{{"status", 500}} << QStringList{"", readError, readError, ""};
    }

    void loginMessageFromAReply()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QStringList, lines);
        QVERIFY(fakeLoginMessage(fault));
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(platform.url() + "/api/getLoginMessage"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QPointer<QNetworkReply> reply = manager.post(request, QByteArray());
        QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, 20000));
        if (reply->error() != QNetworkReply::NoError) {
            lines[0] =
                u("[网络异常1] 请求远程数据时出现错误：错误信息：%1").arg(reply->errorString());
        }
        window->showWindow();

        window->receiveMessage(reply);

        QCOMPARE(text().split('\n'), lines);
        QCOMPARE(window->type, 1);
        QVERIFY(button("okButton")->isEnabled());
        QTRY_VERIFY(reply.isNull()); // handed to deferred deletion

        // The start-up path shows the same text as sent.
        if (QTest::currentDataTag() == QLatin1String("message")) {
            QVERIFY(fakeLoginMessage(fault));
            window->closeWindow();
            window->showWindow();
            window->appendMessageText(true, 1, GlobalVars::signalApi->getLoginMessage());
            QCOMPARE(text(), lines[0]);
        }
    }

    void linesReachTheCurrentMainWindow()
    {
        window->sendMessageSignal(QStringLiteral("first"));
        QCOMPARE(capture->takeLines(), QStringList{"first"});
        // The relay is kept, but a main window that replaced the first one gets the lines.
        capture.reset();
        capture = std::make_unique<Capture>();
        window->sendMessageSignal(QStringLiteral("second"));
        QCOMPARE(capture->takeLines(), QStringList{"second"});
    }

    void statementFromTheFrontIsConfirmedFromTheWindow()
    {
        SimProcess front;
        QTemporaryDir data;
        GlobalVars::resetSession();
        QVERIFY(startServiceFront(front, data.path()));
        GlobalVars::brokerID = QStringLiteral("9999");
        GlobalVars::investerID = QStringLiteral("000001");
        GlobalVars::investerPassword = QStringLiteral("123456");
        GlobalVars::instrument = QStringLiteral("rb2705");
        TradeService *trading = GlobalVars::tradeService;
        trading->setWindows(nullptr, window.get());
        GlobalVars::pendingRequest = 1;
        QCOMPARE(trading->init(), 0);
        QVERIFY(QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, 20000));
        QStringList lines;
        auto lineArrives = [&](const QString &line) {
            return QTest::qWaitFor(
                [&] { return (lines << capture->takeLines()).removeAll(line) > 0; }, 20000);
        };
        QCOMPARE(trading->reqUserLogin(11), 0);
        QVERIFY(lineArrives(u("[查询资金账户] 完毕")));
        // As after the login message: hidden, with OK off.
        window->showWindow();
        window->closeWindow();

        QCOMPARE(trading->querySettlementInfo(), 0);
        QVERIFY(QTest::qWaitFor([&] { return button("okButton")->isEnabled(); }, 20000));
        QVERIFY(window->isVisible());
        QVERIFY(!text().contains(QChar::ReplacementCharacter));
        QVERIFY(text().contains(u("交易结算单(盯市)")));
        QVERIFY(text().contains(u("免责声明：市场有风险，投资需谨慎。")));

        QTest::mouseClick(button("okButton"), Qt::LeftButton);
        QVERIFY(!window->isVisible() && text().isEmpty());
        QVERIFY(lineArrives(u("[结算单确认] 完毕")));
    }
};

QTEST_MAIN(TestMessageWindow)
#include "tst_messagewindow.moc"
