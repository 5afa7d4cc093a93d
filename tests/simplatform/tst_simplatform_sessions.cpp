// Sessions over real HTTP: login, the bearer token and its expiry, the single-session login
// code, user data and configuration, and the admin changes the client's tests rely on.
#include "platformharness.h"

#include <QElapsedTimer>
#include <QtTest>
#include <set>

using nlohmann::json;

class TstSimplatformSessions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void loginServesTheDemoIdentityWithTheClientsTypes();
    void loginRefusals_data();
    void loginRefusals();
    void bearerEndpointsRefuseMissingOrUnknownTokens_data();
    void bearerEndpointsRefuseMissingOrUnknownTokens();
    void configAndLoginMessage();
    void renewalIssuesANewTokenAndKeepsTheOldOneUntilItExpires();
    void expiredAndExpiredByAdminTokensGet401();
    void secondLoginMakesTheFirstSessionsLoginCodeStale();
    void userPatchesReachTheClient();
    void configPatchesReachTheClientAndBadOnesAreRefused();
    void requestLogShowsWhatTheClientSent();
    void adminEndpointsNeedTheAdminOption();

private:
    std::unique_ptr<PlatformHarness> platform;
};

void TstSimplatformSessions::init()
{
    platform = std::make_unique<PlatformHarness>();
    QVERIFY(platform->start());
}

void TstSimplatformSessions::loginServesTheDemoIdentityWithTheClientsTypes()
{
    const HttpAnswer answer =
        platform->post("/api/login", {{"username", "demo"}, {"password", "demo"}});
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.code(), 0);
    QVERIFY(answer.json["msg"].is_string());
    const json &data = answer.data();
    for (const char *key : {"username", "realname", "mobile", "regdate", "loginCode", "token"})
        QVERIFY2(data[key].is_string(), key);
    QVERIFY(data["state"].is_boolean());
    QVERIFY(data["profit"].is_number());
    QVERIFY(data["maxCapital"].is_number());
    QVERIFY(!data.contains("password"));
    QCOMPARE(data["token"].get<std::string>().size(), size_t(32));
    QCOMPARE(data["simulation"],
             json({{"brokerID", "9999"}, {"investerID", "000001"}, {"instrument", "rb2705"}}));
    QCOMPARE(data["real"],
             json({{"brokerID", "9999"}, {"investerID", "000002"}, {"instrument", "rb2705"}}));
}

void TstSimplatformSessions::loginRefusals_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::newRow("wrong password") << QByteArray(R"({"username":"demo","password":"x"})") << 200;
    QTest::newRow("unknown user") << QByteArray(R"({"username":"nobody","password":"demo"})")
                                  << 200;
    QTest::newRow("password as number") << QByteArray(R"({"username":"demo","password":1})") << 400;
    QTest::newRow("no password") << QByteArray(R"({"username":"demo"})") << 400;
    QTest::newRow("not JSON") << QByteArray("username=demo&password=demo") << 400;
    QTest::newRow("array") << QByteArray(R"(["demo","demo"])") << 400;
}

void TstSimplatformSessions::loginRefusals()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    const HttpAnswer answer = platform->request("POST", "/api/login", body.toStdString());
    QCOMPARE(answer.status, status);
    QVERIFY(answer.code() != 0);
    QVERIFY(!answer.json.contains("data"));
    // The client shows msg to the user as it stands.
    const QString msg = QString::fromStdString(answer.json.value("msg", std::string()));
    QVERIFY(std::any_of(msg.begin(), msg.end(), [](QChar c) { return c.unicode() >= 0x4e00; }));
    if (status == 200)
        QCOMPARE(msg, QStringLiteral("用户名或密码错误"));
}

void TstSimplatformSessions::bearerEndpointsRefuseMissingOrUnknownTokens_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path :
         {"/api/config", "/api/token", "/api/userData", "/api/signalReal", "/api/signalSimulation"})
        QTest::newRow(path) << QString(path);
}

void TstSimplatformSessions::bearerEndpointsRefuseMissingOrUnknownTokens()
{
    QFETCH(QString, path);
    const std::string p = path.toStdString();
    const std::string token = platform->loginToken();
    QVERIFY(!token.empty());
    const httplib::Headers variants[] = {{},
                                         {{"Authorization", "Bearer 0123456789abcdef"}},
                                         {{"Authorization", token}}, // scheme missing
                                         {{"Authorization", "Bearer "}}};
    for (const httplib::Headers &headers : variants) {
        const HttpAnswer answer = platform->request("POST", p, std::string(), headers);
        QCOMPARE(answer.status, 401);
        QCOMPARE(answer.code(), 401);
    }
    // The token in a body is not a bearer token.
    QCOMPARE(platform->post(p, {{"token", token}}).status, 401);
    QVERIFY(platform->postWithToken(p, token).status == 200);
}

void TstSimplatformSessions::configAndLoginMessage()
{
    const HttpAnswer config = platform->postWithToken("/api/config", platform->loginToken());
    QCOMPARE(config.code(), 0);
    const json &data = config.data();
    for (const char *key : {"signalTimerSeconds", "tokenTimerSeconds", "leverage"})
        QVERIFY2(data[key].is_number_integer(), key);
    QVERIFY(data["version"].is_string());
    QCOMPARE(data["simulation"]["tdAddress"], json("tcp://127.0.0.1:41205"));
    QCOMPARE(data["simulation"]["mdAddress"], json("tcp://127.0.0.1:41213"));
    for (const char *env : {"simulation", "real"}) {
        for (const char *key : {"mdAddress", "tdAddress", "name"})
            QVERIFY(data[env][key].is_string());
    }

    // Fetched before any login, with or without a JSON content type.
    const HttpAnswer message = platform->request("POST", "/api/getLoginMessage");
    QCOMPARE(message.code(), 0);
    QVERIFY(!message.data()["message"].get<std::string>().empty());
    QCOMPARE(platform
                 ->request("POST", "/api/getLoginMessage", std::string(),
                           {{"Content-Type", "application/json"}})
                 .json,
             message.json);
}

void TstSimplatformSessions::renewalIssuesANewTokenAndKeepsTheOldOneUntilItExpires()
{
    const std::string first = platform->loginToken();
    const HttpAnswer renewed = platform->postWithToken("/api/token", first);
    QCOMPARE(renewed.code(), 0);
    QVERIFY(renewed.data().is_string());
    const std::string second = renewed.data().get<std::string>();
    QVERIFY(second != first);
    QCOMPARE(platform->postWithToken("/api/userData", second).code(), 0);
    QCOMPARE(platform->postWithToken("/api/userData", first).code(), 0);
    // The renewed token serves the same session: same user, same login code.
    QCOMPARE(platform->postWithToken("/api/userData", second).data()["loginCode"],
             platform->postWithToken("/api/userData", first).data()["loginCode"]);
}

void TstSimplatformSessions::expiredAndExpiredByAdminTokensGet401()
{
    const std::string a = platform->loginToken();
    const std::string b = platform->loginToken();
    HttpAnswer expired = platform->post("/admin/expireToken", {{"token", a}});
    QCOMPARE(expired.data()["expired"], json(1));
    QCOMPARE(platform->postWithToken("/api/userData", a).status, 401);
    QCOMPARE(platform->postWithToken("/api/token", a).status, 401);
    QCOMPARE(platform->postWithToken("/api/userData", b).status, 200);
    expired = platform->post("/admin/expireToken", {{"username", "demo"}});
    QVERIFY(expired.data()["expired"].get<int>() >= 1);
    QCOMPARE(platform->postWithToken("/api/config", b).status, 401);

    // A short lifetime ends a token by itself.
    QCOMPARE(platform->post("/admin/config", {{"server", {{"tokenLifetimeSeconds", 1}}}}).code(),
             0);
    const std::string shortLived = platform->loginToken();
    QCOMPARE(platform->postWithToken("/api/config", shortLived).status, 200);
    QTRY_COMPARE_WITH_TIMEOUT(platform->postWithToken("/api/config", shortLived).status, 401,
                              10000);
}

void TstSimplatformSessions::secondLoginMakesTheFirstSessionsLoginCodeStale()
{
    const json first = platform->login();
    const json second = platform->login();
    QVERIFY(first["loginCode"] != second["loginCode"]);
    const HttpAnswer earlier = platform->postWithToken("/api/userData", first["token"]);
    QCOMPARE(earlier.status, 200);
    QCOMPARE(earlier.data()["loginCode"], second["loginCode"]);
    QVERIFY(!earlier.data().contains("token"));

    // Logins in quick succession still get distinct codes, and that survives a restart.
    std::set<std::string> codes;
    for (int i = 0; i < 20; ++i)
        codes.insert(platform->login()["loginCode"].get<std::string>());
    QCOMPARE(codes.size(), size_t(20));
    const std::string last = *codes.rbegin();
    QVERIFY(platform->restart());
    const std::string afterRestart = platform->login()["loginCode"];
    QVERIFY(std::stoll(afterRestart) > std::stoll(last));
}

void TstSimplatformSessions::userPatchesReachTheClient()
{
    const std::string token = platform->loginToken();
    HttpAnswer patched = platform->post(
        "/admin/user", {{"username", "demo"},
                        {"state", false},
                        {"maxCapital", 5000.5},
                        {"simulation", {{"brokerID", "8888"}, {"instrument", "ag2706"}}},
                        {"real", {{"instrument", nullptr}}}});
    QCOMPARE(patched.code(), 0);
    QVERIFY(!patched.data().contains("password"));
    const json data = platform->postWithToken("/api/userData", token).data();
    QCOMPARE(data["state"], json(false));
    QCOMPARE(data["maxCapital"], json(5000.5));
    QCOMPARE(data["simulation"],
             json({{"brokerID", "8888"}, {"investerID", "000001"}, {"instrument", "ag2706"}}));
    QCOMPARE(data["real"], json({{"brokerID", "9999"}, {"investerID", "000002"}}));

    QCOMPARE(platform->post("/admin/user", {{"username", "ghost"}, {"state", true}}).status, 404);
    patched = platform->post("/admin/user", {{"username", "second"},
                                             {"password", "pw"},
                                             {"realname", "乙"},
                                             {"simulation", {{"instrument", "rb2705"}}}});
    QCOMPARE(patched.code(), 0);
    QCOMPARE(platform->login("second", "pw")["realname"], json("乙"));
    QVERIFY(platform->login("second", "wrong").empty());
}

void TstSimplatformSessions::configPatchesReachTheClientAndBadOnesAreRefused()
{
    const std::string token = platform->loginToken();
    QCOMPARE(platform
                 ->post("/admin/config",
                        {{"platform", {{"version", "1.1"}}}, {"loginMessage", "新公告"}})
                 .code(),
             0);
    json config = platform->postWithToken("/api/config", token).data();
    QCOMPARE(config["version"], json("1.1"));
    QCOMPARE(config["leverage"], json(1)); // the rest stays
    QCOMPARE(platform->post("/api/getLoginMessage", json()).data()["message"], json("新公告"));

    QCOMPARE(
        platform->post("/admin/config", {{"platform", {{"real", {{"name", nullptr}}}}}}).code(), 0);
    QVERIFY(!platform->postWithToken("/api/config", token).data()["real"].contains("name"));

    for (const json &bad : {json{{"server", {{"tokenLifetimeSeconds", -5}}}},
                            json{{"platform", "flat"}}, json{{"users", json::array()}}}) {
        QCOMPARE(platform->post("/admin/config", bad).status, 400);
    }
    config = platform->postWithToken("/api/config", token).data();
    QVERIFY(config.is_object());
    QCOMPARE(config["version"], json("1.1"));
    QVERIFY(!platform->loginToken().empty());
}

void TstSimplatformSessions::requestLogShowsWhatTheClientSent()
{
    const std::string token = platform->loginToken();
    platform->postWithToken("/api/config", token);
    const json log = platform->get("/admin/requests?path=/api/config").data();
    QCOMPARE(log.size(), size_t(1));
    QCOMPARE(log[0]["headers"]["authorization"], json("Bearer " + token));
    QCOMPARE(log[0]["method"], json("POST"));
    const json logins = platform->get("/admin/requests?path=/api/login").data();
    QCOMPARE(json::parse(logins[0]["body"].get<std::string>())["password"], json("demo"));
    const long long seq = log[0]["seq"];
    QCOMPARE(platform->get("/admin/requests?since=" + std::to_string(seq)).data().size(),
             size_t(0));
}

void TstSimplatformSessions::adminEndpointsNeedTheAdminOption()
{
    PlatformHarness plain;
    QVERIFY(plain.start({}));
    QCOMPARE(plain.get("/admin/reports").status, 404);
    QCOMPARE(plain.post("/admin/signal", {{"username", "demo"}}).status, 404);
    QVERIFY(!plain.loginToken().empty());
}

QTEST_GUILESS_MAIN(TstSimplatformSessions)
#include "tst_simplatform_sessions.moc"
