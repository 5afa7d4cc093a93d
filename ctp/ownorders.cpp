#include "ownorders.h"

QString OwnOrders::key(int frontId, int sessionId, const QString &orderRef)
{
    return QStringLiteral("%1%2%3").arg(frontId).arg(sessionId).arg(orderRef);
}

void OwnOrders::sent(int frontId, int sessionId, const QString &orderRef, const QString &signalId,
                     const QString &tradingDay, const QString &accountType)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        sentOrders.insert({frontId, sessionId, orderRef});
    }
    if (const std::shared_ptr<SessionStore> store = SessionStore::current()) {
        store->orderSent(frontId, sessionId, orderRef,
                         {key(frontId, sessionId, orderRef), signalId}, tradingDay, accountType);
    }
}

bool OwnOrders::noticed(int frontId, int sessionId, const QString &orderRef,
                        const std::string &tradingDay, const std::string &exchangeId,
                        const std::string &orderSysId, SessionStore::OwnOrder *earlier)
{
    // The first notice of an order comes before the exchange has numbered it.
    if (orderSysId.empty()) {
        return false;
    }
    const QString orderKey = key(frontId, sessionId, orderRef);
    const std::shared_ptr<SessionStore> store = SessionStore::current();
    std::unique_lock<std::mutex> lock(mutex);
    const ExchangeNumber number{tradingDay, exchangeId, orderSysId};
    if (byExchangeNumber.count(number) != 0) {
        return false;
    }
    bool fromEarlierProcess = false;
    if (sentOrders.count({frontId, sessionId, orderRef}) == 0) {
        SessionStore::OwnOrder order;
        lock.unlock();
        fromEarlierProcess = store && store->ownOrder(frontId, sessionId, orderRef, &order);
        lock.lock();
        if (!fromEarlierProcess) {
            return false;
        }
        if (earlier) {
            *earlier = order;
        }
    }
    byExchangeNumber[number] = orderKey;
    lock.unlock();
    if (store) {
        store->orderNumbered(orderKey, exchangeId, orderSysId);
    }
    return fromEarlierProcess;
}

QString OwnOrders::keyOf(const std::string &tradingDay, const std::string &exchangeId,
                         const std::string &orderSysId) const
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto found = byExchangeNumber.find({tradingDay, exchangeId, orderSysId});
        if (found != byExchangeNumber.end()) {
            return found->second;
        }
    }
    const std::shared_ptr<SessionStore> store = SessionStore::current();
    return store ? store->orderKeyByNumber(tradingDay, exchangeId, orderSysId) : QString();
}

bool OwnOrders::isOwn(int frontId, int sessionId, const QString &orderRef) const
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (sentOrders.count({frontId, sessionId, orderRef}) != 0) {
            return true;
        }
    }
    SessionStore::OwnOrder order;
    const std::shared_ptr<SessionStore> store = SessionStore::current();
    return store && store->ownOrder(frontId, sessionId, orderRef, &order);
}
