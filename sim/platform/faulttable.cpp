#include "faulttable.h"

#include "jsontext.h"

using nlohmann::json;

namespace {

bool decodeBase64(const std::string &text, std::string *bytes)
{
    bytes->clear();
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+' || c == '-')
            value = 62;
        else if (c == '/' || c == '_')
            value = 63;
        else if (c == '=' || c == '\n' || c == '\r')
            continue;
        else
            return false;
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes->push_back(static_cast<char>((buffer >> bits) & 0xff));
        }
    }
    return true;
}

bool readInt(const json &request, const char *key, long long min, long long max, long long *value)
{
    const auto it = request.find(key);
    if (it == request.end())
        return true;
    if (!it->is_number_integer())
        return false;
    const long long v = it->get<long long>();
    if (v < min || v > max)
        return false;
    *value = v;
    return true;
}

} // namespace

json FaultRule::toJson() const
{
    json rule = {
        {"path", path}, {"count", count},       {"delayMs", delayMs},      {"status", status},
        {"drop", drop}, {"location", location}, {"truncateAt", truncateAt}};
    if (hasBody)
        rule["body"] = JsonText::safeString(body);
    return rule;
}

bool FaultTable::parse(const json &request, FaultRule *rule, std::string *badKey)
{
    *rule = FaultRule();
    *badKey = "path";
    if (!request.contains("path") || !request["path"].is_string())
        return false;
    rule->path = request["path"].get<std::string>();
    if (rule->path != "*" &&
        (rule->path.empty() || rule->path[0] != '/' || rule->path.compare(0, 7, "/admin/") == 0))
        return false;

    long long count = rule->count, delay = 0, status = 0, truncateAt = -1;
    if (!readInt(request, "count", 1, 1000000, &count)) {
        *badKey = "count";
        return false;
    }
    if (!readInt(request, "delayMs", 0, kMaxDelayMs, &delay)) {
        *badKey = "delayMs";
        return false;
    }
    if (!readInt(request, "status", 100, 999, &status)) {
        *badKey = "status";
        return false;
    }
    if (!readInt(request, "truncateAt", 0, 1LL << 40, &truncateAt)) {
        *badKey = "truncateAt";
        return false;
    }
    rule->count = static_cast<int>(count);
    rule->delayMs = static_cast<int>(delay);
    rule->status = static_cast<int>(status);
    rule->truncateAt = truncateAt;

    if (request.contains("body")) {
        const json &body = request["body"];
        rule->hasBody = true;
        rule->body = body.is_string() ? body.get<std::string>() : JsonText::dump(body);
    }
    if (request.contains("bodyBase64")) {
        *badKey = "bodyBase64";
        if (!request["bodyBase64"].is_string() ||
            !decodeBase64(request["bodyBase64"].get<std::string>(), &rule->body))
            return false;
        rule->hasBody = true;
    }
    for (const char *key : {"location", "contentType"}) {
        if (request.contains(key) && !request[key].is_string()) {
            *badKey = key;
            return false;
        }
    }
    rule->location = request.value("location", std::string());
    rule->contentType = request.value("contentType", rule->contentType);
    if (request.contains("drop")) {
        *badKey = "drop";
        if (!request["drop"].is_boolean())
            return false;
        rule->drop = request["drop"].get<bool>();
    }
    badKey->clear();
    return true;
}

void FaultTable::add(const FaultRule &rule)
{
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.push_back(rule);
}

void FaultTable::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.clear();
}

bool FaultTable::take(const std::string &path, FaultRule *rule)
{
    if (path.compare(0, 7, "/admin/") == 0)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->path != path && it->path != "*")
            continue;
        *rule = *it;
        if (--it->count <= 0)
            rules_.erase(it);
        return true;
    }
    return false;
}

json FaultTable::pending() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    json list = json::array();
    for (const FaultRule &rule : rules_)
        list.push_back(rule.toJson());
    return list;
}
