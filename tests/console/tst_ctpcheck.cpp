// velmora-ctpcheck run as a trader runs it, against the simulated front with terminal
// authentication required: a full pass, a refused login, and command lines it must refuse.

#include "servicefront.h"
#include "simprocess.h"

#include <httplib.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The step lines and the summary line, as printed.
QStringList stepLines(const QString &out)
{
    QStringList lines;
    for (const QString &line : out.split('\n')) {
        if (line.startsWith('[')) {
            lines << line;
        }
    }
    return lines;
}

} // namespace

class TestCtpCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fullPassOnlyReadsAndPacesItsQueries();
    void wrongPasswordStopsAtLoginWithTheFrontsText();
    void stopsAtTheStepTheFrontFails();
    void refusesPasswordOnCommandLineAndIncompleteOptions();

private:
    Run check(const QStringList &extra, const QByteArray &stdinText,
              const QString &tempFolder = QString());
    QStringList frontArgs() const;
    QJsonArray tdRequests();

    QTemporaryDir data;
    SimProcess front;
};

void TestCtpCheck::initTestCase()
{
    QVERIFY(data.isValid());
    QVERIFY(startServiceFront(front, data.path()));
}

QStringList TestCtpCheck::frontArgs() const
{
    return {"--front", front.address("td"), "--broker", "9999", "--investor", "000001"};
}

Run TestCtpCheck::check(const QStringList &extra, const QByteArray &stdinText,
                        const QString &tempFolder)
{
    QProcess process;
    if (!tempFolder.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tempFolder);
        process.setProcessEnvironment(env);
    }
    process.start(VELMORA_CTPCHECK_EXE, extra);
    Run run;
    if (!process.waitForStarted()) {
        return run;
    }
    process.write(stdinText);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QJsonArray TestCtpCheck::tdRequests()
{
    const QUrl url(front.address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = client.Get("/requests?front=td");
    if (!result || result->status != 200) {
        return {};
    }
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).array();
}

void TestCtpCheck::fullPassOnlyReadsAndPacesItsQueries()
{
    QVERIFY(adminRequest(front, "/requests", ""));
    QTemporaryDir temp;
    const Run run = check(frontArgs() + QStringList{"--app-id", "velmora_demo_1.0", "--auth-code",
                                                    "0000000000000000", "--md", front.address("md"),
                                                    "--instrument", "rb2705"},
                          "123456\n", temp.path());
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));

    const QStringList names{"连接交易前置", "终端认证", "登录",     "查询结算单",
                            "查询资金",     "查询持仓", "查询合约", "连接行情前置",
                            "行情登录",     "订阅行情", "接收行情"};
    const QStringList lines = stepLines(run.out);
    QCOMPARE(lines.size(), names.size());
    const QRegularExpression form("^\\[(\\d+)\\] (\\S+) - \\d+ ms - 通过(：.*)?$");
    for (int i = 0; i < names.size(); ++i) {
        const QRegularExpressionMatch m = form.match(lines[i]);
        QVERIFY2(m.hasMatch(), qPrintable(lines[i]));
        QCOMPARE(m.captured(1).toInt(), i + 1);
        QCOMPARE(m.captured(2), names[i]);
    }
    QVERIFY2(lines[3].contains(QRegularExpression("\\d+ 字节，\\d+ 段")), qPrintable(lines[3]));
    QVERIFY2(lines[6].contains("rb2705 SHFE"), qPrintable(lines[6]));
    QVERIFY2(lines[10].contains(QRegularExpression("收到 [1-9]\\d* 笔行情")),
             qPrintable(lines[10]));
    QVERIFY(run.out.trimmed().endsWith("检查通过"));
    // The flow files of a check are its own and gone with it.
    QVERIFY(QDir(temp.path()).isEmpty());

    // Nothing but reads reached the front, and the queries kept to one a second.
    QStringList types;
    QList<qint64> queryMicros;
    for (const QJsonValue &entry : tdRequests()) {
        const QString type = entry["type"].toString();
        types << type;
        if (type.startsWith("ReqQry")) {
            queryMicros << static_cast<qint64>(entry["micros"].toDouble());
        }
    }
    QCOMPARE(types,
             (QStringList{"ReqAuthenticate", "ReqUserLogin", "ReqQrySettlementInfo",
                          "ReqQryTradingAccount", "ReqQryInvestorPosition", "ReqQryInstrument"}));
    for (int i = 1; i < queryMicros.size(); ++i) {
        QVERIFY(queryMicros[i] - queryMicros[i - 1] >= 1000000);
    }

    // Without --instrument every instrument is asked for; without --md no market data is taken.
    const Run all = check(frontArgs() + QStringList{"--app-id", "velmora_demo_1.0", "--auth-code",
                                                    "0000000000000000"},
                          "123456\r\n");
    QVERIFY2(all.exitCode == 0, qPrintable(all.out + all.err));
    QVERIFY2(
        all.out.contains(QRegularExpression("\\[7\\] 查询合约 - \\d+ ms - 通过：[2-9] 个合约")),
        qPrintable(all.out));
    QVERIFY(all.out.contains("[11] 接收行情 - 0 ms - 跳过"));
}

void TestCtpCheck::wrongPasswordStopsAtLoginWithTheFrontsText()
{
    const Run run = check(frontArgs() + QStringList{"--app-id", "velmora_demo_1.0", "--auth-code",
                                                    "0000000000000000"},
                          "654321\n");
    QCOMPARE(run.exitCode, 3);
    const QStringList lines = stepLines(run.out);
    QCOMPARE(lines.size(), 3);
    // The front sends its text in GB2312; the console gets it in UTF-8.
    QVERIFY2(lines[2].contains(
                 QRegularExpression("^\\[3\\] 登录 - \\d+ ms - 失败：错误码 3，CTP:不合法的登录$")),
             qPrintable(lines[2]));
    QVERIFY(run.out.trimmed().endsWith("检查未通过：第 3 步失败"));

    // Without authentication this front refuses the login, and says so.
    const Run unauthenticated = check(frontArgs(), "123456\n");
    QCOMPARE(unauthenticated.exitCode, 3);
    QVERIFY2(unauthenticated.out.contains("[2] 终端认证 - 0 ms - 跳过"),
             qPrintable(unauthenticated.out));
    QVERIFY2(unauthenticated.out.contains("CTP:客户端未认证"), qPrintable(unauthenticated.out));
}

void TestCtpCheck::stopsAtTheStepTheFrontFails()
{
    const QStringList args = frontArgs() + QStringList{"--app-id", "velmora_demo_1.0",
                                                       "--auth-code", "0000000000000000"};
    // An error in the first piece of a series fails the step with the front's own text.
    QVERIFY(adminRequest(front, "/fault",
                         R"({"request": "ReqQrySettlementInfo", "errorId": 90,
                             "errorMsg": "查询结算单暂不可用"})"));
    Run run = check(args, "123456\n");
    QCOMPARE(run.exitCode, 4);
    QVERIFY2(run.out.contains("[4] 查询结算单 - ") &&
                 run.out.contains("失败：错误码 90，查询结算单暂不可用"),
             qPrintable(run.out));

    run = check(args + QStringList{"--instrument", "rb9999"}, "123456\n");
    QCOMPARE(run.exitCode, 7);
    QVERIFY2(run.out.contains("失败：找不到合约 rb9999"), qPrintable(run.out));

    // A front that drops the connection while the queries are paced fails the step under way
    // at once, with the reason, instead of waiting out its time.
    QProcess process;
    process.start(VELMORA_CTPCHECK_EXE, args);
    QVERIFY(process.waitForStarted());
    process.write("123456\n");
    process.closeWriteChannel();
    QVERIFY(QTest::qWaitFor(
        [&] { return process.bytesAvailable() > 0 && process.peek(4096).contains("[4] "); },
        15000));
    QVERIFY(adminRequest(front, "/drop", "{}"));
    QVERIFY(process.waitForFinished(15000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(process.exitCode() >= 5 && process.exitCode() <= 7, qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression(
                 "- \\d{1,3} ms - 失败：交易前置断开连接，原因 0x[0-9a-f]{4}\n")),
             qPrintable(out));
}

void TestCtpCheck::refusesPasswordOnCommandLineAndIncompleteOptions()
{
    struct Case
    {
        QStringList args;
        QByteArray stdinText;
        int exitCode;
        QString error;
    };
    const QStringList base = frontArgs();
    const QList<Case> cases{
        {base + QStringList{"--password", "123456"}, "", 64, "不接受命令行上的密码"},
        {base + QStringList{"--password=123456"}, "123456\n", 64, "不接受命令行上的密码"},
        {{"--broker", "9999", "--investor", "000001"}, "123456\n", 64, "--front"},
        {base + QStringList{"--md", front.address("md")}, "123456\n", 64, "--instrument"},
        {base + QStringList{"--app-id", "velmora_demo_1.0"}, "123456\n", 64, "--auth-code"},
        {base + QStringList{"--investor", "0000000000001"}, "123456\n", 64, "太长"},
        {base, "", 66, "标准输入没有密码"},
        {base, QByteArray(41, 'x') + "\n", 66, "密码最长 40 字节"},
    };
    QVERIFY(adminRequest(front, "/requests", ""));
    for (const Case &c : cases) {
        const Run run = check(c.args, c.stdinText);
        QCOMPARE(run.exitCode, c.exitCode);
        QVERIFY2(run.err.contains(c.error), qPrintable(run.err));
        QVERIFY2(stepLines(run.out).isEmpty(), qPrintable(run.out));
    }
    // None of them reached the front.
    QCOMPARE(tdRequests().size(), 0);
}

QTEST_GUILESS_MAIN(TestCtpCheck)
#include "tst_ctpcheck.moc"
