#pragma once

#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

struct FaultRule
{
    std::string path; // exact request path, or "*" for every path outside /admin/
    int count = 1;    // requests it still applies to
    int delayMs = 0;
    int status = 0; // 0: keep the normal status unless the answer is replaced
    bool hasBody = false;
    std::string body;
    std::string contentType = "application/json";
    std::string location;
    bool drop = false;
    long long truncateAt = -1; // send only this many body bytes, then close

    // Whether the rule answers by itself; a rule with a delay only lets the request proceed.
    bool replacesAnswer() const
    {
        return drop || status != 0 || hasBody || !location.empty() || truncateAt >= 0;
    }
    nlohmann::json toJson() const;
};

// The queue of injected faults. Rules for one path apply in the order they were added, each to
// its next `count` requests. Thread-safe.
class FaultTable
{
public:
    static constexpr int kMaxDelayMs = 120000;

    // Reads an admin request; false with the offending key otherwise.
    static bool parse(const nlohmann::json &request, FaultRule *rule, std::string *badKey);

    void add(const FaultRule &rule);
    void clear();
    // Takes one use of the first rule for the path, if any.
    bool take(const std::string &path, FaultRule *rule);
    nlohmann::json pending() const;

private:
    mutable std::mutex mutex_;
    std::deque<FaultRule> rules_;
};
