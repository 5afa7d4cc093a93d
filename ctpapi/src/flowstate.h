#pragma once

#include "flowfile.h"
#include "recordlayout.h"

#include <mutex>
#include <string>

namespace velmora::ctpapi {

// The trading API's topic subscriptions and where its streams left off: what the greeting of
// every connection asks the front for, and what the client has been handed so far. Used from the
// client's threads (resume types) and the I/O thread (greetings, and logins and notices as their
// callbacks run).
class FlowState
{
public:
    void setPrivateResume(int type);
    void setPublicResume(int type);

    // Opens the flow file and reads where the streams left off; an unusable flow path ends the
    // process (FlowFile::openOrExit).
    void open(const std::string &flowPath);

    wire::TopicSubscription subscription() const;

    // A successful login: a new trading day starts its streams' numbers again.
    void loggedIn(const char *tradingDay);
    // A numbered private notice whose callback has returned.
    void privateHanded(int sequence);

private:
    mutable std::mutex mutex_;
    int privateResume_ = 2; // THOST_TERT_QUICK
    int publicResume_ = 2;
    FlowFile file_;
    FlowFile::Position position_;
};

} // namespace velmora::ctpapi
