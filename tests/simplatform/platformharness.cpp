#include "platformharness.h"

#include <QUrl>

const char *PlatformHarness::program()
{
    return VELMORA_SIMPLATFORM_EXE;
}

bool PlatformHarness::start(const QStringList &extraArgs)
{
    args = QStringList{"--listen", "127.0.0.1:0", "--data", data.path(), "--quiet"} + extraArgs;
    if (!sim.start(program(), args, {"listening on"})) {
        qWarning("%s", qPrintable(sim.errorString()));
        return false;
    }
    boundPort = QUrl(sim.address("listening on")).port();
    return boundPort > 0;
}

bool PlatformHarness::restart(bool crash)
{
    if (crash)
        sim.kill();
    else if (!sim.stop())
        return false;
    return start(args.mid(5));
}

HttpAnswer PlatformHarness::request(const std::string &method, const std::string &path,
                                    const std::string &body, const httplib::Headers &headers,
                                    int readTimeoutMs)
{
    httplib::Client client("127.0.0.1", boundPort);
    client.set_connection_timeout(5);
    client.set_read_timeout(readTimeoutMs / 1000, (readTimeoutMs % 1000) * 1000);
    httplib::Request req;
    req.method = method;
    req.path = path;
    req.headers = headers;
    req.body = body;
    if (!body.empty() && !req.has_header("Content-Type"))
        req.set_header("Content-Type", "application/json");
    HttpAnswer answer;
    const httplib::Result result = client.send(req);
    if (!result)
        return answer;
    answer.status = result->status;
    answer.body = result->body;
    answer.headers = result->headers;
    answer.json = nlohmann::json::parse(answer.body, nullptr, false);
    return answer;
}

nlohmann::json PlatformHarness::login(const std::string &user, const std::string &password)
{
    const HttpAnswer answer = post("/api/login", {{"username", user}, {"password", password}});
    if (answer.code() != 0 || !answer.json.contains("data"))
        return nlohmann::json::object();
    return answer.data();
}

nlohmann::json PlatformHarness::orderReport(const std::string &token, const std::string &signalId,
                                            const std::string &orderId)
{
    return {{"token", token},
            {"username", "demo"},
            {"instrument", "rb2705"},
            {"brokerID", "9999"},
            {"signalID", signalId},
            {"direction", "多头 开仓"},
            {"submitVolume", 2},
            {"price", 3512.5},
            {"available", 100000.25},
            {"leverage", 1},
            {"profit", 0.2},
            {"volumeMultiple", 10},
            {"type", signalId == "0" ? "手动" : "自动"},
            {"orderID", orderId}};
}

nlohmann::json PlatformHarness::fillReport(const std::string &token, const std::string &orderId)
{
    return {{"token", token},
            {"username", "demo"},
            {"orderID", orderId},
            {"volume", 2},
            {"price", 3512.0}};
}
