// Signals and reports over real HTTP: publishing, the demo rotation, isExpired and isTraded,
// and every report stored with its fields, kept across a stop and a crash.
#include "platformharness.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QtTest>
#include <future>
#include <map>
#include <set>
#include <sqlite3.h>

using nlohmann::json;

namespace {

json publish(PlatformHarness &platform, json signal)
{
    signal["username"] = signal.value("username", "demo");
    signal["accountType"] = signal.value("accountType", "simulation");
    return platform.post("/admin/signal", signal).json;
}

long long nowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

HttpAnswer postKeyed(PlatformHarness &platform, const std::string &path, const json &body,
                     const std::string &key)
{
    return platform.request("POST", path, body.dump(), {{"Idempotency-Key", key}});
}

} // namespace

class TstSimplatformSignals : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void signalsArePerUserAndAccountType();
    void servedSignalHasExactlyTheSevenKeys();
    void expiredSignalsSayIsExpired();
    void fillOfAnOrderNamingTheSignalMarksItTraded();
    void fillsThatDoNotCompleteASignalOrderMarkNothing();
    void autoSignalsRotateWithNewIds();
    void reportsAreStoredAsSentWithArrivalTime();
    void refusedReportsAreKeptWithTheReason_data();
    void refusedReportsAreKeptWithTheReason();
    void reportsSignalsAndTokensSurviveStopAndCrash();
    void aReportSentAgainUnderItsKeyIsStoredOnce();
    void filesWithoutKeysGainThemOnStart();

private:
    std::unique_ptr<PlatformHarness> platform;
    std::string token;
};

void TstSimplatformSignals::init()
{
    platform = std::make_unique<PlatformHarness>();
    QVERIFY(platform->start());
    token = platform->loginToken();
    QVERIFY(!token.empty());
}

void TstSimplatformSignals::signalsArePerUserAndAccountType()
{
    HttpAnswer none = platform->postWithToken("/api/signalSimulation", token);
    QCOMPARE(none.status, 200);
    QVERIFY(none.code() != 0);
    QVERIFY(!none.json.contains("data"));

    QCOMPARE(publish(*platform, {{"direction", "buy"}, {"openOrClose", "open"}})["code"], json(0));
    QCOMPARE(platform->postWithToken("/api/signalSimulation", token).code(), 0);
    QVERIFY(platform->postWithToken("/api/signalReal", token).code() != 0);

    QCOMPARE(platform->post("/admin/user", {{"username", "other"}, {"password", "pw"}}).code(), 0);
    const std::string otherToken = platform->login("other", "pw")["token"];
    QVERIFY(platform->postWithToken("/api/signalSimulation", otherToken).code() != 0);

    // The latest publication is the current signal.
    publish(*platform, {{"direction", "sell"}, {"openOrClose", "close"}, {"id", "later"}});
    QCOMPARE(platform->postWithToken("/api/signalSimulation", token).data()["id"], json("later"));

    QCOMPARE(
        publish(*platform,
                {{"username", "ghost"}, {"direction", "buy"}, {"openOrClose", "open"}})["code"],
        json(1003));
    QCOMPARE(
        publish(*platform,
                {{"accountType", "paper"}, {"direction", "buy"}, {"openOrClose", "open"}})["code"],
        json(400));
    QCOMPARE(publish(*platform, {{"direction", 1}, {"openOrClose", "open"}})["code"], json(400));
}

void TstSimplatformSignals::servedSignalHasExactlyTheSevenKeys()
{
    publish(*platform, {{"accountType", "real"},
                        {"id", "S-Case"},
                        {"direction", "BUY"},
                        {"openOrClose", "Open"},
                        {"instrument", "RB2705"}});
    const json data = platform->postWithToken("/api/signalReal", token).data();
    QCOMPARE(data.size(), size_t(7));
    QCOMPARE(data["id"], json("S-Case"));
    QCOMPARE(data["instrument"], json("RB2705"));
    QCOMPARE(data["direction"], json("BUY")); // free text, served as published
    QCOMPARE(data["openOrClose"], json("Open"));
    QVERIFY(data["expires"].is_number_integer());
    QVERIFY(data["isExpired"].is_boolean());
    QCOMPARE(data["isTraded"], json(false));

    // Defaults: a fresh id each time and the account's instrument.
    const json a = publish(*platform, {{"direction", "buy"}, {"openOrClose", "open"}})["data"];
    const json b = publish(*platform, {{"direction", "buy"}, {"openOrClose", "open"}})["data"];
    QVERIFY(a["id"] != b["id"]);
    QVERIFY(a["id"] != json("0"));
    QCOMPARE(a["instrument"], json("rb2705"));
}

void TstSimplatformSignals::expiredSignalsSayIsExpired()
{
    publish(*platform,
            {{"direction", "buy"}, {"openOrClose", "open"}, {"expires", nowSeconds() - 5}});
    QCOMPARE(platform->postWithToken("/api/signalSimulation", token).data()["isExpired"],
             json(true));
    publish(*platform, {{"direction", "buy"}, {"openOrClose", "open"}, {"ttlSeconds", 3600}});
    json data = platform->postWithToken("/api/signalSimulation", token).data();
    QCOMPARE(data["isExpired"], json(false));
    QVERIFY(data["expires"].get<long long>() >= nowSeconds() + 3500);

    publish(*platform, {{"direction", "buy"}, {"openOrClose", "open"}, {"ttlSeconds", 1}});
    QTRY_COMPARE_WITH_TIMEOUT(
        platform->postWithToken("/api/signalSimulation", token).data()["isExpired"], json(true),
        10000);
}

void TstSimplatformSignals::fillOfAnOrderNamingTheSignalMarksItTraded()
{
    publish(*platform, {{"id", "S1"}, {"direction", "buy"}, {"openOrClose", "open"}});
    QCOMPARE(platform->post("/api/tradeSimulation", PlatformHarness::orderReport(token, "S1", "7"))
                 .code(),
             0);
    QCOMPARE(platform->postWithToken("/api/signalSimulation", token).data()["isTraded"],
             json(false));
    QCOMPARE(platform->post("/api/tradeSimulationSuccess", PlatformHarness::fillReport(token, "7"))
                 .code(),
             0);
    QCOMPARE(platform->postWithToken("/api/signalSimulation", token).data()["isTraded"],
             json(true));

    // The fill may reach the platform before the order report.
    publish(
        *platform,
        {{"accountType", "real"}, {"id", "S2"}, {"direction", "sell"}, {"openOrClose", "open"}});
    platform->post("/api/tradeRealSuccess", PlatformHarness::fillReport(token, "8"));
    QCOMPARE(platform->postWithToken("/api/signalReal", token).data()["isTraded"], json(false));
    platform->post("/api/tradeReal", PlatformHarness::orderReport(token, "S2", "8"));
    QCOMPARE(platform->postWithToken("/api/signalReal", token).data()["isTraded"], json(true));
}

void TstSimplatformSignals::fillsThatDoNotCompleteASignalOrderMarkNothing()
{
    publish(*platform, {{"id", "S1"}, {"direction", "buy"}, {"openOrClose", "open"}});
    // A hand-placed order, a fill of another order, a fill on the other account type, and a
    // refused order report naming the signal.
    platform->post("/api/tradeSimulation", PlatformHarness::orderReport(token, "0", "1"));
    platform->post("/api/tradeSimulationSuccess", PlatformHarness::fillReport(token, "1"));
    platform->post("/api/tradeSimulation", PlatformHarness::orderReport(token, "S1", "2"));
    platform->post("/api/tradeSimulationSuccess", PlatformHarness::fillReport(token, "3"));
    platform->post("/api/tradeRealSuccess", PlatformHarness::fillReport(token, "2"));
    json badOrder = PlatformHarness::orderReport(token, "S1", "4");
    badOrder["price"] = "3500";
    platform->post("/api/tradeSimulation", badOrder);
    platform->post("/api/tradeSimulationSuccess", PlatformHarness::fillReport(token, "4"));
    QCOMPARE(platform->postWithToken("/api/signalSimulation", token).data()["isTraded"],
             json(false));
    QCOMPARE(platform->get("/admin/reports").data().size(), size_t(7));
}

void TstSimplatformSignals::autoSignalsRotateWithNewIds()
{
    PlatformHarness rotating;
    QVERIFY(rotating.start({"--admin", "--auto-signals", "2"}));
    const std::string t = rotating.loginToken();
    const std::vector<std::pair<std::string, std::string>> rotation = {
        {"buy", "open"}, {"sell", "close"}, {"sell", "open"}, {"buy", "close"}};
    const auto indexOf = [&rotation](const json &signal) {
        for (size_t i = 0; i < rotation.size(); ++i) {
            if (signal["direction"] == rotation[i].first &&
                signal["openOrClose"] == rotation[i].second)
                return int(i);
        }
        return -1;
    };
    const char *const paths[] = {"/api/signalSimulation", "/api/signalReal"};
    std::map<std::string, std::vector<json>> seen;
    std::set<std::string> ids;
    QElapsedTimer timer;
    timer.start();
    // Polled far faster than published, so every publication is seen.
    while ((seen[paths[0]].size() < 4 || seen[paths[1]].size() < 4) && timer.elapsed() < 30000) {
        for (const char *path : paths) {
            const HttpAnswer answer = rotating.postWithToken(path, t);
            if (answer.code() == 0 && ids.insert(answer.data()["id"].get<std::string>()).second)
                seen[path].push_back(answer.data());
        }
        QTest::qWait(100);
    }
    for (const char *path : paths) {
        const std::vector<json> &published = seen[path];
        QVERIFY2(published.size() >= 4, path);
        for (size_t i = 0; i < published.size(); ++i) {
            QCOMPARE(published[i]["instrument"], json("rb2705"));
            QCOMPARE(published[i]["isTraded"], json(false));
            QCOMPARE(published[i]["isExpired"], json(false)); // valid until the next one
            QVERIFY(indexOf(published[i]) >= 0);
            if (i > 0)
                QCOMPARE(indexOf(published[i]), (indexOf(published[i - 1]) + 1) % 4);
        }
    }
}

void TstSimplatformSignals::reportsAreStoredAsSentWithArrivalTime()
{
    const json order = PlatformHarness::orderReport(token, "S9", "1001");
    const json fill = PlatformHarness::fillReport(token, "1001");
    const long long before = QDateTime::currentMSecsSinceEpoch();
    // The client's indented layout, as QJsonDocument::toJson writes it.
    QCOMPARE(platform->request("POST", "/api/tradeReal", order.dump(4)).code(), 0);
    QCOMPARE(platform->post("/api/tradeRealSuccess", fill).code(), 0);
    const long long after = QDateTime::currentMSecsSinceEpoch();

    const json reports = platform->get("/admin/reports").data();
    QCOMPARE(reports.size(), size_t(2));
    QCOMPARE(reports[0]["report"], order);
    QCOMPARE(reports[0]["kind"], json("order"));
    QCOMPARE(reports[0]["accountType"], json("real"));
    QCOMPARE(reports[0]["path"], json("/api/tradeReal"));
    QCOMPARE(reports[0]["accepted"], json(true));
    QCOMPARE(reports[1]["report"], fill);
    QCOMPARE(reports[1]["kind"], json("fill"));
    QVERIFY(reports[1]["report"]["price"].is_number_float());
    QVERIFY(reports[0]["report"]["submitVolume"].is_number_integer());
    for (const json &r : reports) {
        QVERIFY(r["receivedAt"].get<long long>() >= before);
        QVERIFY(r["receivedAt"].get<long long>() <= after);
    }
    QCOMPARE(platform->get("/admin/reports?kind=fill").data().size(), size_t(1));
    QCOMPARE(platform->get("/admin/reports?accountType=simulation").data().size(), size_t(0));
    QCOMPARE(platform->get("/admin/reports?since=1").data()[0]["kind"], json("fill"));
}

void TstSimplatformSignals::refusedReportsAreKeptWithTheReason_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");
    const auto text = [](const json &j) { return QByteArray::fromStdString(j.dump()); };
    json mistyped = PlatformHarness::orderReport("T", "S1", "1");
    mistyped["submitVolume"] = "2";
    json fractional = PlatformHarness::orderReport("T", "S1", "1");
    fractional["submitVolume"] = 2.5;
    json missing = PlatformHarness::fillReport("T", "1");
    missing.erase("volume");
    QTest::newRow("mistyped") << "/api/tradeSimulation" << text(mistyped) << 400;
    QTest::newRow("fractional lots") << "/api/tradeSimulation" << text(fractional) << 400;
    QTest::newRow("missing") << "/api/tradeRealSuccess" << text(missing) << 400;
    QTest::newRow("not JSON") << "/api/tradeReal" << QByteArray("{\"token\":") << 400;
    QTest::newRow("unknown token")
        << "/api/tradeSimulationSuccess" << text(PlatformHarness::fillReport("nope", "1")) << 401;
}

void TstSimplatformSignals::refusedReportsAreKeptWithTheReason()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    const HttpAnswer answer = platform->request("POST", path.toStdString(), body.toStdString());
    QCOMPARE(answer.code(), code);
    const json reports = platform->get("/admin/reports").data();
    QCOMPARE(reports.size(), size_t(1));
    QCOMPARE(reports[0]["accepted"], json(false));
    QCOMPARE(reports[0]["error"], answer.json["msg"]);
    if (reports[0]["report"].is_null())
        QCOMPARE(reports[0]["body"], json(body.toStdString()));
    QCOMPARE(platform->get("/admin/reports?accepted=true").data().size(), size_t(0));
}

void TstSimplatformSignals::reportsSignalsAndTokensSurviveStopAndCrash()
{
    publish(*platform, {{"id", "S1"}, {"direction", "buy"}, {"openOrClose", "open"}});
    for (int i = 0; i < 20; ++i)
        QCOMPARE(platform
                     ->post("/api/tradeSimulation",
                            PlatformHarness::orderReport(token, "S1", std::to_string(i)))
                     .code(),
                 0);
    QVERIFY(platform->restart());
    // The last answer before the kill is already on disk.
    QCOMPARE(platform->post("/api/tradeSimulationSuccess", PlatformHarness::fillReport(token, "19"))
                 .code(),
             0);
    QVERIFY(platform->restart(true));

    const json reports = platform->get("/admin/reports").data();
    QCOMPARE(reports.size(), size_t(21));
    QCOMPARE(reports[20]["report"], PlatformHarness::fillReport(token, "19"));
    const HttpAnswer signal = platform->postWithToken("/api/signalSimulation", token);
    QCOMPARE(signal.status, 200); // the token outlived both restarts
    QCOMPARE(signal.data()["id"], json("S1"));
    QCOMPARE(signal.data()["isTraded"], json(true));
}

// A client that lost the answer sends the report again under the same key: it must learn the
// report arrived, and the platform must hold it once, across a restart and when the repeat
// overtakes a first request that is still on its way.
void TstSimplatformSignals::aReportSentAgainUnderItsKeyIsStoredOnce()
{
    const json order = PlatformHarness::orderReport(token, "S1", "1");
    const HttpAnswer first = postKeyed(*platform, "/api/tradeSimulation", order, "K1");
    QCOMPARE(first.code(), 0);
    // The repeat's body does not matter any more, even a token that is refused now.
    const HttpAnswer repeat = postKeyed(*platform, "/api/tradeSimulation",
                                        PlatformHarness::orderReport("stale", "S1", "1"), "K1");
    QCOMPARE(repeat.status, 200);
    QCOMPARE(repeat.body, first.body);

    // A refusal files no key: the same key may still be accepted later.
    QCOMPARE(postKeyed(*platform, "/api/tradeSimulationSuccess",
                       PlatformHarness::fillReport("stale", "1"), "K2")
                 .code(),
             401);
    QCOMPARE(postKeyed(*platform, "/api/tradeSimulationSuccess",
                       PlatformHarness::fillReport(token, "1"), "K2")
                 .code(),
             0);
    // Without the header every request is a report of its own.
    QCOMPARE(platform->post("/api/tradeSimulation", order).code(), 0);
    QCOMPARE(platform->post("/api/tradeSimulation", order).code(), 0);

    // The first request is held up past the client's patience; the repeat overtakes it.
    QCOMPARE(platform->post("/admin/fault", {{"path", "/api/tradeReal"}, {"delayMs", 800}}).code(),
             0);
    const json real = PlatformHarness::orderReport(token, "S1", "2");
    auto delayed = std::async(std::launch::async,
                              [&] { return postKeyed(*platform, "/api/tradeReal", real, "K3"); });
    QVERIFY(QTest::qWaitFor(
        [&] { return !platform->get("/admin/requests?path=/api/tradeReal").data().empty(); },
        10000));
    const HttpAnswer overtaking = postKeyed(*platform, "/api/tradeReal", real, "K3");
    const HttpAnswer late = delayed.get();
    QCOMPARE(overtaking.code(), 0);
    QCOMPARE(late.body, overtaking.body);

    QVERIFY(platform->restart());
    QCOMPARE(postKeyed(*platform, "/api/tradeSimulation", order, "K1").body, first.body);

    const json reports = platform->get("/admin/reports").data();
    std::vector<std::pair<std::string, bool>> stored;
    for (const json &r : reports)
        stored.emplace_back(r["idempotencyKey"].get<std::string>(), r["accepted"].get<bool>());
    const std::vector<std::pair<std::string, bool>> expected{
        {"K1", true}, {"", false}, {"K2", true}, {"", true}, {"", true}, {"K3", true}};
    QCOMPARE(stored, expected);
    QCOMPARE(reports[0]["report"], order);
    QCOMPARE(first.data()["id"], reports[0]["id"]);
}

// A data folder written before keys were kept still serves its reports and takes keys.
void TstSimplatformSignals::filesWithoutKeysGainThemOnStart()
{
    PlatformHarness old;
    const std::string file = old.dataDir().toStdString() + "/simplatform.sqlite";
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    const int created = sqlite3_exec(
        db,
        "CREATE TABLE reports(id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL,"
        " account_type TEXT NOT NULL, path TEXT NOT NULL, received_at INTEGER NOT NULL,"
        " accepted INTEGER NOT NULL, error TEXT NOT NULL, body BLOB NOT NULL,"
        " username TEXT NOT NULL, order_id TEXT NOT NULL, signal_id TEXT NOT NULL);"
        "INSERT INTO reports(kind, account_type, path, received_at, accepted, error, body,"
        " username, order_id, signal_id) VALUES('fill', 'simulation',"
        " '/api/tradeSimulationSuccess', 1, 1, '', '{}', 'demo', '7', '');",
        nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(created, SQLITE_OK);

    QVERIFY(old.start());
    const std::string oldToken = old.loginToken();
    const json fill = PlatformHarness::fillReport(oldToken, "8");
    QCOMPARE(postKeyed(old, "/api/tradeSimulationSuccess", fill, "K").code(), 0);
    QCOMPARE(postKeyed(old, "/api/tradeSimulationSuccess", fill, "K").code(), 0);
    const json reports = old.get("/admin/reports").data();
    QCOMPARE(reports.size(), size_t(2));
    QCOMPARE(reports[0]["idempotencyKey"], json(""));
    QCOMPARE(reports[1]["idempotencyKey"], json("K"));
}

QTEST_GUILESS_MAIN(TstSimplatformSignals)
#include "tst_simplatform_signals.moc"
