#include "requestlog.h"

#include "jsontext.h"

void RequestLog::add(std::int64_t atMs, const std::string &method, const std::string &path,
                     const nlohmann::json &headers, const std::string &body, bool faulted)
{
    const bool cut = body.size() > kMaxBodyBytes;
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(Entry{nextSeq_++, atMs, method, path, headers,
                             cut ? body.substr(0, kMaxBodyBytes) : body, cut, faulted});
    if (entries_.size() > kCapacity)
        entries_.pop_front();
}

nlohmann::json RequestLog::list(const std::string &path, std::int64_t since) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::json list = nlohmann::json::array();
    for (const Entry &e : entries_) {
        if (e.seq <= since || (!path.empty() && e.path != path))
            continue;
        list.push_back({{"seq", e.seq},
                        {"receivedAt", e.atMs},
                        {"method", e.method},
                        {"path", e.path},
                        {"headers", e.headers},
                        {"body", JsonText::safeString(e.body)},
                        {"bodyCut", e.bodyCut},
                        {"faulted", e.faulted}});
    }
    return list;
}

void RequestLog::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
}
