#pragma once

#include "simprocess.h"

#include <QStringList>
#include <QTemporaryDir>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <string>

// One answer as a test sees it: status -1 when no HTTP answer arrived at all.
struct HttpAnswer
{
    int status = -1;
    std::string body;
    httplib::Headers headers;
    nlohmann::json json; // the parsed body, or discarded when it is not JSON

    int code() const { return json.is_object() ? json.value("code", -999) : -999; }
    const nlohmann::json &data() const { return json.at("data"); }
};

// A velmora-simplatform started on a free loopback port with a data folder of its own, and the
// plain HTTP requests the tests make against it (a new connection each, as the client does).
class PlatformHarness
{
public:
    static const char *program();

    bool start(const QStringList &extraArgs = {"--admin"});
    // Stops the process (SIGTERM, or SIGKILL when crash is true) and starts it again on the
    // same data folder.
    bool restart(bool crash = false);
    SimProcess &process() { return sim; }
    QString dataDir() const { return data.path(); }
    int port() const { return boundPort; }

    HttpAnswer request(const std::string &method, const std::string &path,
                       const std::string &body = std::string(),
                       const httplib::Headers &headers = {}, int readTimeoutMs = 10000);
    HttpAnswer post(const std::string &path, const nlohmann::json &body)
    {
        return request("POST", path, body.dump());
    }
    HttpAnswer postWithToken(const std::string &path, const std::string &token)
    {
        return request("POST", path, std::string(), {{"Authorization", "Bearer " + token}});
    }
    HttpAnswer get(const std::string &path) { return request("GET", path); }

    // The data of a successful demo login (or an empty object).
    nlohmann::json login(const std::string &user = "demo", const std::string &password = "demo");
    std::string loginToken() { return login().value("token", std::string()); }

    // The two report bodies as the client builds them.
    static nlohmann::json orderReport(const std::string &token, const std::string &signalId,
                                      const std::string &orderId);
    static nlohmann::json fillReport(const std::string &token, const std::string &orderId);

private:
    QTemporaryDir data;
    SimProcess sim;
    QStringList args;
    int boundPort = 0;
};
