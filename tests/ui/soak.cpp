// The fault run: the client with its strategy on auto signals, against the exchange calendar and
// the front's default depth, while the front's connections are dropped, its process restarted,
// and the platform answers errors, time-outs and broken bodies in bursts. Afterwards the front's
// books and the platform's stored reports are compared by order key.
//
//   velmora_soak [--short]
//   velmora_soak --week [--seed N] [--work DIR]     the trading week with kills (soakweek.cpp)
//
// Prints the counts and exits non-zero when one is off. A crash ends the process abnormally.

#include "soak.h"
#include "clientdriver.h"
#include "globalvars.h"
#include "signalapi.h"
#include "startup.h"
#include "tradeservice.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSet>
#include <QUrl>
#include <QtTest>

#include <httplib.h>

#include <cstdio>

namespace {

// A Tuesday morning, just after the day session opened; the run stays inside the session.
const char *const kSessionOpen = "2026-12-08 09:00:02";
const int kLoginWaitMs = 90000;

void say(const QString &line)
{
    std::printf("soak: %s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

class Soak
{
public:
    explicit Soak(bool shortRun) : shortRun(shortRun) {}
    int run();

private:
    bool bringUp();
    void faults();
    void dropFront(int refuseSeconds);
    void restartFront();
    void platformBurst(const QString &what, const QJsonObject &rule);
    // After a fault of the front: the trading and the market-data login come back.
    void expectLoginAgain(const QString &after);
    void settle();
    int verdict();
    QJsonArray frontList(const char *path);

    bool shortRun;
    ClientDriver driver{kLoginWaitMs};
    int drops = 0;
    int restarts = 0;
    int bursts = 0;
    int frontFaults = 0;
    int loginsAgain = 0;
};

bool Soak::bringUp()
{
    // Auto signals every few seconds, polled every second.
    if (!driver.startSimulators({"--auto-signals", "4"},
                                {"--calendar", "exchange", "--clock", kSessionOpen})) {
        return false;
    }
    driver.platform().admin("POST", QStringLiteral("/admin/config"),
                            {{"platform", QJsonObject{{"signalTimerSeconds", 1}}}});
    return driver.showLoginMessage() && driver.acknowledgeLoginMessage() &&
           driver.logInToPlatform(QStringLiteral("demo"), QStringLiteral("demo")) &&
           driver.logInToTradingAccount(QStringLiteral("123456")) && driver.startStrategy();
}

QJsonArray Soak::frontList(const char *path)
{
    const QUrl admin(driver.front().address("admin"));
    httplib::Client client(admin.host().toStdString(), admin.port());
    const auto result = client.Get(path);
    if (!result || result->status != 200) {
        return QJsonArray();
    }
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).array();
}

void Soak::expectLoginAgain(const QString &after)
{
    ++frontFaults;
    // First the loss is seen, then the login after it.
    (void)QTest::qWaitFor([] { return GlobalVars::tradeConnectionState != 0; }, 5000);
    if (QTest::qWaitFor(
            [] {
                return GlobalVars::tradeConnectionState == 0 && GlobalVars::tradeLoginState == 0 &&
                       GlobalVars::mdLoginState == 0;
            },
            kLoginWaitMs)) {
        ++loginsAgain;
    } else {
        say(QStringLiteral("no login again after ") + after);
    }
}

void Soak::dropFront(int refuseSeconds)
{
    ++drops;
    const QUrl admin(driver.front().address("admin"));
    httplib::Client client(admin.host().toStdString(), admin.port());
    client.Post("/drop", QStringLiteral("{\"refuseSeconds\": %1}").arg(refuseSeconds).toStdString(),
                "application/json");
    expectLoginAgain(QStringLiteral("drop %1").arg(drops));
}

void Soak::restartFront()
{
    ++restarts;
    if (!driver.restartFront()) {
        say(QStringLiteral("the front did not start again: ") + driver.failure());
    }
    expectLoginAgain(QStringLiteral("restart %1").arg(restarts));
}

void Soak::platformBurst(const QString &what, const QJsonObject &rule)
{
    ++bursts;
    QJsonObject everyPath = rule;
    everyPath.insert(QStringLiteral("path"), QStringLiteral("*"));
    driver.platform().fault(everyPath);
    say(QStringLiteral("platform burst: ") + what);
}

void Soak::faults()
{
    const int pauseMs = shortRun ? 6000 : 15000;
    const int rounds = shortRun ? 1 : 2;
    const QJsonObject timeOut{{"count", 2}, {"delayMs", GlobalVars::signalApi->timeoutMs + 1000}};
    for (int round = 0; round < rounds; ++round) {
        QTest::qWait(pauseMs);
        platformBurst(u("500"), {{"count", 5}, {"status", 500}});
        dropFront(1);
        QTest::qWait(pauseMs);
        platformBurst(u("401"), {{"count", 5}, {"status", 401}});
        restartFront();
        QTest::qWait(pauseMs);
        platformBurst(u("time-outs"), timeOut);
        dropFront(2);
        QTest::qWait(pauseMs);
        platformBurst(u("malformed bodies"), {{"count", 5}, {"body", "{\"code\":0,"}});
    }
    // The rest of the ten drops, with trading in between.
    const int dropsWanted = shortRun ? 2 : 10;
    while (drops < dropsWanted) {
        QTest::qWait(pauseMs / 2);
        dropFront(drops % 3);
    }
    QTest::qWait(pauseMs);
}

void Soak::settle()
{
    driver.stopStrategy();
    (void)QTest::qWaitFor([] { return GlobalVars::pendingRequest == 0; }, kLoginWaitMs);
    // The refresh after a late fill, and the reports still queued.
    QTest::qWait(3000);
    if (!GlobalVars::signalApi->waitForReports(120000)) {
        say(QStringLiteral("reports were still queued after two minutes"));
    }
}

int Soak::verdict()
{
    // The front's orders of this run (a fresh book: all of them are this process's), by key;
    // one instrument, so the exchange's order number alone finds a trade's order.
    QMap<QString, QString> keyBySysId;
    QSet<QString> frontOrders;
    for (const QJsonValue &value : frontList("/orders")) {
        const QJsonObject order = value.toObject();
        const QString key = QStringLiteral("%1%2%3")
                                .arg(order["frontId"].toInt())
                                .arg(order["sessionId"].toInt())
                                .arg(order["orderRef"].toString().trimmed());
        frontOrders.insert(key);
        keyBySysId.insert(order["orderSysId"].toString(), key);
    }
    QMap<QString, int> frontFills;
    int fillsAtFront = 0;
    for (const QJsonValue &value : frontList("/trades")) {
        const QJsonObject trade = value.toObject();
        const QString sysId = trade["orderSysId"].toString();
        const QString key = keyBySysId.value(sysId, QStringLiteral("?") + sysId);
        ++frontFills[key];
        ++fillsAtFront;
    }

    const QJsonArray stored = driver.platform()
                                  .admin("GET", QStringLiteral("/admin/reports?accepted=true"))
                                  .value("data")
                                  .toArray();
    QSet<QString> reportedOrders;
    QMap<QString, int> ordersBySignal;
    QMap<QString, int> reportedFills;
    int fillReports = 0;
    for (const QJsonValue &value : stored) {
        const QJsonObject entry = value.toObject();
        const QJsonObject report = entry["report"].toObject();
        const QString key = report["orderID"].toString();
        if (entry["kind"].toString() == QLatin1String("order")) {
            reportedOrders.insert(key);
            const QString signal = report["signalID"].toString();
            if (signal != QLatin1String("0")) {
                ++ordersBySignal[signal];
            }
        } else {
            ++reportedFills[key];
            ++fillReports;
        }
    }

    int ordersNotReported = 0;
    for (const QString &key : frontOrders) {
        ordersNotReported += reportedOrders.contains(key) ? 0 : 1;
    }
    int fillsLost = 0;
    int fillsTwice = 0;
    QSet<QString> keys = QSet<QString>(frontFills.keyBegin(), frontFills.keyEnd());
    keys.unite(QSet<QString>(reportedFills.keyBegin(), reportedFills.keyEnd()));
    for (const QString &key : keys) {
        const int difference = frontFills.value(key) - reportedFills.value(key);
        fillsLost += difference > 0 ? difference : 0;
        fillsTwice += difference < 0 ? -difference : 0;
    }
    int signalsTwice = 0;
    for (int orders : ordersBySignal) {
        signalsTwice += orders > 1 ? 1 : 0;
    }

    say(QStringLiteral("front drops %1, front restarts %2, platform fault bursts %3")
            .arg(drops)
            .arg(restarts)
            .arg(bursts));
    say(QStringLiteral("logged in again %1 of %2 times").arg(loginsAgain).arg(frontFaults));
    say(QStringLiteral("orders at the front %1, reported %2, not reported %3")
            .arg(frontOrders.size())
            .arg(reportedOrders.size())
            .arg(ordersNotReported));
    say(QStringLiteral("fills at the front %1, fill reports %2, lost %3, reported twice %4")
            .arg(fillsAtFront)
            .arg(fillReports)
            .arg(fillsLost)
            .arg(fillsTwice));
    say(QStringLiteral("signals acted on %1, with more than one order %2")
            .arg(ordersBySignal.size())
            .arg(signalsTwice));
    say(QStringLiteral("crashes 0"));
    const bool clean = loginsAgain == frontFaults && ordersNotReported == 0 && fillsLost == 0 &&
                       fillsTwice == 0 && signalsTwice == 0 && !frontOrders.isEmpty();
    if (frontOrders.isEmpty()) {
        say(QStringLiteral("no order reached the front: the run proved nothing"));
    }
    say(clean ? QStringLiteral("all counts as they must be") : QStringLiteral("a count is off"));
    return clean ? 0 : 1;
}

int Soak::run()
{
    if (!bringUp()) {
        say(QStringLiteral("could not bring the client up: ") + driver.failure());
        return 2;
    }
    say(QStringLiteral("client logged in, strategy running"));
    faults();
    settle();
    return verdict();
}

} // namespace

QString argumentAfter(const QStringList &arguments, const QString &name)
{
    const int at = arguments.indexOf(name);
    return at >= 0 ? arguments.value(at + 1) : QString();
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    useGb2312Locale();
    const QStringList arguments = application.arguments();
    if (arguments.contains(QStringLiteral("--client"))) {
        return runClient(arguments);
    }
    if (arguments.contains(QStringLiteral("--week"))) {
        return runWeek(arguments);
    }
    const bool shortRun = arguments.contains(QStringLiteral("--short"));
    Soak soak(shortRun);
    return soak.run();
}
