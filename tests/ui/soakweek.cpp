// The trading week: the front on the exchange calendar with its service hours, its clock moved
// scene by scene from a Monday 08:40 to the next Monday 09:10, signals published in and out of
// the sessions, and the client, a process of its own, killed five times at seeded random moments
// (once with the platform down between an order and its report) and started again on the same
// working folder. Afterwards the front's books of every trading day are held against the reports
// the platform stored.

#include "clientdriver.h"
#include "soak.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QUrl>
#include <QtTest>

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

const QDate kFirstMonday(2026, 12, 7);
// Before the first scene, so that the client is logged in when the week starts.
const char *const kFrontStart = "2026-12-07 08:35:00";
const char *const kInstrument = "rb2705";
const int kKills = 5;
// Long enough for a poll a second to see it, short enough not to reach the next scene.
const int kSignalTtlSeconds = 10;
// A client started again logs in within this, once the front serves.
const int kLoginGraceMs = 45000;
// A client that keeps dying is no week to watch.
const int kMostUnplannedEnds = 5;

struct Scene
{
    int day; // after the first Monday
    const char *time;
    int seconds;
    const char *name;
    std::vector<int> signalsAt; // seconds into the scene
    bool reconnection = false;  // the client must make its connection anew here
};

// rb2705 trades 21:00-23:00, 09:00-10:15, 10:30-11:30 and 13:30-15:00; the fronts serve
// 08:30-15:30 and 20:30-02:45; the day rolls at 17:00, and Friday's night is Monday's.
const std::vector<Scene> &week()
{
    static const std::vector<Scene> scenes{
        {0, "08:40:00", 18, "opening, before the open", {6}},
        {0, "08:59:50", 26, "the open", {14, 22}},
        {0, "10:14:50", 22, "the morning break", {3, 14}},
        {0, "10:29:54", 14, "after the break", {10}},
        {0, "11:29:50", 22, "lunch", {3, 14}},
        {0, "13:29:54", 14, "after lunch", {10}},
        {0, "14:59:50", 22, "the close", {3, 14}},
        {0, "15:29:52", 16, "the fronts close", {4, 12}},
        {0, "19:00:00", 8, "the closed evening, after the roll", {3}},
        {0, "20:29:54", 16, "the fronts open for the night", {12}},
        {0, "20:54:56", 70, "the 20:55 reconnection", {}, true},
        {0, "20:59:52", 24, "the night session", {12, 20}},
        {0, "22:59:50", 22, "the night's end", {3, 14}},
        {1, "02:44:54", 10, "the fronts close after the night", {3}},
        {1, "08:59:50", 24, "the open", {14, 20}},
        {1, "10:29:54", 14, "after the break", {10}},
        {1, "13:29:54", 14, "after lunch", {10}},
        {1, "14:59:50", 20, "the close", {3, 14}},
        {1, "20:59:50", 24, "the night session", {14, 20}},
        {2, "02:44:54", 8, "the fronts close after the night", {}},
        {2, "08:59:50", 24, "the open", {14, 20}},
        {2, "10:14:50", 22, "the morning break", {3, 14}},
        {2, "14:59:50", 20, "the close", {3, 14}},
        {2, "20:59:50", 24, "the night session", {14, 20}},
        {3, "02:44:54", 8, "the fronts close after the night", {}},
        {3, "08:29:54", 12, "the fronts open", {8}},
        {3, "08:54:56", 70, "the 08:55 reconnection", {}, true},
        {3, "08:59:52", 22, "the open", {12, 18}},
        {3, "13:29:54", 14, "after lunch", {10}},
        {3, "14:59:50", 20, "the close", {3, 14}},
        {3, "20:59:50", 24, "the night session", {14, 20}},
        {4, "02:44:54", 8, "the fronts close after the night", {}},
        {4, "08:59:50", 24, "the open", {14, 20}},
        {4, "10:29:54", 14, "after the break", {10}},
        {4, "14:59:50", 20, "the close", {3, 14}},
        {4, "20:29:54", 14, "the fronts open for Monday's night", {10}},
        {4, "20:59:52", 22, "Friday's night session", {12, 18}},
        {4, "22:59:50", 22, "Friday night's end", {3, 14}},
        {5, "02:44:54", 10, "the fronts close for the weekend", {3}},
        {5, "12:00:00", 8, "Saturday", {3}},
        {6, "21:00:00", 8, "Sunday night, no session", {3}},
        {7, "08:29:54", 14, "Monday, the fronts open", {10}},
        {7, "08:59:50", 24, "the open", {14, 20}},
        {7, "09:09:50", 20, "the end of the week", {4}},
    };
    return scenes;
}

void say(const QString &line)
{
    std::printf("soak: %s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString minutes(qint64 ms)
{
    return QStringLiteral("%1m%2s").arg(ms / 60000).arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'));
}

// The client must not outlive a harness that dies abruptly.
class ClientProcess : public QProcess
{
protected:
    void setupChildProcess() override
    {
#ifdef Q_OS_LINUX
        prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    }
};

// Resident memory of a process in kB, 0 when it cannot be read.
long residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return 0;
}

struct Published
{
    QString id;
    QString clock;
    bool inSession;
    bool serving;
};

class Week
{
public:
    Week(quint32 seed, const QString &work) : seed(seed), work(work), random(seed) {}
    int run();

private:
    bool bringUp();
    void planKills();
    void play(int index);
    void holdUntil(qint64 runMs);
    void pause(int ms) { holdUntil(runTimer.elapsed() + ms); }
    bool holdFor(const std::function<bool()> &condition, int ms);

    QJsonDocument frontGet(const char *path);
    QJsonObject frontStatus() { return frontGet("/status").object(); }
    QJsonArray frontList(const char *path) { return frontGet(path).array(); }
    bool moveClock(const QDateTime &to);
    void publishSignal();
    void snapshotBooks();

    void startClient();
    void killClient(const QString &why);
    void killWithPlatformDown();
    void readClient();
    void clientEnded();
    bool loggedIn() const { return conn == 0 && login == 0 && strategy == 0; }
    bool stopClient();

    int verdict(bool stoppedCleanly);

    quint32 seed;
    QString work;
    std::mt19937 random;
    ClientDriver simulators{90000};
    QElapsedTimer runTimer;

    std::unique_ptr<ClientProcess> client;
    bool killing = false;
    bool stopping = false;
    bool restartWanted = false;
    qint64 endedAt = 0;
    int kills = 0;
    int starts = 0;
    QStringList unplannedEnds;
    bool ready = false;
    int conn = -1, login = -1, md = -1, strategy = -1;
    QMap<int, int> brokerRefusalsSeen; // ErrorID -> count, as the client logged them
    long rssFirst = 0;
    long rssLast = 0;
    QString clientSince; // the front's clock when the running client was started

    QMap<int, int> killAt; // scene -> milliseconds into it
    int platformDownScene = -1;

    QVector<Published> published;
    QMap<QString, QJsonObject> orders; // by trading day, front, session and reference
    QMap<QString, QJsonObject> trades; // by trading day, trade number and side
    int reconnectionScenes = 0;
    int reconnected = 0;
    int servingEnds = 0;
    QStringList notLoggedIn;
};

QJsonDocument Week::frontGet(const char *path)
{
    const QUrl admin(simulators.front().address("admin"));
    httplib::Client http(admin.host().toStdString(), admin.port());
    const auto result = http.Get(path);
    return result && result->status == 200
               ? QJsonDocument::fromJson(QByteArray::fromStdString(result->body))
               : QJsonDocument();
}

bool Week::moveClock(const QDateTime &to)
{
    const QString text = to.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // The day never moves back; a clock already past the scene stays where it is.
    if (frontStatus().value("clock").toString() >= text) {
        return false;
    }
    const QUrl admin(simulators.front().address("admin"));
    httplib::Client http(admin.host().toStdString(), admin.port());
    const auto result = http.Post(
        "/clock", QStringLiteral("{\"time\": \"%1\"}").arg(text).toStdString(), "application/json");
    return result && result->status == 200;
}

// The front lists only the current trading day, so its books are read before every move of
// the clock, which may roll the day.
void Week::snapshotBooks()
{
    for (const QJsonValue &value : frontList("/orders")) {
        const QJsonObject order = value.toObject();
        orders.insert(QStringLiteral("%1|%2|%3|%4")
                          .arg(order["tradingDay"].toString())
                          .arg(order["frontId"].toInt())
                          .arg(order["sessionId"].toInt())
                          .arg(order["orderRef"].toString().trimmed()),
                      order);
    }
    for (const QJsonValue &value : frontList("/trades")) {
        const QJsonObject trade = value.toObject();
        trades.insert(QStringLiteral("%1|%2|%3")
                          .arg(trade["tradingDay"].toString(), trade["tradeId"].toString(),
                               trade["direction"].toString()),
                      trade);
    }
}

void Week::publishSignal()
{
    // Around the position: open long, close it, open short, close it.
    static const char *const kinds[4][2] = {
        {"buy", "open"}, {"sell", "close"}, {"sell", "open"}, {"buy", "close"}};
    const int n = published.size();
    const QJsonObject status = frontStatus();
    const Published signal{QStringLiteral("W%1-%2").arg(seed).arg(n + 1, 3, 10, QLatin1Char('0')),
                           status.value("clock").toString(),
                           status.value("open").toArray().contains(QLatin1String(kInstrument)),
                           status.value("serving").toBool()};
    simulators.platform().publishSignal({{"username", "demo"},
                                         {"accountType", "simulation"},
                                         {"id", signal.id},
                                         {"direction", kinds[n % 4][0]},
                                         {"openOrClose", kinds[n % 4][1]},
                                         {"ttlSeconds", kSignalTtlSeconds}});
    published.append(signal);
}

void Week::startClient()
{
    if (client) {
        // Whatever the old process still says is no news of the new one.
        QObject::disconnect(client.get(), nullptr, nullptr, nullptr);
    }
    client = std::make_unique<ClientProcess>();
    // The client's own diagnostics go where the harness's go: the run's log.
    client->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(client.get(), &QProcess::readyReadStandardOutput, [this] { readClient(); });
    QObject::connect(client.get(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                     [this] { clientEnded(); });
    ready = false;
    conn = login = md = strategy = -1;
    client->start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--client"), QStringLiteral("--work"), work,
                   QStringLiteral("--platform-url"), simulators.platform().url(),
                   QStringLiteral("--front-admin"), simulators.front().address("admin")});
    ++starts;
    clientSince = frontStatus().value("clock").toString();
    if (!client->waitForStarted(15000)) {
        unplannedEnds << QStringLiteral("the client did not start: ") + client->errorString();
    }
}

void Week::readClient()
{
    while (client->canReadLine()) {
        const QString line = QString::fromUtf8(client->readLine()).trimmed();
        const QStringList words = line.split(QLatin1Char(' '));
        if (line == QLatin1String("ready")) {
            ready = true;
        } else if (words.value(0) == QLatin1String("state") && words.size() == 5) {
            conn = words[1].toInt();
            login = words[2].toInt();
            md = words[3].toInt();
            strategy = words[4].toInt();
        } else if (words.value(0) == QLatin1String("refused")) {
            ++brokerRefusalsSeen[words.value(1).toInt()];
        } else if (words.value(0) == QLatin1String("failed") ||
                   words.value(0) == QLatin1String("retry")) {
            std::fprintf(stderr, "soak client: %s\n", qUtf8Printable(line));
        }
    }
}

// Any end the harness did not ask for is a crash of the client, whatever its cause.
void Week::clientEnded()
{
    if (killing || stopping) {
        return;
    }
    const QString how = client->exitStatus() == QProcess::CrashExit
                            ? QStringLiteral("died of signal %1").arg(client->exitCode())
                            : QStringLiteral("ended with exit code %1").arg(client->exitCode());
    unplannedEnds
        << QStringLiteral("the client %1 at %2").arg(how, frontStatus().value("clock").toString());
    say(unplannedEnds.last());
    endedAt = runTimer.elapsed();
    restartWanted = true;
}

void Week::killClient(const QString &why)
{
    if (!client || client->state() == QProcess::NotRunning) {
        return;
    }
    killing = true;
    ::kill(pid_t(client->processId()), SIGKILL);
    client->waitForFinished(10000);
    killing = false;
    readClient();
    // Only an end by the SIGKILL sent counts as planned; a crash that came first does not.
    if (client->exitStatus() == QProcess::CrashExit && client->exitCode() == SIGKILL) {
        ++kills;
        say(QStringLiteral("kill %1 at %2: %3")
                .arg(kills)
                .arg(frontStatus().value("clock").toString(), why));
    } else {
        unplannedEnds << QStringLiteral("the client ended by itself before kill %1 (exit code %2)")
                             .arg(kills + 1)
                             .arg(client->exitCode());
    }
}

// Reports fail first, then the whole platform; the client dies with the order at the front and
// its report still in hand.
void Week::killWithPlatformDown()
{
    auto down = [this](const char *path) {
        simulators.platform().fault(
            {{"path", QLatin1String(path)}, {"drop", true}, {"count", 1000000}});
    };
    down("/api/tradeSimulation");
    down("/api/tradeSimulationSuccess");
    bool ordered = false;
    for (int attempt = 0; attempt < 3 && !ordered; ++attempt) {
        const int before = frontList("/orders").size();
        publishSignal();
        ordered = holdFor([this, before] { return frontList("/orders").size() > before; }, 8000);
    }
    down("*");
    pause(800);
    killClient(ordered ? QStringLiteral("the platform down, an order at the front not reported")
                       : QStringLiteral("the platform down (no order came for three signals)"));
    pause(1500);
    simulators.platform().admin("DELETE", QStringLiteral("/admin/fault"));
    startClient();
}

void Week::holdUntil(qint64 runMs)
{
    for (qint64 rest = runMs - runTimer.elapsed(); rest > 0; rest = runMs - runTimer.elapsed()) {
        QTest::qWait(int(qMin<qint64>(rest, 100)));
        if (restartWanted && unplannedEnds.size() <= kMostUnplannedEnds &&
            runTimer.elapsed() - endedAt >= 1000) {
            restartWanted = false;
            startClient();
        }
    }
}

bool Week::holdFor(const std::function<bool()> &condition, int ms)
{
    const qint64 until = runTimer.elapsed() + ms;
    while (!condition()) {
        if (runTimer.elapsed() >= until) {
            return false;
        }
        holdUntil(qMin(until, runTimer.elapsed() + 200));
    }
    return true;
}

void Week::planKills()
{
    const std::vector<Scene> &scenes = week();
    // Neither the first scene (the first login) nor the last two (no time to log in again),
    // nor a reconnection scene, where a fresh connection is too young to be made anew.
    std::vector<int> candidates;
    std::vector<int> inSession;
    for (int i = 1; i + 2 < int(scenes.size()); ++i) {
        if (!scenes[i].reconnection) {
            candidates.push_back(i);
        }
    }
    for (int i : candidates) {
        const QTime time = QTime::fromString(QLatin1String(scenes[i].time), "HH:mm:ss");
        const bool morning = time >= QTime(8, 59) && time < QTime(15, 0);
        if (!scenes[i].signalsAt.empty() && morning && scenes[i].seconds >= 14) {
            inSession.push_back(i);
        }
    }
    platformDownScene =
        inSession[std::uniform_int_distribution<int>(0, int(inSession.size()) - 1)(random)];
    candidates.erase(std::find(candidates.begin(), candidates.end(), platformDownScene));
    std::shuffle(candidates.begin(), candidates.end(), random);
    for (int k = 0; k < kKills - 1; ++k) {
        const int scene = candidates[k];
        killAt.insert(scene, std::uniform_int_distribution<int>(1000, scenes[scene].seconds * 1000 -
                                                                          1000)(random));
    }
}

void Week::play(int index)
{
    const Scene &scene = week()[index];
    const QDate date = kFirstMonday.addDays(scene.day);
    const QDateTime at(date, QTime::fromString(QLatin1String(scene.time), "HH:mm:ss"));
    snapshotBooks();
    if (!moveClock(at)) {
        say(QStringLiteral("the front's clock stayed at %1, not moved to %2")
                .arg(frontStatus().value("clock").toString(),
                     at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    }
    const qint64 start = runTimer.elapsed();
    const qint64 startMicros = QDateTime::currentMSecsSinceEpoch() * 1000;
    const int signalsBefore = published.size();

    // Milliseconds into the scene: a signal (0), a kill (1), the kill with the platform down (2).
    std::vector<std::pair<int, int>> events;
    for (int offset : scene.signalsAt) {
        const bool platformDown = index == platformDownScene && offset == scene.signalsAt[0];
        events.emplace_back(offset * 1000, platformDown ? 2 : 0);
    }
    if (killAt.contains(index)) {
        events.emplace_back(killAt.value(index), 1);
    }
    std::sort(events.begin(), events.end());
    for (const auto &[offset, kind] : events) {
        holdUntil(start + offset);
        if (kind == 0) {
            publishSignal();
        } else if (kind == 1) {
            killClient(QStringLiteral("in \"%1\"").arg(QLatin1String(scene.name)));
            startClient();
        } else {
            killWithPlatformDown();
        }
    }
    holdUntil(start + scene.seconds * 1000);

    QString outcome;
    if (frontStatus().value("serving").toBool()) {
        ++servingEnds;
        if (holdFor([this] { return loggedIn(); }, kLoginGraceMs)) {
            outcome = QStringLiteral("logged in");
        } else {
            outcome = QStringLiteral("NOT logged in (state %1 %2 %3 %4)")
                          .arg(conn)
                          .arg(login)
                          .arg(md)
                          .arg(strategy);
            notLoggedIn << at.toString(QStringLiteral("ddd HH:mm"));
        }
    } else {
        outcome = QStringLiteral("fronts closed");
    }
    if (scene.reconnection) {
        ++reconnectionScenes;
        int logins = 0;
        for (const QJsonValue &value : frontList("/requests?type=ReqUserLogin&front=td")) {
            logins += qint64(value.toObject()["micros"].toDouble()) >= startMicros ? 1 : 0;
        }
        reconnected += logins > 0 ? 1 : 0;
        outcome += logins > 0 ? QStringLiteral(", made its connection anew")
                              : QStringLiteral(", did NOT make its connection anew");
    }
    if (index == 0) {
        rssFirst = residentKb(client->processId());
    }
    rssLast = residentKb(client->processId());
    int inSession = 0;
    for (int i = signalsBefore; i < published.size(); ++i) {
        inSession += published[i].inSession ? 1 : 0;
    }
    say(QStringLiteral("[%1] %2 %3: signals %4 (in session %5), %6")
            .arg(minutes(runTimer.elapsed()), at.toString(QStringLiteral("ddd HH:mm:ss")),
                 QLatin1String(scene.name))
            .arg(published.size() - signalsBefore)
            .arg(inSession)
            .arg(outcome));
}

bool Week::bringUp()
{
    if (!simulators.startSimulators({}, {"--calendar", "exchange", "--clock", kFrontStart})) {
        say(QStringLiteral("the simulators did not start: ") + simulators.failure());
        return false;
    }
    simulators.platform().admin("POST", QStringLiteral("/admin/config"),
                                {{"platform", QJsonObject{{"signalTimerSeconds", 1}}}});
    startClient();
    if (!holdFor([this] { return ready; }, 120000)) {
        say(QStringLiteral("the client did not log in at the start"));
        return false;
    }
    return true;
}

bool Week::stopClient()
{
    stopping = true;
    if (!client || client->state() == QProcess::NotRunning) {
        return false;
    }
    client->write("quit\n");
    if (!client->waitForFinished(150000)) {
        say(QStringLiteral("the client did not stop within two and a half minutes"));
        client->kill();
        client->waitForFinished(5000);
        return false;
    }
    readClient();
    return client->exitStatus() == QProcess::NormalExit && client->exitCode() == 0;
}

int Week::run()
{
    runTimer.start();
    say(QStringLiteral("the week from Mon 2026-12-07 08:40 to Mon 2026-12-14 09:10, seed %1")
            .arg(seed));
    say(QStringLiteral("the client works in %1").arg(work));
    planKills();
    QStringList plan;
    for (auto it = killAt.cbegin(); it != killAt.cend(); ++it) {
        const Scene &scene = week()[it.key()];
        plan << QStringLiteral("%1 %2 +%3s")
                    .arg(kFirstMonday.addDays(scene.day).toString(QStringLiteral("ddd")),
                         QLatin1String(scene.time))
                    .arg(it.value() / 1000.0, 0, 'f', 1);
    }
    const Scene &downScene = week()[platformDownScene];
    plan << QStringLiteral("%1 %2 with the platform down")
                .arg(kFirstMonday.addDays(downScene.day).toString(QStringLiteral("ddd")),
                     QLatin1String(downScene.time));
    say(QStringLiteral("kills planned: ") + plan.join(QStringLiteral(", ")));
    if (!bringUp()) {
        stopClient();
        return 2;
    }
    for (int i = 0; i < int(week().size()); ++i) {
        play(i);
        if (unplannedEnds.size() > kMostUnplannedEnds) {
            say(QStringLiteral("the client ended by itself %1 times; the week stops here")
                    .arg(unplannedEnds.size()));
            break;
        }
    }
    snapshotBooks();
    const bool stoppedCleanly = stopClient();
    snapshotBooks();
    return verdict(stoppedCleanly);
}

int Week::verdict(bool stoppedCleanly)
{
    // The front's orders by the key the client reports them under, and which order a trade
    // belongs to (one instrument, so the exchange's order number within a day finds it).
    QMap<QString, QJsonObject> frontOrders;
    QMap<QString, QString> keyBySysId;
    QMap<QString, int> exchangeRefusals;
    int filled = 0, partFilled = 0, unfilled = 0, fridayNight = 0;
    for (const QJsonObject &order : orders) {
        const QString key = QStringLiteral("%1%2%3")
                                .arg(order["frontId"].toInt())
                                .arg(order["sessionId"].toInt())
                                .arg(order["orderRef"].toString().trimmed());
        frontOrders.insert(key, order);
        const QString sysId = order["orderSysId"].toString().trimmed();
        if (!sysId.isEmpty()) {
            keyBySysId.insert(order["tradingDay"].toString() + QLatin1Char('|') + sysId, key);
        }
        const int traded = order["volumeTraded"].toInt();
        if (order["submitStatus"].toString() == QLatin1String("4")) {
            ++exchangeRefusals[order["statusMsg"].toString()];
        } else if (traded == order["volume"].toInt()) {
            ++filled;
        } else if (traded > 0) {
            ++partFilled;
        } else {
            ++unfilled;
        }
        if (order["tradingDay"].toString() == QLatin1String("20261214") &&
            order["insertTime"].toString() >= QLatin1String("21:00:00")) {
            ++fridayNight;
        }
    }
    QMap<QString, int> frontFills;
    for (const QJsonObject &trade : trades) {
        const QString sysId = trade["tradingDay"].toString() + QLatin1Char('|') +
                              trade["orderSysId"].toString().trimmed();
        ++frontFills[keyBySysId.value(sysId, QStringLiteral("?") + sysId)];
    }

    const QJsonArray stored = simulators.platform()
                                  .admin("GET", QStringLiteral("/admin/reports?accepted=true"))
                                  .value("data")
                                  .toArray();
    QMap<QString, int> orderReports;
    QMap<QString, int> fillReports;
    int fillReportCount = 0;
    // A close on SHFE goes out as today's and earlier lots, two orders of one signal; an order
    // twice of the same kind for one signal is what must never happen.
    QMap<QString, QMap<QString, int>> ordersBySignal;
    for (const QJsonValue &value : stored) {
        const QJsonObject entry = value.toObject();
        const QJsonObject report = entry["report"].toObject();
        const QString key = report["orderID"].toString();
        if (entry["kind"].toString() == QLatin1String("order")) {
            ++orderReports[key];
            const QString signal = report["signalID"].toString();
            if (signal != QLatin1String("0")) {
                ++ordersBySignal[signal][report["direction"].toString()];
            }
        } else {
            ++fillReports[key];
            ++fillReportCount;
        }
    }

    int ordersLost = 0, ordersTwice = 0, reportsWithoutOrder = 0;
    for (auto it = frontOrders.cbegin(); it != frontOrders.cend(); ++it) {
        const int reports = orderReports.value(it.key());
        ordersLost += reports == 0 ? 1 : 0;
        ordersTwice += reports > 1 ? 1 : 0;
    }
    for (auto it = orderReports.cbegin(); it != orderReports.cend(); ++it) {
        reportsWithoutOrder += frontOrders.contains(it.key()) ? 0 : 1;
    }
    int fillsLost = 0, fillsTwice = 0, fillsAtFront = 0;
    QSet<QString> keys(frontFills.keyBegin(), frontFills.keyEnd());
    keys.unite(QSet<QString>(fillReports.keyBegin(), fillReports.keyEnd()));
    for (const QString &key : keys) {
        fillsAtFront += frontFills.value(key);
        const int difference = frontFills.value(key) - fillReports.value(key);
        fillsLost += qMax(difference, 0);
        fillsTwice += qMax(-difference, 0);
    }
    int signalsTwice = 0;
    for (const QMap<QString, int> &kinds : ordersBySignal) {
        bool twice = false;
        for (int count : kinds) {
            twice = twice || count > 1;
        }
        signalsTwice += twice ? 1 : 0;
    }

    // The broker's refusals leave no order behind: the requests that came without one.
    const int insertRequests = frontList("/requests?type=ReqOrderInsert&front=td").size();
    const int brokerRefusals = qMax(insertRequests - frontOrders.size(), 0);
    QStringList brokerWhy;
    int seen = 0;
    for (auto it = brokerRefusalsSeen.cbegin(); it != brokerRefusalsSeen.cend(); ++it) {
        brokerWhy << QStringLiteral("error %1: %2").arg(it.key()).arg(it.value());
        seen += it.value();
    }
    if (brokerRefusals > seen) {
        brokerWhy << QStringLiteral("not logged by the client: %1").arg(brokerRefusals - seen);
    }
    QStringList exchangeWhy;
    int refusedByExchange = 0;
    for (auto it = exchangeRefusals.cbegin(); it != exchangeRefusals.cend(); ++it) {
        exchangeWhy << QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
        refusedByExchange += it.value();
    }

    int inSession = 0, servingClosed = 0, frontsClosed = 0;
    for (const Published &signal : published) {
        inSession += signal.inSession ? 1 : 0;
        servingClosed += signal.serving && !signal.inSession ? 1 : 0;
        frontsClosed += signal.serving ? 0 : 1;
    }

    say(QStringLiteral("signals published %1: in session %2, fronts serving but market closed "
                       "%3, fronts closed %4")
            .arg(published.size())
            .arg(inSession)
            .arg(servingClosed)
            .arg(frontsClosed));
    say(QStringLiteral("signals acted on %1, with more than one order %2")
            .arg(ordersBySignal.size())
            .arg(signalsTwice));
    say(QStringLiteral("orders at the front %1: filled %2, part filled %3, unfilled %4, refused "
                       "by the exchange %5%6")
            .arg(frontOrders.size())
            .arg(filled)
            .arg(partFilled)
            .arg(unfilled)
            .arg(refusedByExchange)
            .arg(exchangeWhy.isEmpty()
                     ? QString()
                     : QStringLiteral(" (") + exchangeWhy.join(u("; ")) + u(")")));
    say(QStringLiteral("orders refused by the broker %1%2 (settlement not confirmed, error 42: "
                       "%3; duplicate OrderRef, error 22: %4)")
            .arg(brokerRefusals)
            .arg(brokerWhy.isEmpty() ? QString()
                                     : QStringLiteral(" [") + brokerWhy.join(u("; ")) + u("]"))
            .arg(brokerRefusalsSeen.value(42))
            .arg(brokerRefusalsSeen.value(22)));
    say(QStringLiteral("order reports %1: lost %2, reported twice %3, for orders the front never "
                       "took %4")
            .arg(orderReports.size())
            .arg(ordersLost)
            .arg(ordersTwice)
            .arg(reportsWithoutOrder));
    say(QStringLiteral("fills at the front %1, fill reports %2: lost %3, reported twice %4")
            .arg(fillsAtFront)
            .arg(fillReportCount)
            .arg(fillsLost)
            .arg(fillsTwice));
    say(QStringLiteral("Friday night's orders on Monday's trading day: %1").arg(fridayNight));
    say(QStringLiteral("kills %1 of %2, client starts %3, crashes %4%5")
            .arg(kills)
            .arg(kKills)
            .arg(starts)
            .arg(unplannedEnds.size())
            .arg(unplannedEnds.isEmpty()
                     ? QString()
                     : QStringLiteral(" (") + unplannedEnds.join(u("; ")) + u(")")));
    say(QStringLiteral("logged in at the end of %1 of %2 scenes with the fronts serving%3; "
                       "connection made anew %4 of %5 times before the session")
            .arg(servingEnds - notLoggedIn.size())
            .arg(servingEnds)
            .arg(notLoggedIn.isEmpty()
                     ? QString()
                     : QStringLiteral(" (not: ") + notLoggedIn.join(u(", ")) + u(")"))
            .arg(reconnected)
            .arg(reconnectionScenes));
    say(QStringLiteral("client memory (VmRSS): %1 MB at the first scene, %2 MB at the last (that "
                       "process up since %3)")
            .arg(rssFirst / 1024.0, 0, 'f', 1)
            .arg(rssLast / 1024.0, 0, 'f', 1)
            .arg(clientSince));
    say(QStringLiteral("the client %1")
            .arg(stoppedCleanly ? u("stopped when asked") : u("did NOT stop cleanly")));
    say(QStringLiteral("took %1").arg(minutes(runTimer.elapsed())));

    const bool clean = kills == kKills && unplannedEnds.isEmpty() && stoppedCleanly &&
                       brokerRefusals == 0 && ordersLost == 0 && ordersTwice == 0 &&
                       fillsLost == 0 && fillsTwice == 0 && signalsTwice == 0 &&
                       notLoggedIn.isEmpty() && reconnected == reconnectionScenes &&
                       !frontOrders.isEmpty();
    if (frontOrders.isEmpty()) {
        say(QStringLiteral("no order reached the front: the run proved nothing"));
    }
    say(clean ? QStringLiteral("all counts as they must be") : QStringLiteral("a count is off"));
    return clean ? 0 : 1;
}

} // namespace

int runWeek(const QStringList &arguments)
{
    bool given = false;
    quint32 seed = argumentAfter(arguments, QStringLiteral("--seed")).toUInt(&given);
    if (!given) {
        seed = std::random_device{}();
    }
    QString work = argumentAfter(arguments, QStringLiteral("--work"));
    if (work.isEmpty()) {
        QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/velmora-week-XXXXXX"));
        scratch.setAutoRemove(false);
        work = scratch.path();
    }
    Week week(seed, QDir(work).absolutePath());
    return week.run();
}
