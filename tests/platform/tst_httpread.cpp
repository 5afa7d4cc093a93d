#include "capture.h"
#include "globalvars.h"
#include "httpread.h"
#include "platformsim.h"

#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QtTest>

#include <thread>

namespace {
const QString kPath = QStringLiteral("/api/getLoginMessage");

QJsonObject envelope(int code, const QString &msg)
{
    return QJsonObject{{"code", code}, {"msg", msg}};
}

// Connections of this process to the port that are still open (ESTABLISHED), from the kernel's
// table; a request that was cut off leaves none behind.
int openConnectionsTo(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray remote = ":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    int open = 0;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields.at(2).endsWith(remote) && fields.at(3) == "01") {
            ++open;
        }
    }
    return open;
}
} // namespace

class TestHttpRead : public QObject
{
    Q_OBJECT

private:
    PlatformSim sim;

private slots:
    void initTestCase() { QVERIFY2(sim.start(), qPrintable(sim.errorString())); }

    void init()
    {
        GlobalVars::baseUrl = sim.url();
        GlobalVars::loginCode = QString();
    }

    void failuresFoldIntoCodeAndMsg_data()
    {
        QTest::addColumn<QJsonObject>("rule");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("msg");
        QTest::addColumn<QString>("logLine");

        const QJsonObject okBody = envelope(0, "ok");
        QTest::newRow("300 with an envelope")
            << QJsonObject{{"status", 300}, {"body", okBody}} << 300
            << QString::fromUtf8("[网络异常11] 请求远程数据时出现错误")
            << QString::fromUtf8("[网络异常12] 请求远程数据时出现错误，错误信息： 300  |  \"T\"");
        QTest::newRow("redirect")
            << QJsonObject{{"location", "http://127.0.0.1:9/elsewhere"}, {"body", okBody}} << 302
            << QString::fromUtf8("[网络异常11] 请求远程数据时出现错误")
            << QString::fromUtf8("[网络异常12] 请求远程数据时出现错误，错误信息： 302  |  \"T\"");
        // Every other 3xx without a target is no answer either, whatever its body says.
        for (const int status : {304, 305, 306, 399}) {
            QJsonObject rule{{"status", status}};
            if (status != 304) { // a 304 carries no body by definition
                rule.insert("body", okBody);
            }
            QTest::addRow("%d without a target", status)
                << rule << status << QString::fromUtf8("[网络异常11] 请求远程数据时出现错误")
                << QString::fromUtf8("[网络异常12] 请求远程数据时出现错误，错误信息： %1  |  \"T\"")
                       .arg(status);
        }
        QTest::newRow("401") << QJsonObject{{"status", 401}} << 401
                             << QString::fromUtf8(
                                    "[网络异常21] 请求远程数据时出现错误. 访问未授权. [Time]:LC-7")
                             << QString::fromUtf8("[网络异常22] 请求远程数据时出现错误，错误信息： "
                                                  "401 . 访问未授权. [Time]: \"LC-7\"  |  \"T\"");
        QTest::newRow("500") << QJsonObject{{"status", 500}} << 500
                             << QString::fromUtf8("[网络异常31] 远程服务器发生错误")
                             << QString::fromUtf8(
                                    "[网络异常32] 远程服务器发生错误，错误信息： 500  |  \"T\"");
        QTest::newRow("404")
            << QJsonObject{{"status", 404}} << 404
            << QString::fromUtf8("[网络异常51] 请求远程数据时出现错误")
            << QString::fromUtf8("[网络异常52] 请求远程数据时出现错误，错误信息： 404  |  \"T\"");
        QTest::newRow("502 with an envelope")
            << QJsonObject{{"status", 502}, {"body", okBody}} << 502
            << QString::fromUtf8("[网络异常51] 请求远程数据时出现错误")
            << QString::fromUtf8("[网络异常52] 请求远程数据时出现错误，错误信息： 502  |  \"T\"");
        QTest::newRow("connection dropped")
            << QJsonObject{{"drop", true}, {"count", 2}} << -1
            << QString::fromUtf8("[网络异常41] 远程服务器无法连接")
            << QString::fromUtf8("[网络异常42] 远程服务器无法连接，错误信息： -1  |  \"T\"");
    }

    void failuresFoldIntoCodeAndMsg()
    {
        QFETCH(QJsonObject, rule);
        QFETCH(int, code);
        QFETCH(QString, msg);
        QFETCH(QString, logLine);
        GlobalVars::loginCode = QStringLiteral("LC-7");
        Capture capture;

        for (const bool logErrors : {true, false}) {
            rule.insert("path", kPath);
            QVERIFY(sim.fault(rule));
            const QJsonObject result =
                HttpRead::postJson(kPath, QByteArray(), 5000, logErrors, QStringLiteral("T"));
            QCOMPARE(result, envelope(code, msg));
            QVERIFY(HttpRead::isTransportFailure(result));
            QCOMPARE(capture.takeWarnings(), logErrors ? QStringList{logLine} : QStringList());
        }
    }

    void aReplyThatIsNotJsonIsAnEmptyObject()
    {
        Capture capture;
        QVERIFY(sim.fault(
            {{"path", kPath}, {"body", "<html>busy</html>"}, {"contentType", "text/html"}}));
        QCOMPARE(HttpRead::postJson(kPath, QByteArray(), 5000, true, "T"), QJsonObject());
        QVERIFY(sim.fault({{"path", kPath}, {"body", QJsonArray{1, 2}}}));
        QCOMPARE(HttpRead::postJson(kPath, QByteArray(), 5000, true, "T"), QJsonObject());
        QVERIFY(HttpRead::isTransportFailure(QJsonObject()));
        QCOMPARE(capture.takeWarnings(), QStringList());
    }

    void nothingListening()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        GlobalVars::baseUrl = QStringLiteral("http://127.0.0.1:%1").arg(port);

        Capture capture;
        QCOMPARE(HttpRead::postWithToken(kPath, QByteArray(), 5000, true, "Config"),
                 envelope(-1, QString::fromUtf8("[网络异常41] 远程服务器无法连接")));
        QCOMPARE(capture.takeWarnings(),
                 QStringList{QString::fromUtf8(
                     "[网络异常42] 远程服务器无法连接，错误信息： -1  |  \"Config\"")});
    }

    void aTimeOutCutsTheRequestOff()
    {
        const quint16 port = QUrl(sim.url()).port();
        Capture capture;
        QVERIFY(sim.fault({{"path", kPath}, {"delayMs", 5000}, {"body", envelope(0, "late")}}));
        QCOMPARE(HttpRead::postJson(kPath, QByteArray(), 200, true, "Message"),
                 envelope(-1, QString::fromUtf8("[网络异常71] 请求远程数据超时")));
        QCOMPARE(capture.takeWarnings(),
                 QStringList{QString::fromUtf8("[网络异常72] 请求远程数据超时  |  \"Message\"")});
        // The server is still sitting on its answer; our side of the connection is gone.
        QCOMPARE(openConnectionsTo(port), 0);
    }

    void theTwoRequestKindsCarryTheirHeaders()
    {
        GlobalVars::token = QStringLiteral("tok-123");
        sim.admin("DELETE", "/admin/requests");
        HttpRead::postWithToken(QStringLiteral("/api/config"), QByteArray(), 5000, false, "Config");
        HttpRead::postJson(QStringLiteral("/api/tradeSimulation"), "{}", 5000, false, "TS");

        const QJsonObject withToken =
            sim.requests("/api/config").at(0).toObject().value("headers").toObject();
        QCOMPARE(withToken.value("authorization").toString(), QStringLiteral("Bearer tok-123"));
        QVERIFY(withToken.value("content-type").toString() != QLatin1String("application/json"));

        const QJsonObject json =
            sim.requests("/api/tradeSimulation").at(0).toObject().value("headers").toObject();
        QCOMPARE(json.value("content-type").toString(), QStringLiteral("application/json"));
        QVERIFY(!json.contains("authorization"));
    }

    // The fill report comes from the trading library's thread, which runs no Qt event loop.
    void worksOnAThreadWithoutAnEventLoop()
    {
        QJsonObject answered, timedOut;
        QVERIFY(sim.fault({{"path", "/api/token"}, {"delayMs", 3000}}));
        std::thread libraryThread([&] {
            answered = HttpRead::postJson(kPath, QByteArray(), 5000, false, "Message");
            timedOut = HttpRead::postWithToken("/api/token", QByteArray(), 200, false, "Auth");
        });
        libraryThread.join();
        QCOMPARE(answered.value("code").toInt(-99), 0);
        QVERIFY(!answered.value("data").toObject().value("message").toString().isEmpty());
        QCOMPARE(timedOut, envelope(-1, QString::fromUtf8("[网络异常71] 请求远程数据超时")));
    }
};

QTEST_GUILESS_MAIN(TestHttpRead)
#include "tst_httpread.moc"
