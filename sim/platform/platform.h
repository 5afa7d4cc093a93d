#pragma once

#include "reply.h"
#include "store.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

// What the platform knows and does, apart from HTTP: users, sessions, configuration, signals
// and reports. Every operation takes the raw request parts and gives back a Reply, so the same
// rules hold whichever way a request arrives. Thread-safe.
class Platform
{
public:
    explicit Platform(Store &store);

    // Replaces the configuration (users, platform configuration, login message, server
    // settings); false with a reason when the document is not usable.
    bool setConfiguration(const nlohmann::json &config, std::string *error);
    static bool validateConfiguration(const nlohmann::json &config, std::string *error);

    // The client's endpoints. authorization is the Authorization header as sent.
    Reply login(const std::string &body);
    Reply config(const std::string &authorization);
    Reply renewToken(const std::string &authorization);
    Reply userData(const std::string &authorization);
    Reply loginMessage();
    Reply signal(const std::string &authorization, const std::string &accountType);
    // kind is "order" or "fill"; the token travels in the body. A report sent again under the
    // idempotency key of one already accepted gets that one's answer and is not stored again.
    Reply report(const std::string &kind, const std::string &accountType, const std::string &path,
                 const std::string &body, const std::string &idempotencyKey = std::string());

    // Operator and test endpoints.
    Reply publishSignal(const std::string &body);
    Reply currentSignal(const std::string &username, const std::string &accountType);
    Reply reports(const ReportFilter &filter);
    Reply patchUser(const std::string &body);
    Reply patchConfiguration(const std::string &body);
    Reply configuration();
    Reply expireTokens(const std::string &body);

    // One round of the demo rotation: every user's account that names an instrument gets the
    // next of open long, close long, open short, close short, valid for lifetimeSeconds.
    void publishRotation(int lifetimeSeconds);

    static std::int64_t nowMs();

private:
    bool authorize(const std::string &authorization, std::string *username, Reply *denied);
    nlohmann::json userObject(const std::string &username) const;
    std::string randomToken();
    std::string nextLoginCode(const std::string &username);
    std::string nextSignalId();
    std::int64_t serverSetting(const char *key, std::int64_t fallback) const;
    bool storeSignal(SignalRecord *signal, Reply *failure);
    static nlohmann::json signalData(const SignalRecord &signal);

    Store &store_;
    mutable std::mutex mutex_;
    nlohmann::json config_;                       // everything but the users
    std::map<std::string, nlohmann::json> users_; // by user name, password included
    std::random_device random_;
    std::map<std::string, std::int64_t> lastLoginCode_;
    std::int64_t lastSignalId_ = 0;
};
