#include "platform.h"

#include "jsontext.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

using nlohmann::json;

namespace {

const char *const kMsgBadJson = "请求格式错误";
const char *const kMsgBadField = "请求参数错误：";
const char *const kMsgLoginFailed = "用户名或密码错误";
const char *const kMsgTokenInvalid = "登录已失效，请重新登录";
const char *const kMsgNoSignal = "暂无信号";
const char *const kMsgStoreFailed = "数据保存失败";
const char *const kMsgUnknownUser = "用户不存在";

const char *const kAccountTypes[] = {"simulation", "real"};

struct FieldRule
{
    const char *key;
    char type; // 's' string, 'i' integral number, 'n' any number, 'b' bool
};

const std::vector<FieldRule> kOrderFields = {
    {"token", 's'},     {"username", 's'},  {"instrument", 's'},   {"brokerID", 's'},
    {"signalID", 's'},  {"direction", 's'}, {"submitVolume", 'i'}, {"price", 'n'},
    {"available", 'n'}, {"leverage", 'i'},  {"profit", 'n'},       {"volumeMultiple", 'i'},
    {"type", 's'},      {"orderID", 's'}};

const std::vector<FieldRule> kFillFields = {
    {"token", 's'}, {"username", 's'}, {"orderID", 's'}, {"volume", 'i'}, {"price", 'n'}};

// The four demo signals in the order the rotation publishes them.
const std::pair<const char *, const char *> kRotation[] = {
    {"buy", "open"}, {"sell", "close"}, {"sell", "open"}, {"buy", "close"}};

bool hasType(const json &value, char type)
{
    switch (type) {
    case 's':
        return value.is_string();
    case 'b':
        return value.is_boolean();
    case 'n':
        return value.is_number();
    case 'i':
        // A JSON writer may print an integral value as 5.0; the value is what counts.
        return value.is_number_integer() ||
               (value.is_number_float() && std::isfinite(value.get<double>()) &&
                std::floor(value.get<double>()) == value.get<double>());
    }
    return false;
}

// The first missing or mistyped key, or "" when all are as required.
std::string badField(const json &object, const std::vector<FieldRule> &rules)
{
    for (const FieldRule &rule : rules) {
        const auto it = object.find(rule.key);
        if (it == object.end() || !hasType(*it, rule.type))
            return rule.key;
    }
    return std::string();
}

Reply badRequest(const std::string &field = std::string())
{
    if (field.empty())
        return Reply::error(400, ReplyCode::kBadRequest, kMsgBadJson);
    return Reply::error(400, ReplyCode::kBadRequest, kMsgBadField + field);
}

std::string stringMember(const json &object, const char *key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool isAccountType(const std::string &type)
{
    return type == kAccountTypes[0] || type == kAccountTypes[1];
}

std::string localTimeText(std::int64_t ms)
{
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

bool positiveInteger(const json &object, const char *key)
{
    const auto it = object.find(key);
    return it == object.end() || (it->is_number_integer() && it->get<std::int64_t>() > 0);
}

} // namespace

Platform::Platform(Store &store) : store_(store) {}

std::int64_t Platform::nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool Platform::validateConfiguration(const json &config, std::string *error)
{
    if (!config.is_object()) {
        *error = "the configuration is not a JSON object";
        return false;
    }
    if (!config.contains("platform") || !config["platform"].is_object()) {
        *error = "\"platform\" must be an object";
        return false;
    }
    if (!config.contains("loginMessage") || !config["loginMessage"].is_string()) {
        *error = "\"loginMessage\" must be a string";
        return false;
    }
    if (config.contains("server")) {
        const json &server = config["server"];
        if (!server.is_object() || !positiveInteger(server, "tokenLifetimeSeconds") ||
            !positiveInteger(server, "signalLifetimeSeconds")) {
            *error = "\"server\" must be an object whose tokenLifetimeSeconds and "
                     "signalLifetimeSeconds are positive integers";
            return false;
        }
    }
    if (!config.contains("users") || !config["users"].is_array()) {
        *error = "\"users\" must be an array";
        return false;
    }
    std::map<std::string, bool> seen;
    for (const json &user : config["users"]) {
        if (!user.is_object() || !user.contains("username") || !user["username"].is_string() ||
            user["username"].get<std::string>().empty() || !user.contains("password") ||
            !user["password"].is_string()) {
            *error = "every user needs a non-empty string \"username\" and a string \"password\"";
            return false;
        }
        if (seen[user["username"].get<std::string>()]) {
            *error = "user \"" + user["username"].get<std::string>() + "\" appears twice";
            return false;
        }
        seen[user["username"].get<std::string>()] = true;
    }
    return true;
}

bool Platform::setConfiguration(const json &config, std::string *error)
{
    if (!validateConfiguration(config, error))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    users_.clear();
    for (const json &user : config["users"])
        users_[user["username"].get<std::string>()] = user;
    config_ = config;
    config_.erase("users");
    return true;
}

std::int64_t Platform::serverSetting(const char *key, std::int64_t fallback) const
{
    const auto server = config_.find("server");
    if (server == config_.end())
        return fallback;
    const auto it = server->find(key);
    return it != server->end() && it->is_number_integer() ? it->get<std::int64_t>() : fallback;
}

std::string Platform::randomToken()
{
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t bits = random_();
        for (int j = 0; j < 8; ++j, bits >>= 4)
            token += kHex[bits & 0xf];
    }
    return token;
}

std::string Platform::nextLoginCode(const std::string &username)
{
    // The code is the login time in milliseconds, kept increasing so that two logins within
    // one millisecond (or after a clock step back) still differ.
    std::int64_t code = nowMs();
    std::int64_t &last = lastLoginCode_[username];
    if (last == 0) {
        const std::string stored = store_.loginCode(username);
        char *end = nullptr;
        const long long parsed = std::strtoll(stored.c_str(), &end, 10);
        if (!stored.empty() && end && *end == '\0')
            last = parsed;
    }
    if (code <= last)
        code = last + 1;
    last = code;
    return std::to_string(code);
}

std::string Platform::nextSignalId()
{
    std::int64_t id = nowMs();
    if (id <= lastSignalId_)
        id = lastSignalId_ + 1;
    lastSignalId_ = id;
    return std::to_string(id);
}

bool Platform::authorize(const std::string &authorization, std::string *username, Reply *denied)
{
    static const std::string kScheme = "bearer ";
    std::string token;
    if (authorization.size() > kScheme.size()) {
        std::string scheme = authorization.substr(0, kScheme.size());
        for (char &c : scheme)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (scheme == kScheme)
            token = authorization.substr(kScheme.size());
    }
    bool known = !token.empty() && store_.tokenUser(token, nowMs(), username);
    if (known) {
        std::lock_guard<std::mutex> lock(mutex_);
        known = users_.count(*username) > 0;
    }
    if (!known)
        *denied = Reply::error(401, ReplyCode::kUnauthorized, kMsgTokenInvalid);
    return known;
}

json Platform::userObject(const std::string &username) const
{
    json data = users_.at(username);
    data.erase("password");
    data["loginCode"] = store_.loginCode(username);
    return data;
}

Reply Platform::login(const std::string &body)
{
    json request;
    if (!JsonText::parseObject(body, &request))
        return badRequest();
    for (const char *key : {"username", "password"}) {
        if (!request.contains(key) || !request[key].is_string())
            return badRequest(key);
    }
    const std::string username = request["username"].get<std::string>();
    std::lock_guard<std::mutex> lock(mutex_);
    const auto user = users_.find(username);
    if (user == users_.end() || (*user).second["password"] != request["password"])
        return Reply::error(200, ReplyCode::kLoginFailed, kMsgLoginFailed);

    const std::int64_t now = nowMs();
    const std::string token = randomToken();
    const std::string loginCode = nextLoginCode(username);
    store_.pruneTokens(now);
    if (!store_.saveToken(token, username,
                          now + serverSetting("tokenLifetimeSeconds", 3600) * 1000) ||
        !store_.saveLoginCode(username, loginCode))
        return Reply::error(500, ReplyCode::kServerError, kMsgStoreFailed);
    json data = userObject(username);
    data["token"] = token;
    return Reply::ok(std::move(data));
}

Reply Platform::config(const std::string &authorization)
{
    std::string username;
    Reply denied;
    if (!authorize(authorization, &username, &denied))
        return denied;
    std::lock_guard<std::mutex> lock(mutex_);
    return Reply::ok(config_["platform"]);
}

Reply Platform::renewToken(const std::string &authorization)
{
    std::string username;
    Reply denied;
    if (!authorize(authorization, &username, &denied))
        return denied;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string token = randomToken();
    // The previous token stays valid until its own expiry: a report already on its way with
    // it must not be refused.
    if (!store_.saveToken(token, username,
                          nowMs() + serverSetting("tokenLifetimeSeconds", 3600) * 1000))
        return Reply::error(500, ReplyCode::kServerError, kMsgStoreFailed);
    return Reply::ok(token);
}

Reply Platform::userData(const std::string &authorization)
{
    std::string username;
    Reply denied;
    if (!authorize(authorization, &username, &denied))
        return denied;
    std::lock_guard<std::mutex> lock(mutex_);
    return Reply::ok(userObject(username));
}

Reply Platform::loginMessage()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return Reply::ok({{"message", config_["loginMessage"]}});
}

json Platform::signalData(const SignalRecord &signal)
{
    return {{"id", signal.id},
            {"instrument", signal.instrument},
            {"direction", signal.direction},
            {"openOrClose", signal.openOrClose},
            {"expires", signal.expires},
            {"isExpired", nowMs() / 1000 >= signal.expires},
            {"isTraded", signal.isTraded}};
}

Reply Platform::signal(const std::string &authorization, const std::string &accountType)
{
    std::string username;
    Reply denied;
    if (!authorize(authorization, &username, &denied))
        return denied;
    SignalRecord current;
    if (!store_.currentSignal(username, accountType, &current))
        return Reply::error(200, ReplyCode::kNoSignal, kMsgNoSignal);
    return Reply::ok(signalData(current));
}

Reply Platform::report(const std::string &kind, const std::string &accountType,
                       const std::string &path, const std::string &body,
                       const std::string &idempotencyKey)
{
    // A repeat is answered before its body is judged: the token it carries may have expired
    // since the first one was accepted, and the client must still learn that it arrived.
    if (const std::int64_t id = store_.acceptedReportId(idempotencyKey))
        return Reply::ok({{"id", id}});

    // Every report is kept, a refused one with the reason, so that nothing a client sent is
    // lost and a test can see what was refused and why.
    ReportRecord record;
    record.idempotencyKey = idempotencyKey;
    record.kind = kind;
    record.accountType = accountType;
    record.path = path;
    record.receivedAtMs = nowMs();
    record.body = body;

    json request;
    Reply reply;
    std::string field;
    if (!JsonText::parseObject(body, &request)) {
        reply = badRequest();
    } else {
        record.username = stringMember(request, "username");
        record.orderID = stringMember(request, "orderID");
        record.signalID = stringMember(request, "signalID");
        field = badField(request, kind == "order" ? kOrderFields : kFillFields);
        std::string tokenUser;
        if (!field.empty()) {
            reply = badRequest(field);
        } else if (!store_.tokenUser(request["token"].get<std::string>(), record.receivedAtMs,
                                     &tokenUser) ||
                   tokenUser != record.username) {
            // The client does not read report answers; the envelope still says why.
            reply = Reply::error(200, ReplyCode::kUnauthorized, kMsgTokenInvalid);
        } else {
            record.accepted = true;
        }
    }
    if (!record.accepted)
        record.error = reply.body["msg"].get<std::string>();
    if (!store_.insertReport(&record))
        return Reply::error(500, ReplyCode::kServerError, kMsgStoreFailed);
    return record.accepted ? Reply::ok({{"id", record.id}}) : reply;
}

bool Platform::storeSignal(SignalRecord *signal, Reply *failure)
{
    if (!store_.insertSignal(*signal)) {
        *failure = Reply::error(500, ReplyCode::kServerError, kMsgStoreFailed);
        return false;
    }
    return true;
}

Reply Platform::publishSignal(const std::string &body)
{
    json request;
    if (!JsonText::parseObject(body, &request))
        return badRequest();
    static const std::vector<FieldRule> required = {
        {"username", 's'}, {"accountType", 's'}, {"direction", 's'}, {"openOrClose", 's'}};
    const std::string missing = badField(request, required);
    if (!missing.empty())
        return badRequest(missing);
    static const std::vector<FieldRule> optional = {
        {"id", 's'}, {"instrument", 's'}, {"expires", 'i'}, {"ttlSeconds", 'i'}, {"isTraded", 'b'}};
    for (const FieldRule &rule : optional) {
        if (request.contains(rule.key) && !hasType(request[rule.key], rule.type))
            return badRequest(rule.key);
    }

    SignalRecord signal;
    signal.username = request["username"].get<std::string>();
    signal.accountType = request["accountType"].get<std::string>();
    if (!isAccountType(signal.accountType))
        return badRequest("accountType");
    signal.direction = request["direction"].get<std::string>();
    signal.openOrClose = request["openOrClose"].get<std::string>();
    signal.isTraded = request.value("isTraded", false);
    signal.publishedAtMs = nowMs();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto user = users_.find(signal.username);
        if (user == users_.end())
            return Reply::error(404, ReplyCode::kUnknownUser, kMsgUnknownUser);
        signal.id = request.contains("id") ? request["id"].get<std::string>() : nextSignalId();
        const json account = user->second.value(signal.accountType, json::object());
        signal.instrument =
            request.contains("instrument")
                ? request["instrument"].get<std::string>()
                : (account.is_object() ? stringMember(account, "instrument") : std::string());
        if (request.contains("expires")) {
            signal.expires = static_cast<std::int64_t>(request["expires"].get<double>());
        } else {
            const std::int64_t ttl =
                request.contains("ttlSeconds")
                    ? static_cast<std::int64_t>(request["ttlSeconds"].get<double>())
                    : serverSetting("signalLifetimeSeconds", 60);
            signal.expires = (signal.publishedAtMs + 999) / 1000 + ttl;
        }
    }
    Reply failure;
    if (!storeSignal(&signal, &failure))
        return failure;
    return Reply::ok(signalData(signal));
}

Reply Platform::currentSignal(const std::string &username, const std::string &accountType)
{
    SignalRecord current;
    if (!store_.currentSignal(username, accountType, &current))
        return Reply::error(200, ReplyCode::kNoSignal, kMsgNoSignal);
    return Reply::ok(signalData(current));
}

void Platform::publishRotation(int lifetimeSeconds)
{
    std::vector<SignalRecord> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto &entry : users_) {
            for (const char *type : kAccountTypes) {
                const json account = entry.second.value(type, json::object());
                const std::string instrument =
                    account.is_object() ? stringMember(account, "instrument") : std::string();
                if (instrument.empty())
                    continue;
                size_t next = 0;
                SignalRecord current;
                if (store_.currentSignal(entry.first, type, &current)) {
                    for (size_t i = 0; i < 4; ++i) {
                        if (current.direction == kRotation[i].first &&
                            current.openOrClose == kRotation[i].second)
                            next = (i + 1) % 4;
                    }
                }
                SignalRecord signal;
                signal.id = nextSignalId();
                signal.username = entry.first;
                signal.accountType = type;
                signal.instrument = instrument;
                signal.direction = kRotation[next].first;
                signal.openOrClose = kRotation[next].second;
                signal.publishedAtMs = nowMs();
                signal.expires = (signal.publishedAtMs + 999) / 1000 + lifetimeSeconds;
                batch.push_back(signal);
            }
        }
    }
    for (SignalRecord &signal : batch) {
        Reply failure;
        if (storeSignal(&signal, &failure)) {
            std::fprintf(stderr, "signal %s %s %s: %s %s %s\n", signal.id.c_str(),
                         signal.username.c_str(), signal.accountType.c_str(),
                         signal.instrument.c_str(), signal.direction.c_str(),
                         signal.openOrClose.c_str());
        } else {
            std::fprintf(stderr, "signal for %s %s could not be stored\n", signal.username.c_str(),
                         signal.accountType.c_str());
        }
    }
}

Reply Platform::reports(const ReportFilter &filter)
{
    json list = json::array();
    for (const ReportRecord &r : store_.reports(filter)) {
        json item = {{"id", r.id},
                     {"kind", r.kind},
                     {"accountType", r.accountType},
                     {"path", r.path},
                     {"receivedAt", r.receivedAtMs},
                     {"receivedAtText", localTimeText(r.receivedAtMs)},
                     {"accepted", r.accepted},
                     {"error", r.error},
                     {"idempotencyKey", r.idempotencyKey}};
        json report;
        if (JsonText::parse(r.body, &report)) {
            item["report"] = std::move(report);
        } else {
            item["report"] = nullptr;
            item["body"] = JsonText::safeString(r.body);
        }
        list.push_back(std::move(item));
    }
    return Reply::ok(std::move(list));
}

Reply Platform::patchUser(const std::string &body)
{
    json request;
    if (!JsonText::parseObject(body, &request))
        return badRequest();
    if (!request.contains("username") || !request["username"].is_string() ||
        request["username"].get<std::string>().empty())
        return badRequest("username");
    const std::string username = request["username"].get<std::string>();
    request.erase("username");

    std::lock_guard<std::mutex> lock(mutex_);
    const auto existing = users_.find(username);
    if (existing == users_.end() && !request.contains("password"))
        return Reply::error(404, ReplyCode::kUnknownUser, kMsgUnknownUser);
    json user = existing != users_.end() ? existing->second : json::object();
    user.merge_patch(request);
    user["username"] = username;
    if (!user.contains("password") || !user["password"].is_string())
        return badRequest("password");
    users_[username] = user;
    user.erase("password");
    return Reply::ok(std::move(user));
}

Reply Platform::patchConfiguration(const std::string &body)
{
    json patch;
    if (!JsonText::parseObject(body, &patch))
        return badRequest();
    if (patch.contains("users"))
        return badRequest("users");
    std::lock_guard<std::mutex> lock(mutex_);
    json merged = config_;
    merged.merge_patch(patch);
    json check = merged;
    check["users"] = json::array();
    std::string error;
    if (!validateConfiguration(check, &error))
        return Reply::error(400, ReplyCode::kBadRequest, kMsgBadField + error);
    config_ = std::move(merged);
    return Reply::ok(config_);
}

Reply Platform::configuration()
{
    std::lock_guard<std::mutex> lock(mutex_);
    json config = config_;
    config["users"] = json::array();
    for (const auto &entry : users_)
        config["users"].push_back(entry.second);
    return Reply::ok(std::move(config));
}

Reply Platform::expireTokens(const std::string &body)
{
    json request;
    if (!JsonText::parseObject(body, &request))
        return badRequest();
    const std::string token = stringMember(request, "token");
    const std::string username = stringMember(request, "username");
    if (token.empty() && username.empty())
        return badRequest("token");
    return Reply::ok({{"expired", store_.expireTokens(token, username)}});
}
