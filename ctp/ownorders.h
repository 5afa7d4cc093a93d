#pragma once

#include "sessionstore.h"

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

    // Written to the session store too, before the order leaves: after a kill, the replayed
    // stream's orders and fills are known as ours from there, and the order's signal as acted
    // on for that account type.
    void sent(int frontId, int sessionId, const QString &orderRef, const QString &signalId,
              const QString &tradingDay, const QString &accountType);
    // An order notice of the front; remembered when it is about one of our orders. True, with
    // the order, the first time a notice names an order an earlier process sent.
    // Exchanges number orders afresh each trading day, so the day is part of the number.
    bool noticed(int frontId, int sessionId, const QString &orderRef, const std::string &tradingDay,
                 const std::string &exchangeId, const std::string &orderSysId,
                 SessionStore::OwnOrder *earlier = nullptr);
    // Whether this program sent that order, in this process or an earlier one.
    bool isOwn(int frontId, int sessionId, const QString &orderRef) const;
    // The key of the order a fill belongs to; empty when it is not one of ours.
    QString keyOf(const std::string &tradingDay, const std::string &exchangeId,
                  const std::string &orderSysId) const;

private:
    mutable std::mutex mutex;
    // Not the platform's key: written one after another, front 1, session 71, order 2 and
    // front 1, session 7, order 12 read the same, and another terminal's order would pass for
    // ours.
    using Sent = std::tuple<int, int, QString>;
    std::set<Sent> sentOrders;
    using ExchangeNumber = std::tuple<std::string, std::string, std::string>;
    std::map<ExchangeNumber, QString> byExchangeNumber;
};
