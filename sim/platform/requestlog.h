#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

// The most recent client requests as they arrived, so that tests can check exactly what a
// client sent (headers, body) and when. Kept in memory only. Thread-safe.
class RequestLog
{
public:
    static constexpr size_t kCapacity = 5000;
    static constexpr size_t kMaxBodyBytes = 64 * 1024;

    void add(std::int64_t atMs, const std::string &method, const std::string &path,
             const nlohmann::json &headers, const std::string &body, bool faulted);
    // Entries after sequence number `since`, optionally for one path only.
    nlohmann::json list(const std::string &path, std::int64_t since) const;
    void clear();

private:
    struct Entry
    {
        std::int64_t seq;
        std::int64_t atMs;
        std::string method;
        std::string path;
        nlohmann::json headers;
        std::string body;
        bool bodyCut;
        bool faulted;
    };

    mutable std::mutex mutex_;
    std::deque<Entry> entries_;
    std::int64_t nextSeq_ = 1;
};
