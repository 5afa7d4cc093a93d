#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

struct SignalRecord
{
    std::string id;
    std::string username;
    std::string accountType;
    std::string instrument;
    std::string direction;
    std::string openOrClose;
    std::int64_t expires = 0; // epoch seconds
    bool isTraded = false;
    std::int64_t publishedAtMs = 0;
};

struct ReportRecord
{
    std::int64_t id = 0;
    std::string kind; // "order" or "fill"
    std::string accountType;
    std::string path;
    std::int64_t receivedAtMs = 0;
    bool accepted = false;
    std::string error;
    std::string body; // the request body exactly as it arrived
    std::string username;
    std::string orderID;
    std::string signalID;
    std::string idempotencyKey; // kept only with an accepted report; empty when none was sent
};

struct ReportFilter
{
    std::string kind;
    std::string accountType;
    std::string username;
    std::int64_t sinceId = 0;
    int accepted = -1; // -1 any, 0 rejected only, 1 accepted only
};

// The platform's durable state in one SQLite file: sessions, login codes, signals and every
// order and fill report. Each write is its own committed transaction before the call returns,
// so a report that was answered is on disk even if the process is killed right after.
// Thread-safe.
class Store
{
public:
    Store() = default;
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    bool open(const std::string &directory, std::string *error);

    bool saveToken(const std::string &token, const std::string &username, std::int64_t expiresAtMs);
    // The user of a token that is known and not expired at nowMs.
    bool tokenUser(const std::string &token, std::int64_t nowMs, std::string *username);
    // Ends one token, or every token of a user when token is empty; returns how many.
    int expireTokens(const std::string &token, const std::string &username);
    void pruneTokens(std::int64_t nowMs);

    bool saveLoginCode(const std::string &username, const std::string &loginCode);
    std::string loginCode(const std::string &username);

    bool insertSignal(const SignalRecord &signal);
    bool currentSignal(const std::string &username, const std::string &accountType,
                       SignalRecord *signal);

    // Stores the report and, when it completes an order that named a signal (the fill and the
    // order may arrive in either order), marks that signal traded. An accepted report whose
    // idempotency key is already on file is not stored again; report->id is then the id of the
    // one on file.
    bool insertReport(ReportRecord *report);
    // The id of the accepted report filed under the key, or 0.
    std::int64_t acceptedReportId(const std::string &idempotencyKey);
    std::vector<ReportRecord> reports(const ReportFilter &filter);

private:
    bool execute(const char *sql);
    bool addReportKeyColumn();
    std::int64_t reportIdLocked(const std::string &idempotencyKey);
    void markTradedFrom(const ReportRecord &report);

    std::mutex mutex_;
    sqlite3 *db_ = nullptr;
};
