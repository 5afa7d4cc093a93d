#pragma once

#include <QString>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

// The orders this process sent, by the key the platform knows them by, and the exchange's
// number of each once the front has told it. A fill names its order only by that number and by
// a reference that is unique within one session; after a reconnection (a new session) only this
// table tells whether a fill belongs to one of our orders, and to which.
// Written by the thread that sends orders and by the trading callback thread.
class OwnOrders
{
public:
    // The platform's order key: front, session and order reference written one after another.
    static QString key(int frontId, int sessionId, const QString &orderRef);

    void sent(const QString &orderKey);
    // An order notice of the front; remembered when it is about one of our orders.
    void noticed(const QString &orderKey, const std::string &exchangeId,
                 const std::string &orderSysId);
    // The key of the order a fill belongs to; empty when it is not one of ours.
    QString keyOf(const std::string &exchangeId, const std::string &orderSysId) const;

private:
    mutable std::mutex mutex;
    std::set<QString> sentKeys;
    std::map<std::pair<std::string, std::string>, QString> byExchangeNumber;
};
