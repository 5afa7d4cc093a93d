// Injected faults and hostile requests: every fault kind does what it says for exactly its
// count, and nothing a client sends crashes the server or costs a stored report.
#include "platformharness.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using nlohmann::json;

class TstSimplatformFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void statusAndBodyApplyForExactlyTheirCount();
    void faultsQueueInOrderAndWildcardSparesAdmin();
    void delayAloneLetsTheRequestProceedAndOutlastsAShortTimeout();
    void redirectsCarryTheirLocation();
    void dropAndTruncateEndTheConnection();
    void arbitraryBytesAndJsonBodies();
    void faultedReportsAreNotStored();
    void badFaultRequestsAreRefused();
    void hostileRequestsNeitherCrashNorLoseReports();
    void rawSocketGarbage();
    void stopEndsPendingDelays();
    void commandLine();

private:
    bool fault(const json &rule) { return platform->post("/admin/fault", rule).code() == 0; }
    std::unique_ptr<PlatformHarness> platform;
};

void TstSimplatformFaults::init()
{
    platform = std::make_unique<PlatformHarness>();
    QVERIFY(platform->start());
}

void TstSimplatformFaults::statusAndBodyApplyForExactlyTheirCount()
{
    QVERIFY(fault({{"path", "/api/getLoginMessage"}, {"status", 500}, {"count", 3}}));
    for (int i = 0; i < 3; ++i) {
        const HttpAnswer answer = platform->request("POST", "/api/getLoginMessage");
        QCOMPARE(answer.status, 500);
        QCOMPARE(answer.body, std::string()); // exactly what was asked: no envelope
    }
    QCOMPARE(platform->request("POST", "/api/getLoginMessage").code(), 0);
    QCOMPARE(platform->get("/admin/fault").data().size(), size_t(0));

    QVERIFY(fault({{"path", "/api/login"},
                   {"status", 401},
                   {"body", "nope"},
                   {"contentType", "text/plain"}}));
    const HttpAnswer answer = platform->post("/api/login", {{"username", "demo"}});
    QCOMPARE(answer.status, 401);
    QCOMPARE(answer.body, std::string("nope"));
    QCOMPARE(answer.headers.find("Content-Type")->second, std::string("text/plain"));
}

void TstSimplatformFaults::faultsQueueInOrderAndWildcardSparesAdmin()
{
    QVERIFY(fault({{"path", "/api/config"}, {"status", 404}}));
    QVERIFY(fault({{"path", "/api/config"}, {"status", 502}}));
    QVERIFY(fault({{"path", "*"}, {"status", 503}, {"count", 2}}));
    QCOMPARE(platform->get("/admin/fault").data().size(), size_t(3));
    QCOMPARE(platform->request("POST", "/api/config").status, 404);
    QCOMPARE(platform->request("POST", "/api/config").status, 502);
    QCOMPARE(platform->get("/admin/reports").status, 200); // admin paths are never faulted
    QCOMPARE(platform->request("POST", "/api/userData").status, 503);
    QCOMPARE(platform->request("POST", "/no/such/path").status, 503);
    QCOMPARE(platform->request("POST", "/api/userData").status, 401);

    QVERIFY(fault({{"path", "/api/token"}, {"status", 500}, {"count", 5}}));
    QCOMPARE(platform->request("DELETE", "/admin/fault").code(), 0);
    QCOMPARE(platform->request("POST", "/api/token").status, 401);
}

void TstSimplatformFaults::delayAloneLetsTheRequestProceedAndOutlastsAShortTimeout()
{
    QVERIFY(fault({{"path", "/api/getLoginMessage"}, {"delayMs", 300}}));
    QCOMPARE(platform->request("POST", "/api/getLoginMessage").code(), 0);

    QVERIFY(fault({{"path", "/api/getLoginMessage"}, {"delayMs", 3000}}));
    const HttpAnswer late =
        platform->request("POST", "/api/getLoginMessage", std::string(), {}, 300);
    QCOMPARE(late.status, -1);
    QCOMPARE(platform->request("POST", "/api/getLoginMessage").code(), 0);
}

void TstSimplatformFaults::redirectsCarryTheirLocation()
{
    QVERIFY(fault({{"path", "/api/config"}, {"location", "http://127.0.0.1:1/elsewhere"}}));
    QVERIFY(fault({{"path", "/api/config"}, {"status", 300}, {"body", "choices"}}));
    HttpAnswer answer = platform->request("POST", "/api/config");
    QCOMPARE(answer.status, 302);
    QCOMPARE(answer.headers.find("Location")->second, std::string("http://127.0.0.1:1/elsewhere"));
    answer = platform->request("POST", "/api/config");
    QCOMPARE(answer.status, 300);
    QCOMPARE(answer.body, std::string("choices"));
}

void TstSimplatformFaults::dropAndTruncateEndTheConnection()
{
    QVERIFY(fault({{"path", "/api/signalReal"}, {"drop", true}, {"count", 2}}));
    QCOMPARE(platform->request("POST", "/api/signalReal").status, -1);
    QCOMPARE(platform->request("POST", "/api/signalReal").status, -1);
    QCOMPARE(platform->request("POST", "/api/signalReal").status, 401);

    const std::string body = R"({"code":0,"msg":"成功","data":{"message":"x"}})";
    QVERIFY(fault({{"path", "/api/getLoginMessage"}, {"body", body}, {"truncateAt", 10}}));
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(platform->port()));
    QVERIFY(socket.waitForConnected(5000));
    socket.write("POST /api/getLoginMessage HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n");
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        received += socket.readAll();
    received += socket.readAll();
    QVERIFY(received.contains("Content-Length: " + QByteArray::number(int(body.size()))));
    QVERIFY(received.endsWith(QByteArray::fromStdString(body.substr(0, 10))));
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
}

void TstSimplatformFaults::arbitraryBytesAndJsonBodies()
{
    const QByteArray bytes("\xff\xfe{\"code\":\x00\xc3", 9);
    QVERIFY(
        fault({{"path", "/api/signalSimulation"}, {"bodyBase64", bytes.toBase64().toStdString()}}));
    HttpAnswer answer = platform->request("POST", "/api/signalSimulation");
    QCOMPARE(answer.status, 200);
    QCOMPARE(QByteArray::fromStdString(answer.body), bytes);

    const json reply = {{"code", "0"}, {"msg", 5}, {"data", json::array({1, 2})}};
    QVERIFY(fault({{"path", "/api/signalSimulation"}, {"body", reply}}));
    QCOMPARE(platform->request("POST", "/api/signalSimulation").json, reply);

    // Big enough to stress a client, built from a small admin request.
    const std::string huge(4 * 1024 * 1024, 'x');
    QVERIFY(fault({{"path", "/api/config"}, {"body", "{\"code\":0,\"msg\":\"" + huge + "\"}"}}));
    QCOMPARE(platform->request("POST", "/api/config").json["msg"].get<std::string>().size(),
             huge.size());
}

void TstSimplatformFaults::faultedReportsAreNotStored()
{
    const std::string token = platform->loginToken();
    const json order = PlatformHarness::orderReport(token, "S1", "1");
    QVERIFY(fault({{"path", "/api/tradeSimulation"}, {"status", 500}}));
    QCOMPARE(platform->post("/api/tradeSimulation", order).status, 500);
    QVERIFY(fault({{"path", "/api/tradeSimulation"}, {"delayMs", 50}}));
    QCOMPARE(platform->post("/api/tradeSimulation", order).code(), 0);
    QCOMPARE(platform->get("/admin/reports").data().size(), size_t(1));
}

void TstSimplatformFaults::badFaultRequestsAreRefused()
{
    const json bad[] = {{{"status", 500}},
                        {{"path", "api/config"}},
                        {{"path", "/admin/reports"}, {"status", 500}},
                        {{"path", "/api/config"}, {"status", "500"}},
                        {{"path", "/api/config"}, {"status", 42}},
                        {{"path", "/api/config"}, {"count", 0}},
                        {{"path", "/api/config"}, {"delayMs", -1}},
                        {{"path", "/api/config"}, {"drop", "yes"}},
                        {{"path", "/api/config"}, {"bodyBase64", "not base64!"}}};
    for (const json &rule : bad)
        QVERIFY2(platform->post("/admin/fault", rule).status == 400, rule.dump().c_str());
    QCOMPARE(platform->get("/admin/fault").data().size(), size_t(0));
}

void TstSimplatformFaults::hostileRequestsNeitherCrashNorLoseReports()
{
    const std::string token = platform->loginToken();
    const json order = PlatformHarness::orderReport(token, "S1", "1");
    QCOMPARE(platform->post("/api/tradeReal", order).code(), 0);

    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string invalidUtf8 = "{\"username\":\"\xff\xfe\",\"password\":\"\xc3\"}";
    const std::string nul("{\"username\":\"de\0mo\"}", 21);
    struct Case
    {
        const char *method;
        const char *path;
        std::string body;
        int status;
    };
    const Case cases[] = {
        {"POST", "/api/tradeReal", deep, 400},
        {"POST", "/api/tradeRealSuccess", "[{\"token\":" + deep, 400},
        {"POST", "/api/login", deep, 400},
        {"POST", "/admin/signal", deep, 400},
        {"POST", "/admin/fault", deep, 400},
        {"POST", "/api/login", invalidUtf8, 400},
        {"POST", "/api/tradeSimulation", invalidUtf8, 400},
        {"POST", "/api/login", nul, 400},
        {"POST", "/api/login", "null", 400},
        {"POST", "/api/login", "\"text\"", 400},
        {"POST", "/api/tradeReal", "{}", 400},
        {"POST", "/api/tradeReal", std::string(9 * 1024 * 1024, '{'), 413},
        {"GET", "/api/login", "", 405},
        {"PUT", "/api/tradeReal", order.dump(), 405},
        {"DELETE", "/api/signalReal", "", 405},
        {"POST", "/admin/reports", "", 405},
        {"POST", "/api/unknown", "{}", 404},
        {"GET", "/", "", 404},
        {"POST", "/api/login/../config", "", 404},
    };
    for (const Case &c : cases) {
        const HttpAnswer answer = platform->request(c.method, c.path, c.body);
        QVERIFY2(answer.status == c.status,
                 qPrintable(QStringLiteral("%1 %2: %3").arg(c.method, c.path).arg(answer.status)));
        QCOMPARE(answer.code(), c.status); // the envelope, even for the server's own errors
    }
    // Stored bodies that are not UTF-8 are still listed as valid JSON.
    const HttpAnswer reports = platform->get("/admin/reports");
    QVERIFY(reports.json.is_object());
    QCOMPARE(reports.data()[0]["report"], order);
    QCOMPARE(platform->get("/admin/reports?accepted=true").data().size(), size_t(1));
    QCOMPARE(platform->get("/admin/requests").code(), 0);
    QVERIFY(platform->process().isRunning());
    QVERIFY(platform->process().stop());
    QCOMPARE(platform->process().exitCode(), 0);
}

void TstSimplatformFaults::rawSocketGarbage()
{
    const QByteArray garbage[] = {
        "GARBAGE\r\n\r\n",
        "POST /api/login HTTP/1.1\r\nContent-Length: 1000\r\n\r\n{\"user", // then closed
        "POST /api/login HTTP/1.1\r\nContent-Length: -5\r\n\r\n",
        "POST /api/login HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
        QByteArray(70000, 'A') + "\r\n\r\n",
        QByteArray("\x00\x01\x02\xff\r\n\r\n", 8),
    };
    for (const QByteArray &bytes : garbage) {
        QTcpSocket socket;
        socket.connectToHost("127.0.0.1", quint16(platform->port()));
        QVERIFY(socket.waitForConnected(5000));
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
        socket.waitForReadyRead(300);
        socket.abort();
    }
    // A request without a length gets its answer at once rather than after a read time-out.
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(platform->port()));
    QVERIFY(socket.waitForConnected(5000));
    socket.write("POST /api/getLoginMessage HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(socket.waitForReadyRead(3000));
    QVERIFY(socket.readAll().startsWith("HTTP/1.1 200"));

    QCOMPARE(platform->request("POST", "/api/getLoginMessage").code(), 0);
    QVERIFY(platform->process().isRunning());
}

void TstSimplatformFaults::stopEndsPendingDelays()
{
    QVERIFY(fault({{"path", "/api/config"}, {"delayMs", 60000}}));
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(platform->port()));
    QVERIFY(socket.waitForConnected(5000));
    socket.write("POST /api/config HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n");
    QVERIFY(socket.waitForBytesWritten(5000));
    QTRY_VERIFY_WITH_TIMEOUT(platform->get("/admin/requests?path=/api/config").data().size() == 1,
                             5000);
    QVERIFY(platform->process().stop(10000));
    QCOMPARE(platform->process().exitCode(), 0);
    QVERIFY(platform->process().standardError().contains("stopped"));
}

void TstSimplatformFaults::commandLine()
{
    QProcess p;
    p.start(PlatformHarness::program(), {"--help"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray help = p.readAllStandardOutput();
    for (const char *option :
         {"--listen", "--data", "--config", "--admin", "--auto-signals", "--help"})
        QVERIFY2(help.contains(option), option);

    const QStringList refused[] = {{"--bogus"},
                                   {"--listen", "nohost"},
                                   {"--listen", "127.0.0.1:70000"},
                                   {"--auto-signals", "0"},
                                   {"--data"},
                                   {"--config", "/nonexistent/config.json"}};
    for (const QStringList &args : refused) {
        p.start(PlatformHarness::program(), args);
        QVERIFY(p.waitForFinished(10000));
        QVERIFY2(p.exitCode() == 2, qPrintable(args.join(' ')));
    }

    QTemporaryDir dir;
    QFile bad(dir.filePath("bad.json"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(R"({"platform":{},"loginMessage":"x","users":[{"username":"a"}]})");
    bad.close();
    p.start(PlatformHarness::program(), {"--config", bad.fileName(), "--data", dir.path()});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);

    // The built-in configuration round-trips through --config.
    p.start(PlatformHarness::program(), {"--print-config"});
    QVERIFY(p.waitForFinished(10000));
    QFile copy(dir.filePath("copy.json"));
    QVERIFY(copy.open(QIODevice::WriteOnly));
    copy.write(p.readAllStandardOutput());
    copy.close();
    PlatformHarness fromFile;
    QVERIFY(fromFile.start({"--config", copy.fileName()}));
    QVERIFY(!fromFile.loginToken().empty());

    // A port that is taken is an error, not a silent fallback.
    p.start(
        PlatformHarness::program(),
        {"--listen", QStringLiteral("127.0.0.1:%1").arg(platform->port()), "--data", dir.path()});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
}

QTEST_GUILESS_MAIN(TstSimplatformFaults)
#include "tst_simplatform_faults.moc"
