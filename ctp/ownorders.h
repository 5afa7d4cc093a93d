#pragma once

#include <QString>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
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

    void sent(int frontId, int sessionId, const QString &orderRef);
    // An order notice of the front; remembered when it is about one of our orders.
    void noticed(int frontId, int sessionId, const QString &orderRef, const std::string &exchangeId,
                 const std::string &orderSysId);
    // The key of the order a fill belongs to; empty when it is not one of ours.
    QString keyOf(const std::string &exchangeId, const std::string &orderSysId) const;

private:
    mutable std::mutex mutex;
    // Not the platform's key: written one after another, front 1, session 71, order 2 and
    // front 1, session 7, order 12 read the same, and another terminal's order would pass for
    // ours.
    using Sent = std::tuple<int, int, QString>;
    std::set<Sent> sentOrders;
    std::map<std::pair<std::string, std::string>, QString> byExchangeNumber;
};
