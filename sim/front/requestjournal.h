#pragma once

#include "engine.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

namespace simfront {

// What the fronts received, with arrival times, for tests that check pacing; and the errors an
// operator asked the next request of a kind to be answered with.
class RequestJournal
{
public:
    struct Entry
    {
        std::int64_t micros = 0; // since the epoch
        std::string front;       // "td" or "md"
        int sessionId = 0;
        std::string type; // the request's name, e.g. "ReqOrderInsert"
        int requestId = 0;
        std::string investorId;
    };

    // The oldest entries go first beyond this many, so a long run keeps bounded memory.
    static constexpr std::size_t kMaxEntries = 100000;

    void record(const std::string &front, int sessionId, const std::string &type, int requestId,
                const std::string &investorId);
    const std::deque<Entry> &entries() const { return log; }
    void clear() { log.clear(); }

    void addFault(const std::string &type, const RspError &error);
    // The error for the next request of this type, used up by taking it.
    std::optional<RspError> takeFault(const std::string &type);
    const std::map<std::string, std::deque<RspError>> &faults() const { return pending; }

private:
    std::deque<Entry> log;
    std::map<std::string, std::deque<RspError>> pending;
};

} // namespace simfront
