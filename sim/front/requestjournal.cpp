#include "requestjournal.h"

#include <chrono>

namespace simfront {

void RequestJournal::record(const std::string &front, int sessionId, const std::string &type,
                            int requestId, const std::string &investorId)
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    Entry e;
    e.micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    e.front = front;
    e.sessionId = sessionId;
    e.type = type;
    e.requestId = requestId;
    e.investorId = investorId;
    log.push_back(std::move(e));
    if (log.size() > kMaxEntries) {
        log.pop_front();
    }
}

void RequestJournal::addFault(const std::string &type, const RspError &error)
{
    pending[type].push_back(error);
}

std::optional<RspError> RequestJournal::takeFault(const std::string &type)
{
    auto it = pending.find(type);
    if (it == pending.end() || it->second.empty()) {
        return std::nullopt;
    }
    RspError e = it->second.front();
    it->second.pop_front();
    if (it->second.empty()) {
        pending.erase(it);
    }
    return e;
}

} // namespace simfront
